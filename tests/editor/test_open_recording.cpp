// The open recording without a window: opening and its sound arithmetic, stepping and wrapping, and
// recordings that are empty, damaged or missing a part.
#include "TestFiles.h"
#include "RecordingFixture.h"
#include "editor/OpenRecording.h"
#include "store/AviFileServices.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using quolva::editor::OpenRecording;
using quolva::editor::RecordingError;
using namespace quolva;

class OpenRecordingTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    // One walk through a five-frame recording: which frame each command shows and the number on view.
    void stepsWrapAndShowTheRightNumbers()
    {
        const QString path = test::MakeRecording(dir.path(), QStringLiteral("walk.avi"), {.frames = 5});
        OpenRecording recording;
        recording.Open(path);
        QCOMPARE(recording.frameCount, 5);
        QCOMPARE(recording.Cursor(), store::kFrameStoreHeaderSize);

        enum Command { Next, Previous, Play };
        const struct {
            Command command;
            int frame;  // which recorded frame is shown
            int number; // what Edit1 shows
            bool cursorBeforeView;
        } steps[] = {
            {Next, 0, 1, false},
            {Next, 1, 2, false},
            {Previous, 1, 2, true}, // next then previous: the same frame twice
            {Previous, 0, 1, true},
            {Previous, 0, 1, false}, // at the start: frame 1 by a forward step
            {Previous, 0, 1, true},
            {Next, 0, 1, false},
            {Next, 1, 2, false},
            {Next, 2, 3, false},
            {Next, 3, 4, false},
            {Next, 4, 5, false},
            {Next, 0, 1, false}, // next on the last frame wraps to frame 1
            {Play, 1, 2, false},
            {Previous, 1, 2, true},
            {Play, 1, 2, false}, // a playback tick after a backward step reads the frame on view again
            {Play, 2, 3, false},
        };
        int i = 0;
        for (const auto& step : steps) {
            const QString where = QStringLiteral("step %1").arg(i++);
            const QImage shown = step.command == Next       ? recording.NextFrame()
                                 : step.command == Previous ? recording.PreviousFrame()
                                                            : recording.PlayStep();
            QVERIFY2(test::Near(test::BackgroundOf(shown), test::FrameColour(step.frame)), qPrintable(where));
            QCOMPARE(recording.NumberOnView(), step.number);
            QCOMPARE(recording.cursorBeforeView, step.cursorBeforeView);
            // The displayed frame start is where the record on view begins, whichever side the cursor is.
            const qint64 cursor = recording.Cursor();
            recording.Frames().Seek(recording.displayedFrameStart);
            const store::FrameRecord onView = recording.Frames().ReadNextFrame();
            QVERIFY2(test::Near(test::BackgroundOf(QImage::fromData(onView.jpeg.data(), int(onView.jpeg.size()))),
                                test::FrameColour(step.frame)),
                     qPrintable(where));
            QCOMPARE(cursor, step.cursorBeforeView ? onView.offset : onView.End());
            recording.Frames().Seek(cursor);
        }
    }

    // The sound arithmetic and the playback interval it gives.
    void playbackPaceFollowsTheSound_data()
    {
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("headerCount");
        QTest::addColumn<qint64>("soundBytes");
        QTest::addColumn<bool>("withFormat");
        QTest::addColumn<float>("duration");
        QTest::addColumn<int>("interval");
        // 10 000 ms of default sound (22050 bytes a second) over 250 frames: 40 ms.
        QTest::newRow("40 ms") << 3 << 250 << qint64(220500) << true << 10000.0f << 40;
        // 9975 ms over 250 frames is 39.9 ms: truncated to 39.
        QTest::newRow("39.9 ms") << 3 << 250 << qint64(219949) << true << 9975.0f << 39;
        // 300 s of default sound: 300 000 ms, the product kept in 64 bits.
        QTest::newRow("300 s") << 3 << 3000 << qint64(300) * 22050 << true << 300000.0f << 100;
        // Nothing counted in the header: no period, the capture pace.
        QTest::newRow("header 0") << 3 << 0 << qint64(22050) << true << 1000.0f << 100;
        QTest::newRow("no sound") << 3 << 3 << qint64(0) << true << 0.0f << 100;
        // A sound track without a format: the editor's default (8 bits, 11025 bytes a second) stays.
        QTest::newRow("no format") << 3 << 2 << qint64(22050) << false << 2000.0f << 1000;
    }
    void playbackPaceFollowsTheSound()
    {
        QFETCH(int, frames);
        QFETCH(int, headerCount);
        QFETCH(qint64, soundBytes);
        QFETCH(bool, withFormat);
        QFETCH(float, duration);
        QFETCH(int, interval);
        const QString path = test::MakeRecording(
            dir.path(), QStringLiteral("pace-%1.avi").arg(QTest::currentDataTag()),
            {.frames = frames, .headerCount = headerCount, .withSoundFormat = withFormat, .soundBytes = soundBytes});
        OpenRecording recording;
        recording.Open(path);
        QCOMPARE(recording.audioDuration, duration);
        QCOMPARE(recording.PlaybackIntervalMs(), interval);
        QVERIFY(!recording.NextFrame().isNull()); // what it has is shown
    }

    void handsThePublisherItsValues()
    {
        test::RecordingRecipe recipe{.frames = 4, .soundBytes = 12345 * 2};
        recipe.soundFormat.format = {store::WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
        const QString path = test::MakeRecording(dir.path(), QStringLiteral("handover.avi"), recipe);
        OpenRecording recording;
        recording.Open(path);
        const auto handOver = recording.HandOver();
        QCOMPARE(handOver.frameStorePath, path + QStringLiteral(".xxx"));
        QCOMPARE(handOver.frameCount, 4);
        QCOMPARE(handOver.soundLength, 12345);
        QCOMPARE(handOver.soundRate, 22050);
        // The frames' size, learnt without moving the cursor.
        recording.NextFrame();
        const qint64 cursor = recording.Cursor();
        QCOMPARE(recording.FirstFrameSize(), std::optional<QSize>(QSize(64, 48)));
        QCOMPARE(recording.Cursor(), cursor);
    }

    // A store without records opens; there is nothing to show and nothing to wrap to.
    void emptyStoreShowsNothing()
    {
        const QString path = test::MakeRecording(dir.path(), QStringLiteral("empty.avi"), {.frames = 0});
        OpenRecording recording;
        recording.Open(path);
        QVERIFY(recording.NextFrame().isNull());
        QVERIFY(recording.PreviousFrame().isNull());
        QCOMPARE(recording.Cursor(), store::kFrameStoreHeaderSize);
    }

    // Missing or unreadable parts: a message naming the file, nothing open, nothing written.
    void unopenableRecordingsNameTheFile_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("named");
        QTest::newRow("no AVI") << "remove avi" << ".avi";
        QTest::newRow("no frame store") << "remove store" << ".avi.xxx";
        QTest::newRow("header not a number") << "header" << ".avi.xxx";
        QTest::newRow("not an AVI") << "garbage avi" << ".avi";
    }
    void unopenableRecordingsNameTheFile()
    {
        QFETCH(QString, damage);
        QFETCH(QString, named);
        const QString path = test::MakeRecording(dir.path(), QStringLiteral("bad-%1.avi").arg(QTest::currentDataTag()));
        if (damage == QLatin1String("remove avi"))
            QVERIFY(QFile::remove(path));
        else if (damage == QLatin1String("remove store"))
            QVERIFY(QFile::remove(path + ".xxx"));
        else if (damage == QLatin1String("header"))
            QVERIFY(test::WriteBytesAt(path + ".xxx", 0, "abc             "));
        else
            QVERIFY(test::WriteBytesAt(path, 0, QByteArray(64, 'x')));
        const QByteArray aviBefore = test::DigestOf(path);
        const QByteArray storeBefore = test::DigestOf(path + ".xxx");

        OpenRecording recording;
        try {
            recording.Open(path);
            QFAIL("the recording opened");
        } catch (const RecordingError& failure) {
            QVERIFY2(QString::fromUtf8(failure.what()).contains(QFileInfo(path).fileName()), failure.what());
            QVERIFY2(QString::fromUtf8(failure.what()).contains(named), failure.what());
        }
        QVERIFY(!recording.IsOpen());
        QCOMPARE(test::DigestOf(path), aviBefore);
        QCOMPARE(test::DigestOf(path + ".xxx"), storeBefore);
        QCOMPARE(test::DescriptorsOn(path) + test::DescriptorsOn(path + ".xxx"), 0);
    }

    // A record that is not a JPEG is reported, and the next step moves on past it; a record cut short is
    // reported and leaves the cursor where it was.
    void damagedRecordsAreReportedAndPassed()
    {
        const QString path = test::MakeRecording(dir.path(), QStringLiteral("damaged.avi"), {.frames = 3});
        qint64 secondStart = 0;
        qint64 thirdStart = 0;
        {
            store::FrameStore frames = store::FrameStore::OpenFrameStoreReadOnly(QFile::encodeName(path + ".xxx").toStdString());
            frames.Seek(store::kFrameStoreHeaderSize);
            secondStart = frames.SkipNextFrame().End();
            thirdStart = frames.SkipNextFrame().End();
        }
        QVERIFY(test::WriteBytesAt(path + ".xxx", secondStart + 10, QByteArray(40, '\0'))); // inside the second JPEG's header
        QVERIFY(QFile::resize(path + ".xxx", thirdStart + 30));            // the third cut short

        OpenRecording recording;
        recording.Open(path);
        QVERIFY(test::Near(test::BackgroundOf(recording.NextFrame()), test::FrameColour(0)));
        QVERIFY_THROWS_EXCEPTION(RecordingError, recording.NextFrame());
        QCOMPARE(recording.NumberOnView(), 2);
        QCOMPARE(recording.Cursor(), thirdStart);
        QVERIFY_THROWS_EXCEPTION(RecordingError, recording.NextFrame());
        QCOMPARE(recording.Cursor(), thirdStart);
        // Backwards over the bad record to frame 1 again.
        QVERIFY_THROWS_EXCEPTION(RecordingError, recording.PreviousFrame());
        QVERIFY(test::Near(test::BackgroundOf(recording.PreviousFrame()), test::FrameColour(0)));
        QCOMPARE(recording.NumberOnView(), 1);
    }

    // Opening another recording, closing, and resetting let go of every file.
    void openingAnotherReleasesTheFirst()
    {
        const QString first = test::MakeRecording(dir.path(), QStringLiteral("first.avi"));
        const QString second = test::MakeRecording(dir.path(), QStringLiteral("second.avi"));
        OpenRecording recording;
        recording.Open(first);
        QVERIFY(test::DescriptorsOn(first) > 0);
        QVERIFY(test::DescriptorsOn(first + ".xxx") > 0);
        recording.Open(second);
        QCOMPARE(test::DescriptorsOn(first) + test::DescriptorsOn(first + ".xxx"), 0);
        QVERIFY(recording.Close());
        QVERIFY(!recording.Close()); // closing twice does nothing
        QCOMPARE(test::DescriptorsOn(second) + test::DescriptorsOn(second + ".xxx"), 0);
        QCOMPARE(recording.Cursor(), 0);
    }

    // A recording only looked at is left byte for byte as it was.
    void browsingWritesNothing()
    {
        const QString path = test::MakeRecording(dir.path(), QStringLiteral("lookonly.avi"), {.frames = 4});
        const QByteArray avi = test::DigestOf(path);
        const QByteArray frames = test::DigestOf(path + ".xxx");
        OpenRecording recording;
        recording.Open(path);
        for (int i = 0; i < 6; ++i)
            recording.NextFrame();
        recording.PreviousFrame();
        QVERIFY(recording.Close());
        QCOMPARE(test::DigestOf(path), avi);
        QCOMPARE(test::DigestOf(path + ".xxx"), frames);
    }
};

QTEST_GUILESS_MAIN(OpenRecordingTest)
#include "test_open_recording.moc"
