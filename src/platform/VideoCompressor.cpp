#include "platform/VideoCompressor.h"

#include "platform/Prompts.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <QStringList>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <vector>

namespace quolva::platform {
namespace {

using store::mmioFOURCC;

// One compressor of the list and the pixel layout its encoder is fed with: RGB layouts for the
// lossless ones and the palette-like ones, 4:2:0 for the video codecs that players expect in it. MPEG-4
// part 2 writes its time base in 16-bit fields and refuses larger terms; the others take any.
struct CompressorEntry {
    VideoCompressorInfo info;
    AVPixelFormat pixelFormat;
    int largestTimeBaseTerm = INT_MAX;
};

const std::vector<CompressorEntry>& compressorTable()
{
    static const std::vector<CompressorEntry> table = [] {
        const auto entry = [](const char* key, const char* description, const char* encoder, FOURCC fourcc,
                              AVPixelFormat pixelFormat, bool quality, bool keyFrames, bool dataRate, bool lossless,
                              LONG defaultQuality, LONG defaultKeyFrameRate, int largestTimeBaseTerm = INT_MAX) {
            CompressorEntry e;
            e.info.key = QString::fromLatin1(key);
            e.info.description = QString::fromUtf8(description);
            e.info.encoderName = QString::fromLatin1(encoder);
            e.info.fccHandler = fourcc;
            e.info.quality = quality;
            e.info.keyFrames = keyFrames;
            e.info.dataRate = dataRate;
            e.info.lossless = lossless;
            e.info.defaultQuality = quality ? defaultQuality : ICQUALITY_DEFAULT;
            e.info.defaultKeyFrameRate = defaultKeyFrameRate;
            e.pixelFormat = pixelFormat;
            e.largestTimeBaseTerm = largestTimeBaseTerm;
            return e;
        };
        return std::vector<CompressorEntry>{
            entry("h264", "H.264 (x264)", "libx264", mmioFOURCC('H', '2', '6', '4'), AV_PIX_FMT_YUV420P, true, true,
                  true, false, 5700, 100),
            entry("mpeg4", "MPEG-4 Part 2", "mpeg4", mmioFOURCC('F', 'M', 'P', '4'), AV_PIX_FMT_YUV420P, true, true,
                  true, false, 7500, 50, 65535),
            entry("mjpeg", "Motion JPEG", "mjpeg", mmioFOURCC('M', 'J', 'P', 'G'), AV_PIX_FMT_YUVJ420P, true, false,
                  true, false, 7500, 1),
            entry("cinepak", "Cinepak Codec", "cinepak", mmioFOURCC('c', 'v', 'i', 'd'), AV_PIX_FMT_RGB24, true, true,
                  false, false, 7500, 15),
            entry("msvideo1", "Microsoft Video 1", "msvideo1", mmioFOURCC('C', 'R', 'A', 'M'), AV_PIX_FMT_RGB555LE,
                  false, true, false, false, ICQUALITY_DEFAULT, 15),
            entry("zmbv", "Zip Motion Blocks Video (无损)", "zmbv", mmioFOURCC('Z', 'M', 'B', 'V'), AV_PIX_FMT_BGR0,
                  false, true, false, true, ICQUALITY_DEFAULT, 50),
            entry("ffv1", "FFV1 (无损)", "ffv1", mmioFOURCC('F', 'F', 'V', '1'), AV_PIX_FMT_BGR0, false, true, false,
                  true, ICQUALITY_DEFAULT, 50),
            entry("utvideo", "Ut Video (无损)", "utvideo", mmioFOURCC('U', 'L', 'R', 'G'), AV_PIX_FMT_GBRP, false,
                  false, false, true, ICQUALITY_DEFAULT, 1),
            entry("huffyuv", "Huffyuv (无损)", "huffyuv", mmioFOURCC('H', 'F', 'Y', 'U'), AV_PIX_FMT_RGB24, false,
                  false, false, true, ICQUALITY_DEFAULT, 1),
        };
    }();
    return table;
}

const CompressorEntry* entryFor(FOURCC fourcc)
{
    for (const CompressorEntry& entry : compressorTable())
        if (entry.info.fccHandler == fourcc && avcodec_find_encoder_by_name(qPrintable(entry.info.encoderName)))
            return &entry;
    return nullptr;
}

// While an encoder is being opened on this thread, the errors it logs are kept here instead of printed:
// they are the cause of its refusal.
thread_local QStringList* refusalLog = nullptr;

void encoderLog(void* object, int level, const char* format, va_list arguments)
{
    if (refusalLog == nullptr || level > AV_LOG_ERROR)
        return av_log_default_callback(object, level, format, arguments);
    char line[1024];
    std::vsnprintf(line, sizeof line, format, arguments);
    const QString text = QString::fromUtf8(line).trimmed();
    if (!text.isEmpty())
        refusalLog->append(text);
}

// The encoders' statistics and notes would fill the console of every export; their errors stay.
void quietEncoders()
{
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_ERROR);
        av_log_set_callback(encoderLog);
        return true;
    }();
    (void)quiet;
}

