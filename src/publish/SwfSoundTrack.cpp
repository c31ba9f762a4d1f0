#include "publish/SwfSoundTrack.h"

#include "publish/PublishError.h"
#include "store/AviFileServices.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <limits>
#include <cstring>

namespace quolva::publish {
namespace {

// Source frames fed to the resampler at a time.
constexpr std::int64_t kResampleChunk = 8192;
constexpr store::LONG kLongMax = std::numeric_limits<store::LONG>::max();

std::string avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

} // namespace

struct SwfSoundTrack::Resampler {
    SwrContext* context = nullptr;
    std::vector<std::uint8_t> pending; // resampled bytes from position_ on, not yet read
    std::int64_t sourceFed = 0;        // source frames given to the resampler
    bool flushed = false;

    ~Resampler() { swr_free(&context); }
};

std::uint32_t SwfSoundTrack::CodedRateFor(std::uint32_t rate)
{
    if (rate < 6000)
        return rate; // rate code 0: below 6000 Hz the track is taken as it is
    if (rate <= 11025)
        return 11025;
    if (rate <= 22050)
        return 22050;
    return 44100;
}

SwfSoundTrack::SwfSoundTrack(const store::PAVISTREAM& stream, const store::WAVEFORMATEX& format,
                             store::LONG startSample, const std::string& path)
    : stream_(stream), path_(path), format_(format), blockAlign_(format.nBlockAlign), rate_(format.nSamplesPerSec)
{
    if (!stream_ || blockAlign_ == 0) {
        frames_ = 0;
        return;
    }
    store::AVISTREAMINFOA info{};
    if (store::AVIStreamInfo(stream_, &info, sizeof info) != store::AVIERR_OK)
        throw PublishError("无法读取 \"" + path_ + "\" 的声音流：" + store::AviLastError());
    if (info.dwSampleSize == 0)
        throw PublishError("\"" + path_ + "\" 的声音流没有固定的样本大小，无法按样本帧读取");
    streamSampleSize_ = info.dwSampleSize;
    startByte_ = std::int64_t{std::max<store::LONG>(0, startSample)} * streamSampleSize_;

    // What the stream holds from the read position: its data, whatever length its header claims.
    store::LONG bytes = 0, samples = 0;
    if (store::AVIStreamRead(stream_, std::max<store::LONG>(0, startSample), kLongMax, nullptr, 0, &bytes, &samples) !=
        store::AVIERR_OK)
        throw PublishError("无法读取 \"" + path_ + "\" 的声音流：" + store::AviLastError());
    sourceFrames_ = std::max<store::LONG>(0, bytes) / blockAlign_;
    frames_ = sourceFrames_;

    const std::uint32_t coded = CodedRateFor(format.nSamplesPerSec);
    if (coded == format.nSamplesPerSec)
        return;

    const AVSampleFormat sampleFormat = format.wBitsPerSample == 16 ? AV_SAMPLE_FMT_S16
                                        : format.wBitsPerSample == 8 ? AV_SAMPLE_FMT_U8
                                                                     : AV_SAMPLE_FMT_NONE;
    if (sampleFormat == AV_SAMPLE_FMT_NONE || format.nChannels == 0 ||
        blockAlign_ != format.nChannels * format.wBitsPerSample / 8)
        throw PublishError("\"" + path_ + "\" 的声音（" + std::to_string(format.nSamplesPerSec) + " Hz，" +
                           std::to_string(format.wBitsPerSample) + " 位，" + std::to_string(format.nChannels) +
                           " 声道）无法转换为 SWF 影片的采样率");
    resampler_ = std::make_unique<Resampler>();
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, format.nChannels);
    int result = swr_alloc_set_opts2(&resampler_->context, &layout, sampleFormat, static_cast<int>(coded), &layout,
                                     sampleFormat, static_cast<int>(format.nSamplesPerSec), 0, nullptr);
    if (result >= 0)
        result = swr_init(resampler_->context);
    av_channel_layout_uninit(&layout);
    if (result < 0)
        throw PublishError("无法为 \"" + path_ + "\" 的声音转换采样率：" + avError(result));
    rate_ = coded;
    frames_ = sourceFrames_ * coded / format.nSamplesPerSec;
}

