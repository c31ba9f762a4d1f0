#pragma once
// A synthetic input device for tests and demos: a tone or a WAV file's samples, delivered at the pace of
// the clock as a real device would deliver them.

#include "platform/WaveInBackend.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>

namespace quolva::platform {

// Makes sound in one PCM format, one sample block after the other.
class SoundGenerator {
public:
    virtual ~SoundGenerator() = default;
    // Writes the next `blocks` sample blocks into out (blocks × nBlockAlign bytes).
    virtual void generate(char* out, qsizetype blocks) = 0;
    // Passes over sound nobody could take.
    virtual void skip(qint64 blocks) = 0;
};

// A sine of `hz` hertz at half of full scale, the same in every channel.
std::unique_ptr<SoundGenerator> makeToneGenerator(double hz, const SoundFormat& format);

// The samples of a PCM WAV file (8 or 16 bits, 1 or 2 channels), converted to the format: channels mixed
// or doubled, 8/16 bits rescaled, the sample rate converted by linear interpolation; silence after the end.
// Throws std::runtime_error naming the file when it cannot be read or holds another kind of sound.
std::unique_ptr<SoundGenerator> makeWavGenerator(const QString& path, const SoundFormat& format);

class WaveInSynthetic final : public QObject, public WaveInBackend {
    Q_OBJECT
public:
    WaveInSynthetic(std::unique_ptr<SoundGenerator> generator, const SoundFormat& format, WaveInSink& sink,
                    QString description);
    ~WaveInSynthetic() override;

    MMResult start() override;
    void stop() override;
    QString description() const override { return m_description; }

private:
    // Writes everything the clock says is due since the start.
    void produceDue();

    std::unique_ptr<SoundGenerator> m_generator;
    SoundFormat m_format;
    WaveInSink& m_sink;
    QString m_description;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_produced = 0;  // sample blocks since the start
    QByteArray m_scratch;
};

}  // namespace quolva::platform
