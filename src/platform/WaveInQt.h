#pragma once
// The real input device: the sound server's default source, recorded through Qt Multimedia.

#include "platform/WaveInBackend.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <memory>

class QAudioSource;
class QIODevice;

namespace quolva::platform {

// The name of the sound server's default source, asked of the server itself; empty when no server
// answers within the timeout. (Qt's own default input is the first source it lists, which need not be
// the one the user chose as default.)
QByteArray soundServerDefaultSourceName(int timeoutMs = 2000);

// The Qt device of the server's default source; Qt's default input when no device has that name; a null
// device when there are no inputs at all.
QAudioDevice defaultSoundInputDevice();

// The Qt format of a consistent PCM format (8-bit samples are unsigned, 16-bit signed, as in WAV).
QAudioFormat toQAudioFormat(const SoundFormat& format);

class WaveInQt final : public QObject, public WaveInBackend {
    Q_OBJECT
public:
    WaveInQt(const QAudioDevice& device, const SoundFormat& format, WaveInSink& sink);
    ~WaveInQt() override;

    MMResult start() override;
    void stop() override;
    void spaceAvailable() override { pull(); }
    QString description() const override;

private:
    // Moves what the device has captured into the queued buffers, no more than they can take: the rest
    // waits in the sound server's buffer until a buffer is queued again.
    void pull();

    QAudioDevice m_device;
    SoundFormat m_format;
    WaveInSink& m_sink;
    std::unique_ptr<QAudioSource> m_source;
    QIODevice* m_io = nullptr;  // owned by m_source
    QTimer m_poll;
    QByteArray m_scratch;
};

// Opens the default source for the format; fails with MMSYSERR_BADDEVICEID when there is no input device
// and WAVERR_BADFORMAT when it cannot record the format.
WaveInBackendOpening openWaveInQt(const SoundFormat& format, WaveInSink& sink);

}  // namespace quolva::platform