SwfSoundTrack::~SwfSoundTrack() = default;

void SwfSoundTrack::ReadSource(std::int64_t from, std::int64_t count, std::vector<std::uint8_t>& out)
{
    out.clear();
    count = std::clamp<std::int64_t>(sourceFrames_ - from, 0, count);
    if (count == 0)
        return;
    // The stream counts samples of its own size; the wanted bytes may begin inside one of them.
    const std::int64_t firstByte = startByte_ + from * blockAlign_;
    const std::int64_t wanted = count * blockAlign_;
    const std::int64_t skip = firstByte % streamSampleSize_;
    const std::int64_t samples = (skip + wanted + streamSampleSize_ - 1) / streamSampleSize_;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(samples * streamSampleSize_));
    store::LONG bytes = 0, got = 0;
    if (firstByte / streamSampleSize_ > kLongMax || samples > kLongMax ||
        store::AVIStreamRead(stream_, static_cast<store::LONG>(firstByte / streamSampleSize_),
                             static_cast<store::LONG>(samples), buffer.data(), static_cast<store::LONG>(buffer.size()),
                             &bytes, &got) != store::AVIERR_OK)
        throw PublishError("无法读取 \"" + path_ + "\" 的声音：" + store::AviLastError());
    const std::int64_t usable = std::clamp<std::int64_t>(bytes - skip, 0, wanted);
    out.assign(buffer.begin() + skip, buffer.begin() + skip + usable);
}

void SwfSoundTrack::ProduceResampled(std::int64_t upTo)
{
    Resampler& r = *resampler_;
    std::vector<std::uint8_t> source;
    while (position_ + static_cast<std::int64_t>(r.pending.size()) / blockAlign_ < upTo && !r.flushed) {
        int inCount = 0;
        const std::uint8_t* in = nullptr;
        if (r.sourceFed < sourceFrames_) {
            ReadSource(r.sourceFed, kResampleChunk, source);
            inCount = static_cast<int>(source.size() / static_cast<std::size_t>(blockAlign_));
            if (inCount == 0) {
                r.sourceFed = sourceFrames_; // the data ended early: flush what was fed
                continue;
            }
            r.sourceFed += inCount;
            in = source.data();
        }
        const int capacity = std::max(swr_get_out_samples(r.context, inCount), 1) + 16;
        const std::size_t old = r.pending.size();
        r.pending.resize(old + static_cast<std::size_t>(capacity) * static_cast<std::size_t>(blockAlign_));
        std::uint8_t* out = r.pending.data() + old;
        const int produced = swr_convert(r.context, &out, capacity, in != nullptr ? &in : nullptr, inCount);
        if (produced < 0)
            throw PublishError("无法转换 \"" + path_ + "\" 的声音采样率：" + avError(produced));
        r.pending.resize(old + static_cast<std::size_t>(produced) * static_cast<std::size_t>(blockAlign_));
        if (in == nullptr && produced == 0)
            r.flushed = true;
    }
}

void SwfSoundTrack::Read(std::int64_t from, std::int64_t to, std::vector<std::uint8_t>& out)
{
    out.clear();
    if (from != position_)
        throw std::logic_error("SwfSoundTrack reads forward only");
    to = std::clamp<std::int64_t>(to, from, frames_);
    if (to == from)
        return;
    if (!resampler_) {
        ReadSource(from, to - from, out);
        position_ = to;
        return;
    }
    ProduceResampled(to);
    const std::size_t wanted = static_cast<std::size_t>((to - from) * blockAlign_);
    std::vector<std::uint8_t>& pending = resampler_->pending;
    const std::size_t take = std::min(wanted, pending.size());
    out.assign(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(take));
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(take));
    // The resampler may give a few frames less than the track's length at the rate: silence makes up
    // the difference (the middle of the range for 8-bit sound, zero for 16-bit).
    out.resize(wanted, format_.wBitsPerSample == 8 ? 0x80 : 0x00);
    position_ = to;
}

} // namespace quolva::publish
