#include "platform/WaveInSynthetic.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace quolva::platform {

namespace {

// One sample in [-1, 1) written in the format's sample width. The scaling is the exact inverse of the
// reading below, so a WAV in the recording format comes out bit for bit.
void putSample(char*& out, int bits, double v)
{
    if (bits == 16) {
        const auto s = static_cast<std::int16_t>(std::clamp<long>(std::lround(v * 32768.0), -32768, 32767));
        out[0] = static_cast<char>(s & 0xff);
        out[1] = static_cast<char>((s >> 8) & 0xff);
        out += 2;
    } else {
        *out++ = static_cast<char>(std::clamp<long>(std::lround(v * 128.0) + 128, 0, 255));
    }
}

class ToneGenerator final : public SoundGenerator {
public:
    ToneGenerator(double hz, const SoundFormat& format)
        : m_step(hz / format.nSamplesPerSec), m_channels(format.nChannels), m_bits(format.wBitsPerSample)
    {
    }

    void generate(char* out, qsizetype blocks) override
    {
        for (qsizetype i = 0; i < blocks; ++i) {
            const double v = 0.5 * std::sin(2.0 * std::numbers::pi * m_phase);
            for (int c = 0; c < m_channels; ++c)
                putSample(out, m_bits, v);
            advance(1);
        }
    }

    void skip(qint64 blocks) override { advance(static_cast<double>(blocks)); }

private:
    void advance(double blocks)
    {
        m_phase += m_step * blocks;
        m_phase -= std::floor(m_phase);
    }

    double m_step;   // cycles per sample block
    double m_phase = 0;
    int m_channels;
    int m_bits;
};

[[noreturn]] void refuse(const QString& path, const QString& why)
{
    throw std::runtime_error(QStringLiteral("Cannot use the sound file %1 as a sound source: %2")
                                 .arg(path, why)
                                 .toStdString());
}

std::uint32_t le32(const QByteArray& b, qsizetype at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData() + at);
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t le16(const QByteArray& b, qsizetype at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData() + at);
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

class WavGenerator final : public SoundGenerator {
public:
    WavGenerator(const QString& path, const SoundFormat& format)
        : m_outRate(format.nSamplesPerSec), m_outChannels(format.nChannels), m_outBits(format.wBitsPerSample)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            refuse(path, file.errorString());
        if (file.size() > (qint64(1) << 30))
            refuse(path, QStringLiteral("the file is larger than 1 GiB"));
        const QByteArray bytes = file.readAll();
        if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
            refuse(path, QStringLiteral("it is not a RIFF WAVE file"));

        bool haveFormat = false;
        qsizetype dataAt = -1;
        qsizetype dataSize = 0;
        for (qsizetype at = 12; at + 8 <= bytes.size();) {
            const QByteArray id = bytes.mid(at, 4);
            const qsizetype size = le32(bytes, at + 4);
            const qsizetype body = at + 8;
            const qsizetype present = std::min<qsizetype>(size, bytes.size() - body);
            if (id == "fmt ") {
                if (present < 16)
                    refuse(path, QStringLiteral("its format chunk is too short"));
                std::uint16_t tag = le16(bytes, body);
                // WAVE_FORMAT_EXTENSIBLE names the real format in the first two bytes of its sub-format.
                if (tag == 0xFFFE && present >= 26)
                    tag = le16(bytes, body + 24);
                m_inChannels = le16(bytes, body + 2);
                m_inRate = le32(bytes, body + 4);
                m_inBits = le16(bytes, body + 14);
                if (tag != WAVE_FORMAT_PCM)
                    refuse(path, QStringLiteral("it holds format tag %1, not PCM").arg(tag));
                if (m_inBits != 8 && m_inBits != 16)
                    refuse(path, QStringLiteral("it has %1 bits per sample; 8 or 16 are supported").arg(m_inBits));
                if (m_inChannels != 1 && m_inChannels != 2)
                    refuse(path, QStringLiteral("it has %1 channels; 1 or 2 are supported").arg(m_inChannels));
                if (m_inRate == 0)
                    refuse(path, QStringLiteral("its sample rate is 0"));
                haveFormat = true;
            } else if (id == "data") {
                dataAt = body;
                dataSize = present;  // a file cut short plays what it has
                break;
            }
            at = body + size + (size & 1);
        }
        if (!haveFormat)
            refuse(path, QStringLiteral("it has no format chunk before its data"));
        if (dataAt < 0)
            refuse(path, QStringLiteral("it has no data chunk"));