QString avErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

// Opens the encoder; on a refusal `refusal` holds what the encoder said, or the error's text.
int openEncoder(AVCodecContext* context, const AVCodec* codec, QString& refusal)
{
    QStringList said;
    refusalLog = &said;
    const int opened = avcodec_open2(context, codec, nullptr);
    refusalLog = nullptr;
    if (opened < 0)
        refusal = said.isEmpty() ? QStringLiteral("the encoder %1 refused to start: %2")
                                       .arg(QString::fromUtf8(codec->name), avErrorText(opened))
                                 : said.join(QStringLiteral("; "));
    return opened;
}

// The encoder's time base (seconds per frame, scale ÷ rate): exact where its terms fit the encoder,
// else the nearest fraction whose terms do. Only the encoder counts in it (its rate control, the
// stream's own timing fields); the AVI stream keeps the exact rate.
AVRational encoderTimeBase(DWORD rate, DWORD scale, int largestTerm)
{
    AVRational timeBase{0, 1};
    av_reduce(&timeBase.num, &timeBase.den, scale, rate, largestTerm);
    if (timeBase.num == 0) // faster than the terms can say: the fastest they can
        timeBase = AVRational{1, largestTerm};
    return timeBase;
}

// A quality of 0 to 10000 as an MPEG quantiser from 31 (worst) to 1 (best), finer at the good end.
double quantiserFor(LONG quality)
{
    const double worse = (ICQUALITY_HIGH - quality) / double(ICQUALITY_HIGH);
    return 1.0 + 30.0 * worse * worse;
}

// A quality of 0 to 10000 as an x264 constant rate factor from 40 down to 10 (5700 gives x264's 23).
double rateFactorFor(LONG quality)
{
    return 40.0 - 30.0 * quality / double(ICQUALITY_HIGH);
}

std::vector<std::uint8_t> headerBytes(const BITMAPINFOHEADER& header, const std::uint8_t* extra, int extraSize)
{
    std::vector<std::uint8_t> bytes(sizeof header + static_cast<std::size_t>(std::max(0, extraSize)));
    std::memcpy(bytes.data(), &header, sizeof header);
    if (extraSize > 0)
        std::memcpy(bytes.data() + sizeof header, extra, static_cast<std::size_t>(extraSize));
    return bytes;
}

// The output format before the encoder is open: the size, the FOURCC, room for a frame.
BITMAPINFOHEADER provisionalOutput(const VideoCompressorInfo& info, const BITMAPINFOHEADER& in)
{
    BITMAPINFOHEADER out{};
    out.biSize = sizeof out;
    out.biWidth = in.biWidth;
    out.biHeight = std::abs(in.biHeight);
    out.biPlanes = 1;
    out.biBitCount = 24;
    out.biCompression = info.fccHandler;
    out.biSizeImage = static_cast<DWORD>(std::int64_t{out.biWidth} * out.biHeight * 3);
    return out;
}

} // namespace

// The open compressor and the sequence running on it.
class VideoCompressorHandle {
public:
    explicit VideoCompressorHandle(const CompressorEntry& entry) : entry_(entry) {}
    ~VideoCompressorHandle() { End(); }
    VideoCompressorHandle(const VideoCompressorHandle&) = delete;
    VideoCompressorHandle& operator=(const VideoCompressorHandle&) = delete;

    const VideoCompressorInfo& info() const { return entry_.info; }
    const QString& refusal() const { return refusal_; }

