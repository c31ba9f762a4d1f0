#pragma once
// Waveform input: a sound input device that fills caller-owned buffers queued on it and hands each
// filled buffer back to a receiving object as a posted buffer-done event (MM_WIM_DATA), on the receiver's
// thread, in the order the buffers were queued. The operations and their results follow waveIn*.
//
// The device behind it is chosen by the environment variable QUOLVA_SOUND_SOURCE:
//   (unset)          the sound server's default source through Qt Multimedia
//   tone:HZ          a sine of HZ hertz, made in real time
//   wav:/path.wav    the samples of a PCM WAV file in real time (silence after its end)
//   none             no device: waveInOpen fails with MMSYSERR_BADDEVICEID

#include "platform/WaveInTypes.h"

#include <QEvent>
#include <QList>
#include <QString>

#include <memory>

class QObject;

namespace quolva::platform {

class WaveIn;

// The buffer-done message. It carries the header the device handed back; the header's dwBytesRecorded
// says how much of its buffer holds sound. Handle it in the receiver's event() or customEvent().
class WaveInDataEvent : public QEvent {
public:
    // MM_WIM_DATA: the registered event type of every buffer-done event.
    static QEvent::Type eventType();

    WaveInDataEvent(const WaveIn* device, WaveHeader* header);
    ~WaveInDataEvent() override;

    // The device that handed the buffer back; it may have been closed or destroyed since.
    const WaveIn* device() const { return m_device; }
    WaveHeader* header() const { return m_header; }

private:
    const WaveIn* m_device;
    WaveHeader* m_header;
};

// One waveform input handle (HWAVEIN). Not copyable; destroying it closes the device, and buffers still
// queued then are dropped without a buffer-done event.
class WaveIn {
public:
    WaveIn();
    ~WaveIn();
    WaveIn(const WaveIn&) = delete;
    WaveIn& operator=(const WaveIn&) = delete;

    // Opens the input device for the format; buffer-done events go to receiver. Only consistent PCM
    // formats (8 or 16 bits, 1 or 2 channels) are accepted.
    MMResult waveInOpen(const SoundFormat& format, QObject* receiver);
    // Marks a header usable: lpData set and room for at least one sample block.
    MMResult waveInPrepareHeader(WaveHeader* header);
    // Fails with WAVERR_STILLPLAYING while the header is queued.
    MMResult waveInUnprepareHeader(WaveHeader* header);
    // Queues a prepared buffer; its dwBytesRecorded starts at 0. Fails with MMSYSERR_INVALHANDLE once
    // the device is closed.
    MMResult waveInAddBuffer(WaveHeader* header);
    MMResult waveInStart();
    // Stops recording; the buffer being filled comes back if it holds any sound, empty ones stay queued.
    MMResult waveInStop();
    // Pauses recording until the next waveInStart: the buffer being filled comes back if it holds any
    // sound, as with waveInStop, but the device goes on running and what it records meanwhile is dropped,
    // so that resuming has no start delay and the sound stays in step with pictures paused alike.
    MMResult waveInPause();
    // Stops recording and hands back every queued buffer with what it holds (possibly nothing).
    MMResult waveInReset();
    // Fails with WAVERR_STILLPLAYING while buffers are queued. Closing a closed handle does nothing.
    MMResult waveInClose();

    bool isOpen() const;
    bool isStarted() const;
    // Why the last failing operation failed, in words (empty after a success).
    QString lastError() const;
    // What is open: the sound server's source name, or the synthetic source.
    QString deviceDescription() const;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

// The 16-bit PCM formats (mono and stereo at 8000, 11025, 22050, 44100 and 48000 Hz) that the input
// device accepts, mono first, rates ascending. Empty when there is no input device.
QList<SoundFormat> supportedRecordingFormats();

}  // namespace quolva::platform