        const qsizetype bytesPerSample = m_inBits / 8;
        const qsizetype count = dataSize / (bytesPerSample * m_inChannels) * m_inChannels;
        m_samples.resize(static_cast<std::size_t>(count));
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData() + dataAt);
        for (qsizetype i = 0; i < count; ++i) {
            if (m_inBits == 16) {
                const auto s = static_cast<std::int16_t>(p[2 * i] | (p[2 * i + 1] << 8));
                m_samples[static_cast<std::size_t>(i)] = s / 32768.0f;
            } else {
                m_samples[static_cast<std::size_t>(i)] = (p[i] - 128) / 128.0f;
            }
        }
        m_inFrames = count / m_inChannels;
    }

    void generate(char* out, qsizetype blocks) override
    {
        for (qsizetype i = 0; i < blocks; ++i, ++m_position) {
            // Where this output block falls in the file: a whole input frame and a fraction, exactly.
            const qint64 scaled = m_position * m_inRate;
            const qint64 frame = scaled / m_outRate;
            const double fraction = static_cast<double>(scaled % m_outRate) / m_outRate;
            double left = inputAt(frame, 0, fraction);
            double right = m_inChannels == 2 ? inputAt(frame, 1, fraction) : left;
            if (m_outChannels == 1) {
                putSample(out, m_outBits, m_inChannels == 2 ? (left + right) / 2 : left);
            } else {
                putSample(out, m_outBits, left);
                putSample(out, m_outBits, right);
            }
        }
    }

    void skip(qint64 blocks) override { m_position += blocks; }

private:
    double sampleAt(qint64 frame, int channel) const
    {
        if (frame >= m_inFrames)
            return 0.0;
        return m_samples[static_cast<std::size_t>(frame * m_inChannels + channel)];
    }

    double inputAt(qint64 frame, int channel, double fraction) const
    {
        const double a = sampleAt(frame, channel);
        if (fraction == 0.0)
            return a;
        const double b = frame + 1 < m_inFrames ? sampleAt(frame + 1, channel) : a;
        return a + (b - a) * fraction;
    }

    qint64 m_outRate;
    int m_outChannels;
    int m_outBits;
    qint64 m_inRate = 0;
    int m_inChannels = 0;
    int m_inBits = 0;
    qint64 m_inFrames = 0;
    std::vector<float> m_samples;  // interleaved, in [-1, 1)
    qint64 m_position = 0;         // output sample blocks made so far
};

}  // namespace

std::unique_ptr<SoundGenerator> makeToneGenerator(double hz, const SoundFormat& format)
{
    return std::make_unique<ToneGenerator>(hz, format);
}

std::unique_ptr<SoundGenerator> makeWavGenerator(const QString& path, const SoundFormat& format)
{
    return std::make_unique<WavGenerator>(path, format);
}

// ---- the device ----

WaveInSynthetic::WaveInSynthetic(std::unique_ptr<SoundGenerator> generator, const SoundFormat& format,
                                 WaveInSink& sink, QString description)
    : m_generator(std::move(generator)), m_format(format), m_sink(sink), m_description(std::move(description))
{
    // A real device hands sound over in small pieces too; 20 ms keeps the buffers' timing close to one.
    m_timer.setInterval(20);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &WaveInSynthetic::produceDue);
    m_scratch.resize(static_cast<qsizetype>(m_format.nAvgBytesPerSec / 4 + m_format.nBlockAlign));
}

WaveInSynthetic::~WaveInSynthetic() = default;

MMResult WaveInSynthetic::start()
{
    m_clock.start();
    m_produced = 0;
    m_timer.start();
    return MMSYSERR_NOERROR;
}

void WaveInSynthetic::stop()
{
    if (!m_timer.isActive())
        return;
    produceDue();
    m_timer.stop();
}

void WaveInSynthetic::produceDue()
{
    const qint64 due = static_cast<qint64>(static_cast<double>(m_clock.nsecsElapsed()) * m_format.nSamplesPerSec / 1e9);
    qint64 missing = due - m_produced;
    const qint64 chunkBlocks = m_scratch.size() / m_format.nBlockAlign;
    while (missing > 0) {
        // Sound that no queued buffer can take is lost, as on a real device; it need not be made.
        const qint64 room = m_sink.freeSpace() / m_format.nBlockAlign;
        if (room == 0) {
            m_generator->skip(missing);
            break;
        }
        const qint64 blocks = std::min({missing, chunkBlocks, room});
        m_generator->generate(m_scratch.data(), blocks);
        m_sink.write(m_scratch.constData(), blocks * m_format.nBlockAlign);
        missing -= blocks;
    }
    m_produced = due;
}

}  // namespace quolva::platform
