// The one number parser: blanks (codes 0 to 32) stripped at both ends, a signed 32-bit decimal, and a
// clear error for everything else.
#include "store/DecimalText.h"

#include <QtTest>

#include <string>

using namespace quolva::store;

class DecimalTextTest : public QObject {
    Q_OBJECT

private slots:
    void acceptsDecimals_data();
    void acceptsDecimals();
    void refuses_data();
    void refuses();
    void messageNamesFieldAndText();
    void quotingKeepsMessagesReadable();
};

void DecimalTextTest::acceptsDecimals_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("digit") << QByteArray("7") << 7;
    QTest::newRow("header padding") << QByteArray("37              ") << 37;
    QTest::newRow("blanks in front") << QByteArray("   9            ") << 9;
    QTest::newRow("tabs and line ends") << QByteArray("\t-5\r\n") << -5;
    QTest::newRow("NUL padding") << QByteArray("12\0\0\0", 5) << 12;
    QTest::newRow("every code up to 32") << QByteArray("\x01\x1f 42\x20\x10\x00", 7) << 42;
    QTest::newRow("plus sign") << QByteArray("+3") << 3;
    QTest::newRow("leading zeros") << QByteArray("0007") << 7;
    QTest::newRow("many leading zeros") << QByteArray("000000000000000000001") << 1;
    QTest::newRow("zero") << QByteArray("0") << 0;
    QTest::newRow("minus zero") << QByteArray("-0") << 0;
    QTest::newRow("largest") << QByteArray("2147483647") << 2147483647;
    QTest::newRow("smallest") << QByteArray("-2147483648") << int(-2147483647 - 1);
}

void DecimalTextTest::acceptsDecimals()
{
    QFETCH(QByteArray, text);
    QFETCH(int, expected);
    const std::string_view view(text.constData(), static_cast<std::size_t>(text.size()));
    QCOMPARE(ParseDecimalInt32(view, "the value"), expected);
    QVERIFY(TryParseDecimalInt32(view).Ok());
}

void DecimalTextTest::refuses_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("problem");
    const int empty = int(DecimalTextProblem::Empty);
    const int notANumber = int(DecimalTextProblem::NotANumber);
    const int outOfRange = int(DecimalTextProblem::OutOfRange);
    QTest::newRow("empty") << QByteArray("") << empty;
    QTest::newRow("only blanks") << QByteArray("                ") << empty;
    QTest::newRow("only NULs") << QByteArray("\0\0\0", 3) << empty;
    QTest::newRow("sign alone") << QByteArray("-") << notANumber;
    QTest::newRow("two signs") << QByteArray("+-3") << notANumber;
    QTest::newRow("blank inside") << QByteArray("1 2") << notANumber;
    QTest::newRow("blank after sign") << QByteArray("- 2") << notANumber;
    QTest::newRow("letter after digits") << QByteArray("12a") << notANumber;
    QTest::newRow("hexadecimal") << QByteArray("0x10") << notANumber;
    QTest::newRow("pascal hexadecimal") << QByteArray("$10") << notANumber;
    QTest::newRow("fraction") << QByteArray("1.5") << notANumber;
    QTest::newRow("exponent") << QByteArray("1e3") << notANumber;
    QTest::newRow("DEL is not a blank") << QByteArray("5\x7f") << notANumber;
    QTest::newRow("non-breaking space is not a blank") << QByteArray("5\xc2\xa0") << notANumber;
    QTest::newRow("full-width digits") << QByteArray("\xef\xbc\x91\xef\xbc\x92") << notANumber;
    QTest::newRow("one past largest") << QByteArray("2147483648") << outOfRange;
    QTest::newRow("one past smallest") << QByteArray("-2147483649") << outOfRange;
    QTest::newRow("very long") << QByteArray("99999999999999999999999999") << outOfRange;
}

void DecimalTextTest::refuses()
{
    QFETCH(QByteArray, text);
    QFETCH(int, problem);
    const std::string_view view(text.constData(), static_cast<std::size_t>(text.size()));
    QCOMPARE(int(TryParseDecimalInt32(view).problem), problem);
    QVERIFY_THROWS_EXCEPTION(DecimalTextError, ParseDecimalInt32(view, "the value"));
}

void DecimalTextTest::messageNamesFieldAndText()
{
    try {
        ParseDecimalInt32(" 12x ", "the number of frames to overwrite");
        QFAIL("no exception");
    } catch (const StoreError& error) { // callers may catch the store's base class
        const std::string message = error.what();
        QVERIFY2(message.find("the number of frames to overwrite") != std::string::npos, message.c_str());
        QVERIFY2(message.find("\" 12x \"") != std::string::npos, message.c_str());
        QVERIFY2(message.find("not a whole number") != std::string::npos, message.c_str());
    }
    try {
        ParseDecimalInt32("3000000000", "the frame count");
        QFAIL("no exception");
    } catch (const DecimalTextError& error) {
        const std::string message = error.what();
        QVERIFY2(message.find("32-bit") != std::string::npos, message.c_str());
        QVERIFY2(message.find("3000000000") != std::string::npos, message.c_str());
    }
}

void DecimalTextTest::quotingKeepsMessagesReadable()
{
    QCOMPARE(QuoteForMessage("ab"), std::string("\"ab\""));
    QCOMPARE(QuoteForMessage(std::string_view("a\0\n\"", 4)), std::string("\"a\\x00\\x0A\\x22\""));
    // Long binary texts are cut short, never at half a UTF-8 character.
    const std::string chinese = "欲覆盖帧数欲覆盖帧数欲覆盖帧数欲覆盖帧数"; // 60 bytes
    const std::string quoted = QuoteForMessage(chinese);
    QVERIFY(quoted.size() < chinese.size());
    QVERIFY(quoted.ends_with("...\""));
    QVERIFY(QString::fromUtf8(quoted.c_str()).toUtf8().toStdString() == quoted); // valid UTF-8 throughout
    QCOMPARE(QuoteForMessage(std::string(100, 'x')).size(), std::size_t(40 + 2 + 3));
}

QTEST_GUILESS_MAIN(DecimalTextTest)
#include "test_decimal_text.moc"