    bool Start(COMPVARS& pc, const BITMAPINFOHEADER& in, DWORD rate, DWORD scale);
    const void* Compress(COMPVARS& pc, const void* bits, bool* key, LONG* size);
    const void* Flush(COMPVARS& pc, bool* key, LONG* size);
    void End();
    bool Running() const { return context_ != nullptr; }

private:
    [[noreturn]] void Fail(const char* what, int code) const;
    void Drain();
    const void* HandBack(COMPVARS& pc, bool* key, LONG* size);
    int AllocateFrame();

    const CompressorEntry& entry_;
    AVCodecContext* context_ = nullptr;
    SwsContext* scaler_ = nullptr;
    AVFrame* frame_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    // The converter averages pairs of columns (and rows) into one chroma sample, and for an odd side it
    // reads one pixel past the picture: such a frame is converted at even sides from a copy whose last
    // column and row are repeated.
    int convertedWidth_ = 0;
    int convertedHeight_ = 0;
    std::vector<std::uint8_t> evenCopy_; // top-down B, G, R rows of the converted size, when they differ
    bool flushed_ = false;
    QString refusal_; // why the last start refused
    std::deque<AVPacket*> ready_;   // compressed, not yet handed back, in order
    AVPacket* handedBack_ = nullptr; // the packet the caller's data pointer points into
};

void VideoCompressorHandle::Fail(const char* what, int code) const
{
    throw VideoCompressorError(QStringLiteral("视频压缩器 %1 (%2) %3失败：%4")
                                   .arg(entry_.info.description, FourccText(entry_.info.fccHandler),
                                        QString::fromUtf8(what), avErrorText(code))
                                   .toStdString());
}

bool VideoCompressorHandle::Start(COMPVARS& pc, const BITMAPINFOHEADER& in, DWORD rate, DWORD scale)
{
    End();
    refusal_.clear();
    const auto refuse = [this](const QString& why) {
        refusal_ = why;
        return false;
    };
    if (in.biBitCount != 24 || in.biCompression != store::BI_RGB || in.biPlanes != 1)
        return refuse(QStringLiteral("the frames are not 24-bit uncompressed bitmaps (%1 bits, compression %2)")
                          .arg(in.biBitCount)
                          .arg(in.biCompression));
    if (in.biWidth <= 0 || in.biHeight <= 0 || std::int64_t{in.biWidth} * in.biHeight > (std::int64_t{1} << 28))
        return refuse(QStringLiteral("frames of %1 × %2 pixels are not a size it takes").arg(in.biWidth).arg(in.biHeight));
    const AVCodec* codec = avcodec_find_encoder_by_name(qPrintable(entry_.info.encoderName));
    if (!codec)
        return refuse(QStringLiteral("this libavcodec has no encoder %1").arg(entry_.info.encoderName));
    if (rate == 0 || scale == 0) {
        rate = 15;
        scale = 1;
    }

    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (!context)
        return refuse(avErrorText(AVERROR(ENOMEM)));
    context->width = in.biWidth;
    context->height = in.biHeight;
    context->pix_fmt = entry_.pixelFormat;
    context->time_base = encoderTimeBase(rate, scale, entry_.largestTimeBaseTerm);
    context->framerate = av_inv_q(context->time_base);
    // Frames come back in the order they went in: no B-frames, so the AVI chunks follow the frames.
    context->max_b_frames = 0;
    // As many threads as the machine has, as the ffmpeg program uses by default.
    context->thread_count = 0;
    if (pc.lKey > 0 && entry_.info.keyFrames) {
        context->gop_size = pc.lKey;
        context->keyint_min = pc.lKey;
    }
    const bool x264 = entry_.info.encoderName == QLatin1String("libx264");
    if (x264)
        av_opt_set(context->priv_data, "preset", "veryfast", 0);
    if (pc.lDataRate > 0 && entry_.info.dataRate) {
        context->bit_rate = std::int64_t{pc.lDataRate} * 1024 * 8;
    } else if (entry_.info.quality) {
        const LONG quality = pc.lQ < 0 ? entry_.info.defaultQuality : std::min(pc.lQ, ICQUALITY_HIGH);
        if (x264) {
            av_opt_set_double(context->priv_data, "crf", rateFactorFor(quality), 0);
        } else {
            context->flags |= AV_CODEC_FLAG_QSCALE;
            context->global_quality = static_cast<int>(std::lround(FF_QP2LAMBDA * quantiserFor(quality)));
        }
    }
    // The encoders refuse what they cannot take (odd sizes for 4:2:0, sizes not a multiple of 4 for
    // Cinepak and Microsoft Video 1) when they are opened; what they say is the refusal's cause.
    if (openEncoder(context, codec, refusal_) < 0) {
        avcodec_free_context(&context);
        return false;
    }
    context_ = context;
    width_ = in.biWidth;
    height_ = in.biHeight;
    stride_ = (in.biWidth * 3 + 3) / 4 * 4;
    const AVPixFmtDescriptor* layout = av_pix_fmt_desc_get(entry_.pixelFormat);
    convertedWidth_ = layout && layout->log2_chroma_w > 0 ? (width_ + 1) / 2 * 2 : width_;
    convertedHeight_ = layout && layout->log2_chroma_h > 0 ? (height_ + 1) / 2 * 2 : height_;
    evenCopy_.clear();
    if (convertedWidth_ != width_ || convertedHeight_ != height_)
        evenCopy_.resize(static_cast<std::size_t>(convertedWidth_) * 3 * static_cast<std::size_t>(convertedHeight_));
    scaler_ = sws_getContext(convertedWidth_, convertedHeight_, AV_PIX_FMT_BGR24, convertedWidth_, convertedHeight_,
                             entry_.pixelFormat, SWS_BICUBIC, nullptr, nullptr, nullptr);
    frame_ = av_frame_alloc();
    if (!scaler_ || !frame_) {
        End();
        return refuse(QStringLiteral("no pixel conversion to %1").arg(QString::fromUtf8(av_get_pix_fmt_name(entry_.pixelFormat))));
    }
    if (const int allocated = AllocateFrame(); allocated < 0) {
        End();
        return refuse(avErrorText(allocated));
    }
    flushed_ = false;

    BITMAPINFOHEADER out = provisionalOutput(entry_.info, in);
    if (context->codec_tag != 0)
        out.biCompression = context->codec_tag; // Ut Video names its pixel layout
    if (context->bits_per_coded_sample > 0)
        out.biBitCount = static_cast<store::WORD>(context->bits_per_coded_sample);
    out.biSize = static_cast<DWORD>(sizeof out + std::max(0, context->extradata_size));
    pc.lpbiOut = headerBytes(out, context->extradata, context->extradata_size);
    pc.lpbiIn = in;
    pc.lFrame = 0;
    pc.lKeyCount = 0;
    return true;
}

