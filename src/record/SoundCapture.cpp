#include "record/SoundCapture.h"

#include "platform/Prompts.h"
#include "record/SoundFormatArea.h"
#include "store/AviFileServices.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaMethod>
#include <QThread>


namespace quolva::record {

SoundCapture::SoundCapture(QWidget* messageOwner) : messageOwner_(messageOwner) {}

SoundCapture::~SoundCapture()
{
    if (running_)
        AbandonSoundCapture();
}

void SoundCapture::warn(const char* text)
{
    if (startFailure_.isEmpty()) {
        const QString cause = device_.lastError();
        startFailure_ = QString::fromLatin1(text) + (cause.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(cause));
    }
    platform::prompts().message(messageOwner_, QString::fromLatin1(text), QString(), platform::MessageIcon::Warning);
}

void SoundCapture::StartSoundCapture(const store::SoundFormatArea& format, store::PAVISTREAM stream)
{
    stream_ = std::move(stream);
    dropping_ = false;
    startFailure_.clear();
    if (device_.waveInOpen(toPlatformFormat(format), this) != platform::MMSYSERR_NOERROR)
        warn("Failed to open waveform input device.");

    // New buffers at every start: the old ones may still be referenced by events being handled.
    const std::size_t size = format.format.nAvgBytesPerSec + 4;
    bufferA_.assign(size, 0);
    bufferB_.assign(size, 0);

    headerA_ = {};
    headerA_.lpData = bufferA_.data();
    headerA_.dwBufferLength = static_cast<std::uint32_t>(size);
    if (device_.waveInPrepareHeader(&headerA_) != platform::MMSYSERR_NOERROR)
        warn("Failed to waveInPrepareHeader .");
    headerB_ = {};
    headerB_.lpData = bufferB_.data();
    headerB_.dwBufferLength = static_cast<std::uint32_t>(size);
    if (device_.waveInPrepareHeader(&headerB_) != platform::MMSYSERR_NOERROR)
        warn("Failed to waveInPrepareHeader .");

    const bool queuedA = device_.waveInAddBuffer(&headerA_) == platform::MMSYSERR_NOERROR;
    const bool queuedB = device_.waveInAddBuffer(&headerB_) == platform::MMSYSERR_NOERROR;
    if (!queuedA || !queuedB)
        warn("Failed to waveInAddBuffer .");
    outstanding_ = int(queuedA) + int(queuedB);

    device_.waveInStart();
    toggle_ = true;
    running_ = true;
}

void SoundCapture::StopSoundCapture()
{
    device_.waveInStop();
    device_.waveInReset();
    device_.waveInUnprepareHeader(&headerA_);
    device_.waveInUnprepareHeader(&headerB_);
    device_.waveInClose();
    running_ = false;
}

void SoundCapture::PauseSoundCapture()
{
    if (running_)
        device_.waveInPause();
}

void SoundCapture::ResumeSoundCapture()
{
    if (running_)
        device_.waveInStart();
}

void SoundCapture::AbandonSoundCapture()
{
    dropping_ = true;
    StopSoundCapture();
    WaitForLastBuffers(std::chrono::milliseconds(0));
}

bool SoundCapture::WaitForLastBuffers(std::chrono::milliseconds timeout)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        // Only this object's buffer-done events: nothing else runs meanwhile.
        QCoreApplication::sendPostedEvents(this, platform::WaveInDataEvent::eventType());
        if (outstanding_ == 0 || clock.elapsed() >= timeout.count())
            break;
        QThread::msleep(5);
    }
    // The caller closes the stream next: our handle must not keep the AVI file open (it would stay
    // unfinished, its headers never written).
    stream_.reset();
    return outstanding_ == 0;
}

void SoundCapture::customEvent(QEvent* event)
{
    if (event->type() != platform::WaveInDataEvent::eventType())
        return QObject::customEvent(event);
    const auto* done = static_cast<platform::WaveInDataEvent*>(event);
    if (done->device() != &device_)
        return;
    if (outstanding_ > 0)
        --outstanding_;
    if (!dropping_)
        BufferDone();
    // The last buffer of a stopped capture has been handled: nothing refers to the buffers any more.
    if (!running_ && outstanding_ == 0)
        FreeBuffers();
}

void SoundCapture::FreeBuffers()
{
    std::vector<char>().swap(bufferA_);
    std::vector<char>().swap(bufferB_);
    headerA_ = {};
    headerB_ = {};
}

// One buffer handed back: append what it holds at the stream's length, then queue it again (which fails
// harmlessly once the device is closed).
void SoundCapture::BufferDone()
{
    platform::WaveHeader& header = toggle_ ? headerA_ : headerB_;
    const char which = toggle_ ? 'A' : 'B';
    toggle_ = !toggle_;
    const auto bytes = static_cast<store::LONG>(header.dwBytesRecorded);

    const store::LONG length = store::AVIStreamLength(stream_);
    const store::HRESULT written =
        store::AVIStreamWrite(stream_, length, bytes, header.lpData, bytes, 0, nullptr, nullptr);
    if (device_.waveInAddBuffer(&header) == platform::MMSYSERR_NOERROR)
        ++outstanding_;
    // A sound track that cannot be written (a full disk) is told, not lost in silence.
    if (written != store::AVIERR_OK && stream_) {
        const QString failure = QString::fromStdString(store::AviLastError());
        if (!isSignalConnected(QMetaMethod::fromSignal(&SoundCapture::writeFailed)))
            throw store::StoreError(failure.toStdString());
        emit writeFailed(failure);
        return;
    }
    emit bufferWritten(which, static_cast<quint32>(bytes));
}

} // namespace quolva::record
