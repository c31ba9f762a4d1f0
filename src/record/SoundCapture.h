#pragma once
#include "platform/WaveIn.h"
#include "store/AviFile.h"

#include <QObject>

#include <chrono>
#include <vector>

class QWidget;

namespace quolva::record {

// Sound capture into an audio stream: two buffers of one second each (plus 4 bytes) alternate between the
// input device and the writer. Each buffer the device hands back is appended to the stream at its
// length, with its byte count as the sample count, and queued again. The recording panel runs it into the
// recording's sound track; the main window runs its own into a dubbing stream.
class SoundCapture : public QObject {
    Q_OBJECT
public:
    explicit SoundCapture(QWidget* messageOwner);
    ~SoundCapture() override;

    // Opens the default input device for the format and starts recording into `stream`. A device
    // failure is told to the user ("Failed to open waveform input device." and the others) and does not
    // stop the start: frames are still recorded, and no sound arrives.
    void StartSoundCapture(const store::SoundFormatArea& format, store::PAVISTREAM stream);

    // The stop sequence: stop, reset (which hands back both buffers with what they hold), unprepare,
    // close. The buffers handed back are written when their buffer-done events are handled.
    void StopSoundCapture();

    // Handles the buffer-done events that the stop left, waiting at most `timeout` for them, so that the
    // last partial second is in the stream before it is closed. True when every buffer came back.
    bool WaitForLastBuffers(std::chrono::milliseconds timeout);

    // A paused recording: the device stops, and the sound it holds comes back and is written; Resume starts
    // it again into the same buffers and stream.
    void PauseSoundCapture();
    void ResumeSoundCapture();

    // Undoes a start: stops the device and drops whatever it hands back, writing nothing.
    void AbandonSoundCapture();

    bool isRunning() const { return running_; }
    // The first device failure of the last start, with the device's own words where it gave any
    // ("Failed to open waveform input device. (…)"); empty when the device started.
    const QString& startFailure() const { return startFailure_; }
    // Buffers the device still holds or whose buffer-done event has not been handled yet.
    int buffersOutstanding() const { return outstanding_; }
    // Memory held for the two buffers: freed once a stopped capture's last buffer has been handled.
    std::size_t bufferBytes() const { return bufferA_.capacity() + bufferB_.capacity(); }

signals:
    // A buffer was written into the stream: 'A' or 'B', and its byte count.
    void bufferWritten(char buffer, quint32 bytes);
    // A buffer could not be written (a full disk): the failure's text. Without a receiver the failure is
    // thrown to the application's error handling instead.
    void writeFailed(const QString& failure);

protected:
    void customEvent(QEvent* event) override;

private:
    void BufferDone();
    void FreeBuffers();
    void warn(const char* text);

    QWidget* messageOwner_;
    platform::WaveIn device_;
    std::vector<char> bufferA_;
    std::vector<char> bufferB_;
    platform::WaveHeader headerA_{};
    platform::WaveHeader headerB_{};
    bool toggle_ = true; // set: buffer A comes back next
    store::PAVISTREAM stream_;
    bool running_ = false;
    bool dropping_ = false;
    int outstanding_ = 0;
    QString startFailure_;
};

} // namespace quolva::record