void VideoCompressorHandle::Drain()
{
    for (;;) {
        AVPacket* packet = av_packet_alloc();
        if (!packet)
            Fail("取帧", AVERROR(ENOMEM));
        const int result = avcodec_receive_packet(context_, packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
            av_packet_free(&packet);
            return;
        }
        if (result < 0) {
            av_packet_free(&packet);
            Fail("压缩", result);
        }
        ready_.push_back(packet);
    }
}

const void* VideoCompressorHandle::HandBack(COMPVARS& pc, bool* key, LONG* size)
{
    av_packet_free(&handedBack_);
    if (ready_.empty()) {
        if (key)
            *key = false;
        if (size)
            *size = 0;
        return nullptr;
    }
    handedBack_ = ready_.front();
    ready_.pop_front();
    const bool isKey = (handedBack_->flags & AV_PKT_FLAG_KEY) != 0;
    pc.lKeyCount = isKey ? 0 : pc.lKeyCount + 1;
    if (key)
        *key = isKey;
    if (size)
        *size = handedBack_->size;
    return handedBack_->data;
}

const void* VideoCompressorHandle::Compress(COMPVARS& pc, const void* bits, bool* key, LONG* size)
{
    if (!context_ || flushed_)
        throw VideoCompressorError("ICSeqCompressFrame: no sequence started");
    if (!av_frame_is_writable(frame_)) { // the encoder still holds the last frame's pixels
        av_frame_unref(frame_);
        if (const int allocated = AllocateFrame(); allocated < 0)
            Fail("取帧缓冲", allocated);
    }
    // The DIB's bottom row comes first: start at the top row, at the end of the bits, and step back.
    const std::uint8_t* top = static_cast<const std::uint8_t*>(bits) + std::ptrdiff_t{stride_} * (height_ - 1);
    int sourceStride = -stride_;
    if (!evenCopy_.empty()) {
        const std::size_t rowBytes = static_cast<std::size_t>(convertedWidth_) * 3;
        for (int y = 0; y < convertedHeight_; ++y) {
            std::uint8_t* row = evenCopy_.data() + y * rowBytes;
            const std::uint8_t* from = top - std::ptrdiff_t{stride_} * std::min(y, height_ - 1);
            std::memcpy(row, from, static_cast<std::size_t>(width_) * 3);
            if (convertedWidth_ > width_)
                std::memcpy(row + width_ * 3, row + (width_ - 1) * 3, 3);
        }
        top = evenCopy_.data();
        sourceStride = static_cast<int>(rowBytes);
    }
    sws_scale(scaler_, &top, &sourceStride, 0, convertedHeight_, frame_->data, frame_->linesize);
    frame_->pts = pc.lFrame++;
    // With a fixed quantiser the MPEG-style encoders take it from each frame, not from the context.
    if (context_->flags & AV_CODEC_FLAG_QSCALE)
        frame_->quality = context_->global_quality;
    const int sent = avcodec_send_frame(context_, frame_);
    if (sent < 0)
        Fail("压缩", sent);
    Drain();
    return HandBack(pc, key, size);
}

