// What a running input device delivers while a recording is paused is cut out by the time it was
// recorded, whatever pieces the device delivers it in: the rest passes in order, in whole sample blocks.
#include "platform/SoundPauseCut.h"

#include <QtTest>

using namespace quolva::platform;

namespace {

// A pause or a resume at a time in milliseconds since the start.
struct Step {
    bool pause;
    std::int64_t atMs;
};

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class SoundPauseCutTest : public QObject {
    Q_OBJECT
private slots:
    void cuts_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<int>("piece");     // bytes the device delivers at a time
        QTest::addColumn<QByteArray>("kept"); // of 10 bytes a second, 2-byte blocks: the byte values kept
        const auto range = [](int from, int until) {
            QByteArray bytes;
            for (int i = from; i < until; ++i)
                bytes.append(char(i));
            return bytes;
        };
        QTest::newRow("no pause") << QList<Step>{} << 7 << range(0, 40);
        QTest::newRow("paused from 1 s to 2 s") << QList<Step>{{true, 1000}, {false, 2000}} << 3 << range(0, 10) + range(20, 40);
        QTest::newRow("in one piece") << QList<Step>{{true, 1000}, {false, 2000}} << 40 << range(0, 10) + range(20, 40);
        QTest::newRow("two pauses") << QList<Step>{{true, 1000}, {false, 1500}, {true, 2000}, {false, 3000}} << 4
                                    << range(0, 10) + range(14, 20) + range(30, 40); // 15 rounds down to 14
        QTest::newRow("mid-block times round to blocks") << QList<Step>{{true, 1150}, {false, 2250}} << 5
                                                         << range(0, 10) + range(22, 40);
        QTest::newRow("still paused at the end") << QList<Step>{{true, 3000}} << 6 << range(0, 30);
        QTest::newRow("a second pause while paused changes nothing")
            << QList<Step>{{true, 1000}, {true, 1500}, {false, 2000}} << 3 << range(0, 10) + range(20, 40);
    }

    void cuts()
    {
        QFETCH(QList<Step>, steps);
        QFETCH(int, piece);
        QFETCH(QByteArray, kept);
        SoundPauseCut cut;
        cut.Start(10, 2, 0);
        for (const Step& step : steps)
            step.pause ? cut.Pause(step.atMs * 1000000) : cut.Resume(step.atMs * 1000000);
        // The device delivers four seconds after the pauses were decided (as it does, a little late).
        QByteArray stream;
        for (int i = 0; i < 40; ++i)
            stream.append(char(i));
        QByteArray passed;
        for (qsizetype at = 0; at < stream.size(); at += piece)
            cut.Filter(stream.constData() + at, std::min<qsizetype>(piece, stream.size() - at),
                       [&](const char* data, qsizetype size) { passed.append(data, size); });
        QCOMPARE(passed, kept);
    }
};

QTEST_MAIN(SoundPauseCutTest)
#include "test_sound_pause_cut.moc"
