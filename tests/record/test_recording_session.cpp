// The recording's pair of files as the wizard prepares them: defaults, a new target, a continued one,
// targets that cannot be used, and cancelling.
#include "record/RecordingSession.h"
#include "store/AviFileServices.h"
#include "store/Jpeg.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace quolva;

namespace {

// A store of one frame of the given size, as a finished recording leaves it.
void writeStore(const QString& path, int width, int height)
{
    store::FrameStore frames = store::FrameStore::CreateFrameStore(path.toStdString());
    store::Picture picture(width, height);
    frames.AppendFrame(picture.View());
    frames.AddToFrameCount(1);
}

} // namespace

class RecordingSessionTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;

private slots:
    void defaultsAreElevenKilohertzSixteenBitMono()
    {
        record::RecordingSession session;
        session.soundFormat.format.nSamplesPerSec = 44100; // a format chosen earlier
        session.ResetRecordingDefaults();
        const store::WAVEFORMATEX& f = session.soundFormat.format;
        QCOMPARE(f.wFormatTag, store::WAVE_FORMAT_PCM);
        QCOMPARE(f.nChannels, 1);
        QCOMPARE(f.nSamplesPerSec, 11025u);
        QCOMPARE(f.nAvgBytesPerSec, 22050u);
        QCOMPARE(f.nBlockAlign, 2);
        QCOMPARE(f.wBitsPerSample, 16);
        QCOMPARE(f.cbSize, 0);
        QCOMPARE(session.soundFormat.padding[0] | session.soundFormat.padding[1], 0);
        const store::AVISTREAMINFOA& info = session.audioStreamInfo;
        QCOMPARE(info.fccType, store::streamtypeAUDIO);
        QCOMPARE(info.dwScale, 1u);
        QCOMPARE(info.dwRate, 11025u);
        QCOMPARE(info.dwSampleSize, 1u);
        QCOMPARE(info.dwQuality, 0xFFFFFFFFu);
        QCOMPARE(info.dwLength, 0u);
        QCOMPARE(record::SoundFormatText(session.soundFormat), QStringLiteral("11025Hz,16Bits1Channel"));

        // The chooser closed (success or cancel): the description follows the format in the area.
        session.ApplySoundFormatToStreamInfo();
        QCOMPARE(session.audioStreamInfo.dwSampleSize, 2u);
        QCOMPARE(session.audioStreamInfo.dwRate, 11025u);
    }

    void aNewTargetHoldsAnEmptyAudioStreamAndNoFrameStore()
    {
        record::RecordingSession session;
        const QString target = dir.filePath(QStringLiteral("new.avi"));
        session.NewTarget(target);
        QVERIFY(session.newMode);
        QVERIFY(!session.continueMode);
        QCOMPARE(session.targetPath, target);
        QCOMPARE(store::AVIStreamLength(session.audioStream), 0);
        QVERIFY(!QFile::exists(target + QStringLiteral(".xxx")));
        session.CloseRecordingFiles();
        QVERIFY(QFile::exists(target));

        store::PAVIFILE file;
        store::PAVISTREAM audio;
        QCOMPARE(store::AVIFileOpen(&file, target.toStdString(), store::OF_READ), store::AVIERR_OK);
        QCOMPARE(store::AVIFileGetStream(file, &audio, store::streamtypeAUDIO, 0), store::AVIERR_OK);
    }

    void aTargetThatCannotBeCreatedIsReportedWithItsName()
    {
        record::RecordingSession session;
        const QString target = dir.filePath(QStringLiteral("no/such/folder/x.avi"));
        try {
            session.NewTarget(target);
            QFAIL("a target in a missing folder was accepted");
        } catch (const store::StoreError& failure) {
            QVERIFY2(QString::fromUtf8(failure.what()).contains(QStringLiteral("x.avi")), failure.what());
        }
        QVERIFY(!session.soundTrackFile);
        QVERIFY(!session.newMode);
        QVERIFY(session.targetPath.isEmpty());
    }

    // An existing file chosen as a new target (the overwrite confirmed) that cannot be opened for writing
    // stays as it was: the session removes only what it created. The file is read-only and, so that this
    // holds for root too, a running program (which no one may open for writing).
    void anExistingTargetThatCannotBeOpenedIsKept()
    {
        const QString target = dir.filePath(QStringLiteral("read-only.avi"));
        QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), target));
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
        const QByteArray before = [&] {
            QFile f(target);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        QProcess running;
        running.start(target, {QStringLiteral("30")});
        QVERIFY(running.waitForStarted());
        record::RecordingSession session;
        QVERIFY_THROWS_EXCEPTION(store::StoreError, session.NewTarget(target));
        running.kill();
        running.waitForFinished();
        QVERIFY(!session.newMode);
        QFile kept(target);
        QVERIFY2(kept.open(QIODevice::ReadOnly), "the target was deleted");
        QCOMPARE(kept.readAll(), before);
    }

    void continuingTakesFrameSizeFormatAndDescriptionFromTheFiles()
    {
        const QString target = dir.filePath(QStringLiteral("old.avi"));
        {
            record::RecordingSession first;
            first.soundFormat.format.nSamplesPerSec = 22050;
            first.soundFormat.format.nAvgBytesPerSec = 44100;
            first.ApplySoundFormatToStreamInfo();
            first.NewTarget(target);
            // Record sets the format on the stream.
            store::AVIStreamSetFormat(first.audioStream, 0, &first.soundFormat, sizeof(first.soundFormat));
            first.CloseRecordingFiles();
            writeStore(target + QStringLiteral(".xxx"), 800, 600);
        }
        record::RecordingSession session;
        session.ResetRecordingDefaults();
        QCOMPARE(session.ContinueTarget(target), QSize(800, 600));
        QVERIFY(session.continueMode);
        QVERIFY(!session.newMode);
        QCOMPARE(session.soundFormat.format.nSamplesPerSec, 22050u);
        QCOMPARE(session.audioStreamInfo.dwRate, 22050u);
        QCOMPARE(session.audioStreamInfo.dwSampleSize, 2u);
        QCOMPARE(record::SoundFormatText(session.soundFormat), QStringLiteral("22050Hz,16Bits1Channel"));

        // Cancelling a continued target keeps its files.
        session.CancelTarget();
        QVERIFY(QFile::exists(target));
        QVERIFY(QFile::exists(target + QStringLiteral(".xxx")));
    }

    void continuingWithoutFramesOrSoundIsRefused()
    {
        // No frame store beside the AVI file.
        const QString lonely = dir.filePath(QStringLiteral("lonely.avi"));
        {
            record::RecordingSession first;
            first.NewTarget(lonely);
            first.CloseRecordingFiles();
        }
        record::RecordingSession session;
        QVERIFY_THROWS_EXCEPTION(store::StoreError, session.ContinueTarget(lonely));
        QVERIFY(!session.soundTrackFile);
        QVERIFY(!session.continueMode);

        // A store without a record.
        store::FrameStore::CreateFrameStore((lonely + QStringLiteral(".xxx")).toStdString());
        QVERIFY_THROWS_EXCEPTION(store::StoreError, session.ContinueTarget(lonely));

        // A sound track whose format was never set.
        QVERIFY(QFile::remove(lonely + QStringLiteral(".xxx")));
        writeStore(lonely + QStringLiteral(".xxx"), 64, 48);
        try {
            session.ContinueTarget(lonely);
            QFAIL("a sound track without a format was accepted");
        } catch (const store::StoreError& failure) {
            QVERIFY2(QString::fromUtf8(failure.what()).contains(QStringLiteral("format")), failure.what());
        }

        // An AVI file without an audio stream.
        const QString silent = dir.filePath(QStringLiteral("silent.avi"));
        {
            store::PAVIFILE file;
            store::PAVISTREAM video;
            QCOMPARE(store::AVIFileOpen(&file, silent.toStdString(), store::OF_CREATE | store::OF_WRITE), store::AVIERR_OK);
            store::AVISTREAMINFOA info{};
            info.fccType = store::streamtypeVIDEO;
            info.dwScale = 1;
            info.dwRate = 10;
            QCOMPARE(store::AVIFileCreateStream(file, &video, info), store::AVIERR_OK);
        }
        writeStore(silent + QStringLiteral(".xxx"), 64, 48);
        try {
            session.ContinueTarget(silent);
            QFAIL("an AVI file without sound was accepted");
        } catch (const store::StoreError& failure) {
            QVERIFY2(QString::fromUtf8(failure.what()).contains(QStringLiteral("audio")), failure.what());
        }
    }

    void cancellingANewTargetDeletesIt()
    {
        record::RecordingSession session;
        const QString target = dir.filePath(QStringLiteral("cancelled.avi"));
        session.NewTarget(target);
        session.ready = true;
        session.CancelTarget();
        QVERIFY(!QFile::exists(target));
        QVERIFY(!QFile::exists(target + QStringLiteral(".xxx")));
        QVERIFY(!session.ready);
        QVERIFY(!session.newMode);
    }
};

QTEST_GUILESS_MAIN(RecordingSessionTest)
#include "test_recording_session.moc"