const void* VideoCompressorHandle::Flush(COMPVARS& pc, bool* key, LONG* size)
{
    if (!context_)
        throw VideoCompressorError("ICSeqCompressFrameFlush: no sequence started");
    if (!flushed_) {
        flushed_ = true;
        const int sent = avcodec_send_frame(context_, nullptr);
        if (sent < 0 && sent != AVERROR_EOF)
            Fail("结束压缩", sent);
        Drain();
    }
    return HandBack(pc, key, size);
}

// The encoder's frame, with room for the converted size; the encoder is told the picture's own.
int VideoCompressorHandle::AllocateFrame()
{
    frame_->format = entry_.pixelFormat;
    frame_->width = convertedWidth_;
    frame_->height = convertedHeight_;
    const int allocated = av_frame_get_buffer(frame_, 0);
    frame_->width = width_;
    frame_->height = height_;
    return allocated;
}

void VideoCompressorHandle::End()
{
    for (AVPacket* packet : ready_)
        av_packet_free(&packet);
    ready_.clear();
    av_packet_free(&handedBack_);
    av_frame_free(&frame_);
    sws_freeContext(scaler_);
    scaler_ = nullptr;
    avcodec_free_context(&context_);
}

const QList<VideoCompressorInfo>& InstalledVideoCompressors()
{
    static const QList<VideoCompressorInfo> installed = [] {
        QList<VideoCompressorInfo> list;
        for (const CompressorEntry& entry : compressorTable())
            if (avcodec_find_encoder_by_name(qPrintable(entry.info.encoderName)))
                list.append(entry.info);
        return list;
    }();
    return installed;
}

const VideoCompressorInfo* FindVideoCompressor(const QString& keyOrFourcc)
{
    for (const VideoCompressorInfo& info : InstalledVideoCompressors())
        if (keyOrFourcc.compare(info.key, Qt::CaseInsensitive) == 0 ||
            keyOrFourcc.compare(FourccText(info.fccHandler), Qt::CaseInsensitive) == 0 ||
            keyOrFourcc.compare(info.encoderName, Qt::CaseInsensitive) == 0)
            return &info;
    return nullptr;
}

QString FourccText(FOURCC fourcc)
{
    QString text;
    for (int i = 0; i < 4; ++i)
        text += QLatin1Char(static_cast<char>((fourcc >> (8 * i)) & 0xFF));
    return text;
}

const BITMAPINFOHEADER* OutputFormat(const COMPVARS& pc)
{
    if (pc.lpbiOut.size() < sizeof(BITMAPINFOHEADER))
        return nullptr;
    return reinterpret_cast<const BITMAPINFOHEADER*>(pc.lpbiOut.data());
}

