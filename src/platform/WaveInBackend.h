#pragma once
// What a waveform input device is built from: a backend that produces sound in real time and writes it
// into the sink, which is the queue of buffers of the open WaveIn handle.

#include "platform/WaveInTypes.h"

#include <QString>

#include <memory>

namespace quolva::platform {

class WaveInSink {
public:
    // Bytes the queued buffers can still take.
    virtual qsizetype freeSpace() const = 0;
    // Fills the queued buffers in order and hands back each one that becomes full; bytes beyond the
    // free space are dropped, as a device drops sound when no buffer is queued.
    virtual void write(const char* data, qsizetype size) = 0;

protected:
    ~WaveInSink() = default;
};

class WaveInBackend {
public:
    virtual ~WaveInBackend() = default;
    // Starts producing sound into the sink.
    virtual MMResult start() = 0;
    // Writes what was produced up to now into the sink, then stops. Stopping a stopped backend does nothing.
    virtual void stop() = 0;
    // A buffer was queued: a backend holding sound back may write it now.
    virtual void spaceAvailable() {}
    virtual QString description() const = 0;
};

// The outcome of opening a backend: a backend, or a result code and the reason.
struct WaveInBackendOpening {
    std::unique_ptr<WaveInBackend> backend;
    MMResult result = MMSYSERR_NOERROR;
    QString error;
};

// Opens the backend QUOLVA_SOUND_SOURCE chooses (see WaveIn.h) for a consistent PCM format.
WaveInBackendOpening openWaveInBackend(const SoundFormat& format, WaveInSink& sink);

}  // namespace quolva::platform
