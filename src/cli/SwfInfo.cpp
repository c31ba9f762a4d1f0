// quolvactl info on an SWF movie: what its header says and what its tags hold, read straight from the
// file (the movies Quolva writes are uncompressed).
#include "cli/Commands.h"

#include <QFile>

#include <cstdint>
#include <stdexcept>

namespace quolva::cli {
namespace {

class Reader {
public:
    explicit Reader(const QByteArray& bytes) : bytes_(bytes) {}
    std::uint32_t Byte() { return Need(1), std::uint8_t(bytes_[at_++]); }
    std::uint32_t U16() { const std::uint32_t low = Byte(); return low | (Byte() << 8); }
    std::uint32_t U32() { const std::uint32_t low = U16(); return low | (U16() << 16); }
    void Skip(qint64 n) { Need(n), at_ += n; }
    qint64 At() const { return at_; }
    bool AtEnd() const { return at_ >= bytes_.size(); }
    // A signed field of `bits` bits, most significant bit first, from bit `bit` of the data.
    std::int32_t SignedBits(qint64& bit, int bits)
    {
        std::uint32_t value = 0;
        for (int i = 0; i < bits; ++i, ++bit) {
            Need((bit >> 3) - at_ + 1);
            value = (value << 1) | ((std::uint8_t(bytes_[bit >> 3]) >> (7 - (bit & 7))) & 1u);
        }
        if (bits > 0 && (value >> (bits - 1)) != 0)
            value |= ~0u << bits;
        return static_cast<std::int32_t>(value);
    }

private:
    void Need(qint64 n) const
    {
        if (n < 0 || at_ + n > bytes_.size())
            throw std::runtime_error("the file ends inside its header or a tag");
    }
    const QByteArray& bytes_;
    qint64 at_ = 0;
};

int RateOfCode(std::uint32_t code)
{
    static const int rates[] = {5512, 11025, 22050, 44100};
    return rates[code & 3];
}

} // namespace

bool LooksLikeSwf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(3);
    return head == "FWS" || head == "CWS" || head == "ZWS";
}

int SwfInfo(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(qPrintable(QStringLiteral("cannot read %1: %2").arg(path, file.errorString())));
    const QByteArray bytes = file.readAll();
    if (!bytes.startsWith("FWS"))
        throw std::runtime_error(qPrintable(QStringLiteral("%1 is a compressed SWF movie; only uncompressed ones are read").arg(path)));
    Reader in(bytes);
    in.Skip(3);
    const std::uint32_t version = in.Byte();
    const std::uint32_t length = in.U32();
    qint64 bit = in.At() * 8;
    const int nbits = static_cast<int>(std::uint32_t(in.SignedBits(bit, 5)) & 31u);
    const std::int32_t xMin = in.SignedBits(bit, nbits);
    const std::int32_t xMax = in.SignedBits(bit, nbits);
    const std::int32_t yMin = in.SignedBits(bit, nbits);
    const std::int32_t yMax = in.SignedBits(bit, nbits);
    in.Skip((bit + 7) / 8 - in.At());
    const std::uint32_t rate = in.U16();
    const std::uint32_t frames = in.U16();

    int bitmaps = 0, shapes = 0, shown = 0, blocks = 0;
    qint64 soundBytes = 0;
    int soundRate = 0, soundBits = 0, soundChannels = 0;
    bool ended = false;
    while (!in.AtEnd() && !ended) {
        const std::uint32_t head = in.U16();
        const std::uint32_t code = head >> 6;
        std::uint32_t size = head & 0x3F;
        if (size == 0x3F)
            size = in.U32();
        const qint64 start = in.At();
        switch (code) {
        case 0: ended = true; break;
        case 1: ++shown; break;
        case 32: ++shapes; break;
        case 36: ++bitmaps; break;
        case 19: ++blocks; soundBytes += size; break;
        case 45: // SoundStreamHead2: the stream's rate, sample size and channels are in its second byte
            if (size >= 2) {
                in.Byte();
                const std::uint32_t stream = in.Byte();
                soundRate = RateOfCode(stream >> 2);
                soundBits = (stream & 2) ? 16 : 8;
                soundChannels = (stream & 1) ? 2 : 1;
            }
            break;
        default: break;
        }
        in.Skip(start + size - in.At());
    }

    out(QStringLiteral("swf file: %1").arg(path));
    out(QStringLiteral("swf version: %1").arg(version));
    out(QStringLiteral("swf file length: %1 (%2)").arg(length).arg(length == std::uint32_t(bytes.size()) ? QStringLiteral("matches the file")
                                                                                                      : QStringLiteral("the file has %1").arg(bytes.size())));
    out(QStringLiteral("swf frame size: %1x%2 pixels").arg((xMax - xMin) / 20).arg((yMax - yMin) / 20));
    out(QStringLiteral("swf frame rate: %1").arg(rate / 256.0, 0, 'f', 2));
    out(QStringLiteral("swf frame count: %1").arg(frames));
    out(QStringLiteral("swf frames shown: %1").arg(shown));
    out(QStringLiteral("swf bitmaps: %1").arg(bitmaps));
    out(QStringLiteral("swf shapes: %1").arg(shapes));
    if (soundRate == 0) {
        out(QStringLiteral("swf sound: none"));
    } else {
        out(QStringLiteral("swf sound: %1Hz,%2Bits%3Channel").arg(soundRate).arg(soundBits).arg(soundChannels));
        out(QStringLiteral("swf sound blocks: %1").arg(blocks));
        out(QStringLiteral("swf sound bytes: %1").arg(soundBytes));
        out(QStringLiteral("swf sound length ms: %1").arg(soundBytes * 1000 / (qint64(soundRate) * soundBits / 8 * soundChannels)));
    }
    out(QStringLiteral("swf complete: %1").arg(ended ? QStringLiteral("yes") : QStringLiteral("no (no End tag)")));
    return ended ? 0 : 1;
}

} // namespace quolva::cli
