// Saving the picture on view as a JPEG file: the file is replaced once the whole picture is written, a
// symbolic link is followed and stays, and what is not a regular file is refused with nothing written.
#include "TestFiles.h"
#include "editor/FramePictureFile.h"
#include "store/Jpeg.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

using namespace quolva;
using namespace quolva::test;

class FramePictureFileTest : public QObject {
    Q_OBJECT
private slots:
    void outputKinds_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("writtenAt"); // relative to the folder; empty: refused
        QTest::newRow("new file") << "new file" << "frame.jpg";
        QTest::newRow("existing file") << "existing file" << "frame.jpg";
        QTest::newRow("link to a file") << "link to a file" << "elsewhere/real-frame.jpg";
        QTest::newRow("dangling link into an existing folder") << "dangling link" << "elsewhere/new-frame.jpg";
        QTest::newRow("folder") << "folder" << "";
        QTest::newRow("named pipe") << "pipe" << "";
        QTest::newRow("device") << "device" << "";
    }
    void outputKinds()
    {
        QFETCH(QString, kind);
        QFETCH(QString, writtenAt);
        QTemporaryDir folder;
        const QString output = MakeOutput(folder.path(), kind, QStringLiteral("frame.jpg"));
        if (output.isEmpty())
            QSKIP("this kind of output cannot be made here (a device needs root)");
        const QString kindBefore = KindOf(output);
        const QStringList before = EntriesIn(folder.path());
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(QColor(200, 40, 40));

        std::optional<QString> refusal;
        try {
            editor::SaveAsJpeg(picture, output);
        } catch (const std::runtime_error& failure) {
            refusal = QString::fromUtf8(failure.what());
        }
        QCOMPARE(KindOf(output), kindBefore == "none" ? QStringLiteral("file") : kindBefore);
        if (writtenAt.isEmpty()) {
            QVERIFY2(refusal && refusal->contains(output), qPrintable(refusal.value_or(QStringLiteral("no refusal"))));
            QCOMPARE(EntriesIn(folder.path()), before);
            return;
        }
        QVERIFY2(!refusal, qPrintable(refusal.value_or(QString())));
        const QString written = QDir(folder.path()).filePath(writtenAt);
        QCOMPARE(KindOf(written), QStringLiteral("file"));
        QFile file(written);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const store::JpegDimensions size = store::ReadJpegDimensions(
            std::vector<std::uint8_t>(bytes.begin(), bytes.end()), written.toStdString());
        QCOMPARE(size.width, 40);
        QCOMPARE(size.height, 30);
    }
};

QTEST_MAIN(FramePictureFileTest)
#include "test_frame_picture_file.moc"