bool ICCompressorChoose(QWidget* hwnd, UINT uiFlags, const BITMAPINFOHEADER* pvIn, const void* /*lpData*/,
                        COMPVARS* pc, const QString& lpszTitle)
{
    if (!pc || pc->cbSize != kCompVarsSize)
        return false;
    const QList<VideoCompressorInfo>& offered = InstalledVideoCompressors();
    if (offered.isEmpty())
        return false;

    // The chooser starts at the compressor chosen before, with its settings, or at the first one.
    VideoCompressorChoice initial;
    const VideoCompressorInfo* before = (pc->dwFlags & ICMF_COMPVARS_VALID) ? FindVideoCompressor(FourccText(pc->fccHandler)) : nullptr;
    if (before) {
        initial.index = int(offered.indexOf(*before));
        initial.quality = pc->lQ;
        initial.keyFrameEvery = pc->lKey;
        initial.dataRate = pc->lDataRate;
    } else {
        initial.quality = offered.front().defaultQuality;
        initial.keyFrameEvery = offered.front().defaultKeyFrameRate;
    }

    const std::optional<VideoCompressorChoice> choice =
        prompts().chooseVideoCompressor(hwnd, lpszTitle, uiFlags, offered, initial);
    if (!choice || choice->index < 0 || choice->index >= offered.size())
        return false;
    const VideoCompressorInfo& chosen = offered.at(choice->index);
    HIC hic = ICOpen(ICTYPE_VIDEO, chosen.fccHandler, ICMODE_COMPRESS);
    if (!hic)
        return false;

    ICCompressorFree(pc);
    pc->dwFlags = ICMF_COMPVARS_VALID;
    pc->hic = std::move(hic);
    pc->fccType = ICTYPE_VIDEO;
    pc->fccHandler = chosen.fccHandler;
    pc->lQ = chosen.quality ? std::clamp(choice->quality, ICQUALITY_DEFAULT, ICQUALITY_HIGH) : ICQUALITY_DEFAULT;
    pc->lKey = (uiFlags & ICMF_CHOOSE_KEYFRAME) && chosen.keyFrames ? std::max<LONG>(0, choice->keyFrameEvery)
                                                                      : chosen.defaultKeyFrameRate;
    pc->lDataRate = (uiFlags & ICMF_CHOOSE_DATARATE) && chosen.dataRate ? std::max<LONG>(0, choice->dataRate) : 0;
    if (pvIn) {
        pc->lpbiIn = *pvIn;
        pc->lpbiOut = headerBytes(provisionalOutput(chosen, *pvIn), nullptr, 0);
    }
    return true;
}

HIC ICOpen(DWORD fccType, DWORD fccHandler, UINT wMode)
{
    if (fccType != ICTYPE_VIDEO || wMode != ICMODE_COMPRESS)
        return nullptr;
    const CompressorEntry* entry = entryFor(fccHandler);
    if (!entry)
        return nullptr;
    quietEncoders();
    return std::make_shared<VideoCompressorHandle>(*entry);
}

bool ICSeqCompressFrameStart(COMPVARS* pc, const BITMAPINFOHEADER* lpbi, DWORD rate, DWORD scale)
{
    if (!pc || !pc->hic || !lpbi)
        return false;
    return pc->hic->Start(*pc, *lpbi, rate, scale);
}

QString StartRefusal(const COMPVARS& pc)
{
    if (!pc.hic)
        return QStringLiteral("no compressor is chosen");
    return pc.hic->refusal();
}

const void* ICSeqCompressFrame(COMPVARS* pc, UINT /*uiFlags*/, const void* lpBits, bool* pfKey, LONG* plSize)
{
    if (!pc || !pc->hic || !lpBits)
        throw VideoCompressorError("ICSeqCompressFrame: no compressor or no frame");
    return pc->hic->Compress(*pc, lpBits, pfKey, plSize);
}

const void* ICSeqCompressFrameFlush(COMPVARS* pc, bool* pfKey, LONG* plSize)
{
    if (!pc || !pc->hic)
        throw VideoCompressorError("ICSeqCompressFrameFlush: no compressor");
    return pc->hic->Flush(*pc, pfKey, plSize);
}

void ICSeqCompressFrameEnd(COMPVARS* pc)
{
    if (pc && pc->hic)
        pc->hic->End();
}

void ICCompressorFree(COMPVARS* pc)
{
    if (!pc)
        return;
    ICSeqCompressFrameEnd(pc);
    const LONG size = pc->cbSize;
    *pc = COMPVARS{};
    pc->cbSize = size;
}

} // namespace quolva::platform
