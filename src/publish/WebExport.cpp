#include "publish/WebExport.h"

#include "editor/OpenRecording.h"
#include "publish/FramesDecodedAhead.h"
#include "publish/Recycler.h"
#include "publish/Yuv420Frame.h"
#include "store/AviFileServices.h"
#include "store/Jpeg.h"
#include "store/OutputFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quolva::publish {
namespace {

// Every encoded sound track has this rate: Opus knows no other, and AAC takes it as it comes.
constexpr int kSoundRate = 48000;
// Source sample frames read from the recording's sound at a time.
constexpr std::int64_t kSoundChunk = 8192;
constexpr store::LONG kLongMax = std::numeric_limits<store::LONG>::max();
__extension__ typedef __int128 i128; // products of frame numbers, time base terms and rates

// Defaults that keep screen text sharp: x264's CRF 18 is near the eye's threshold; VP9's 32 with its
// screen-content tuning is the usual web setting; a GIF's palette takes all 256 colours.
constexpr int kDefaultH264Crf = 18;
constexpr int kDefaultVp9Crf = 32;
constexpr int kDefaultGifColours = 256;

std::string avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::string quoted(const QString& path)
{
    return "\"" + path.toStdString() + "\"";
}

struct PacketFree { void operator()(AVPacket* p) const { av_packet_free(&p); } };
struct CodecFree { void operator()(AVCodecContext* c) const { avcodec_free_context(&c); } };
struct GraphFree { void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); } };
struct SwrFree { void operator()(SwrContext* s) const { swr_free(&s); } };
struct FifoFree { void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); } };
using FramePtr = AvFramePtr;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFree>;
using GraphPtr = std::unique_ptr<AVFilterGraph, GraphFree>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFree>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoFree>;

// A filter chain from one or more buffer sources to one buffer sink, given in libavfilter's words.
struct FilterChain {
    GraphPtr graph;
    std::vector<AVFilterContext*> sources;
    AVFilterContext* sink = nullptr;
};

} // namespace

struct WebExport::State {
    QString outputPath;
    std::string targetPath; // where the movie goes (a link's target)
    std::string partPath;
    // Declared before the decoders: they outlive their threads.
    Recycler<QImage> sparePictures;
    Recycler<FramePtr> spareFrames;
    // The frames, decoded on every core ahead of the encoder, in order: pictures for a GIF's filters (which
    // read them twice), or frames in the video encoder's own layout.
    std::optional<FramesDecodedAhead<QImage>> pictures;
    std::optional<FramesDecodedAhead<FramePtr>> videoFrames;
    int width = 0, height = 0;
    std::int32_t frames = 0; // N
    std::int32_t frameIndex = 0;
    bool palettePass = false; // a GIF's first pass
    bool draining = false;    // every frame is in: what the encoder holds comes out, a packet a step

    AVFormatContext* format = nullptr;
    bool fileOpen = false;
    bool headerWritten = false;
    CodecPtr video;
    AVStream* videoStream = nullptr;
    FilterChain mapping; // a GIF's frames onto its palette
    FilterChain palette;
    FramePtr paletteFrame;

    // The sound: the chosen AVI stream, read in sample frames of blockAlign bytes.
    store::PAVISTREAM sound;
    store::WAVEFORMATEX soundFormat{};
    std::int64_t soundSampleSize = 1;
    std::int64_t soundFrames = 0; // in the stream
    std::int64_t soundRead = 0;
    bool soundFlushed = false;
    CodecPtr audio;
    AVStream* audioStream = nullptr;
    SwrPtr resampler;
    FifoPtr fifo;
    std::int64_t audioPts = 0; // sample frames given to the encoder

    PacketPtr packet{av_packet_alloc()};

    ~State()
    {
        if (format) {
            if (fileOpen)
                avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }
};

const QString WebExport::kActivity = QStringLiteral("导出网络视频");

QString WebFormatExtension(WebFormat format)
{
    switch (format) {
    case WebFormat::Mp4: return QStringLiteral("mp4");
    case WebFormat::WebM: return QStringLiteral("webm");
    case WebFormat::Gif: return QStringLiteral("gif");
    }
    return {};
}

QString WebFormatName(WebFormat format)
{
    switch (format) {
    case WebFormat::Mp4: return QStringLiteral("MP4 (H.264)");
    case WebFormat::WebM: return QStringLiteral("WebM (VP9)");
    case WebFormat::Gif: return QStringLiteral("GIF");
    }
    return {};
}

WebExport::WebExport(editor::OpenRecording& recording, WebSettings settings)
    : recording_(recording), settings_(settings)
{
}

WebExport::~WebExport()
{
    Cancel();
}

std::int64_t WebExport::GifStart(std::int64_t k, const VideoTimeBase& timeBase)
{
    // round(100·k·scale / rate) in whole numbers: (2·100·k·scale + rate) ÷ (2·rate).
    const i128 numerator = static_cast<i128>(200) * k * timeBase.scale + timeBase.rate;
    return static_cast<std::int64_t>(numerator / (static_cast<i128>(2) * timeBase.rate));
}

int WebExport::H264Crf(int quality)
{
    return quality < 0 ? kDefaultH264Crf : static_cast<int>(std::lround(51.0 * (100 - std::min(quality, 100)) / 100));
}

int WebExport::Vp9Crf(int quality)
{
    return quality < 0 ? kDefaultVp9Crf : static_cast<int>(std::lround(63.0 * (100 - std::min(quality, 100)) / 100));
}

int WebExport::GifColours(int quality)
{
    // palettegen keeps one entry for transparency, which the GIF encoder uses for unchanged pixels.
    return quality < 0 ? kDefaultGifColours : 4 + static_cast<int>(std::lround(252.0 * std::min(quality, 100) / 100));
}

namespace {

void check(int result, const std::string& what)
{
    if (result < 0)
        throw PublishError(what + "：" + avError(result));
}

// Buffer sources of the given arguments, joined by `description` ("[in0]...[in1]...[out]"), into a sink.
FilterChain makeChain(const std::vector<std::string>& sourceArguments, const std::string& description)
{
    FilterChain chain;
    chain.graph.reset(avfilter_graph_alloc());
    if (!chain.graph)
        throw std::bad_alloc();
    AVFilterInOut* outputs = nullptr;
    for (std::size_t i = 0; i < sourceArguments.size(); ++i) {
        AVFilterContext* source = nullptr;
        const std::string name = "in" + std::to_string(i);
        check(avfilter_graph_create_filter(&source, avfilter_get_by_name("buffer"), name.c_str(),
                                           sourceArguments[i].c_str(), nullptr, chain.graph.get()),
              "无法建立画面处理");
        chain.sources.push_back(source);
        AVFilterInOut* link = avfilter_inout_alloc();
        link->name = av_strdup(name.c_str());
        link->filter_ctx = source;
        link->pad_idx = 0;
        link->next = outputs;
        outputs = link;
    }
    check(avfilter_graph_create_filter(&chain.sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                       chain.graph.get()),
          "无法建立画面处理");
    AVFilterInOut* inputs = avfilter_inout_alloc();
    inputs->name = av_strdup("out");
    inputs->filter_ctx = chain.sink;
    inputs->pad_idx = 0;
    inputs->next = nullptr;
    int result = avfilter_graph_parse_ptr(chain.graph.get(), description.c_str(), &inputs, &outputs, nullptr);
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    check(result, "无法建立画面处理 \"" + description + "\"");
    check(avfilter_graph_config(chain.graph.get(), nullptr), "无法建立画面处理 \"" + description + "\"");
    return chain;
}

std::string sourceArguments(int width, int height, AVPixelFormat pixels, AVRational timeBase)
{
    return "video_size=" + std::to_string(width) + "x" + std::to_string(height) + ":pix_fmt=" +
           std::to_string(pixels) + ":time_base=" + std::to_string(timeBase.num) + "/" +
           std::to_string(timeBase.den) + ":pixel_aspect=1/1";
}

// A frame of the recording as a 32-bit picture of the movie's size (cut or filled out with black, as
// the AVI export does), in the pixel layout of the filter's source: blue, green, red, alpha.
FramePtr pictureFrame(const QImage& picture, int width, int height, std::int64_t pts)
{
    QImage source = picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32
                        ? picture
                        : picture.convertToFormat(QImage::Format_RGB32);
    if (source.width() != width || source.height() != height)
        source = source.copy(0, 0, width, height);
    FramePtr frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_BGRA;
    frame->width = width;
    frame->height = height;
    check(av_frame_get_buffer(frame.get(), 0), "内存不足");
    for (int y = 0; y < height; ++y)
        std::memcpy(frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0], source.constScanLine(y),
                    static_cast<std::size_t>(width) * 4);
    frame->pts = pts;
    return frame;
}

void setOption(void* object, const char* name, const std::string& value)
{
    check(av_opt_set(object, name, value.c_str(), 0), std::string("编码器不接受设置 ") + name + "=" + value);
}

} // namespace

FramePtr WebExport::NextFrame(std::int64_t pts)
{
    State& s = *state_;
    if (s.videoFrames) {
        std::optional<FramePtr> frame = s.videoFrames->Next();
        if (!frame)
            return nullptr;
        (*frame)->pts = pts;
        return std::move(*frame);
    }
    std::optional<QImage> picture = s.pictures->Next();
    if (!picture)
        return nullptr;
    FramePtr frame = pictureFrame(*picture, s.width, s.height, pts);
    s.sparePictures.Give(std::move(*picture)); // its pixels are in the frame now
    return frame;
}

void WebExport::OpenSource()
{
    State& s = *state_;
    const QString path = recording_.FrameStorePath();
    if (settings_.format == WebFormat::Gif) {
        s.pictures.emplace(recording_.OpenReader(), s.frames,
                           [path, &spare = s.sparePictures](const store::FrameRecord& record) {
                               return editor::DecodeFramePicture(record, path, spare.Take());
                           });
        return;
    }
    const Yuv420Size size{s.width, s.height, s.video->width, s.video->height};
    s.videoFrames.emplace(recording_.OpenReader(), s.frames,
                          [path, size, &spare = s.spareFrames](const store::FrameRecord& record) {
                              return DecodeToYuv420(record, path, size, spare.Take());
                          });
}

void WebExport::Start(const QString& outputPath)
{
    if (state_)
        throw std::logic_error("WebExport::Start while running");
    if (!recording_.IsOpen())
        throw PublishError("没有打开的录制，无法导出网络视频");
    try {
        recording_.Hold(kActivity, [this] { Cancel(); });
    } catch (const editor::RecordingBusy&) {
        throw PublishError(recording_.BusyMessage().toStdString());
    }
    holding_ = true;
    // The encoders' own notes would mix with the program's output; their errors still show.
    av_log_set_level(AV_LOG_ERROR);
    done_ = 0;
    framesWritten_ = 0;
    soundSeconds_ = 0;
    state_ = std::make_unique<State>();
    State& s = *state_;
    s.outputPath = outputPath;
    try {
        const editor::PublishHandOver handOver = recording_.HandOver();
        s.frames = handOver.frameCount;
        timeBase_ = ExactVideoTimeBase(handOver.frameCount, handOver.soundLength, handOver.soundRate);
        if (s.frames <= 0)
            throw PublishError("没有可以导出的帧");

        // The output: never the recording itself; the part file beside where it goes.
        const QFileInfo output(outputPath);
        if (outputPath.isEmpty() || output.fileName().isEmpty())
            throw PublishError("无法创建文件 " + quoted(outputPath) + "：没有文件名");
        for (const QString& own : {recording_.TargetPath(), recording_.FrameStorePath()})
            if (output.exists() && output.canonicalFilePath() == QFileInfo(own).canonicalFilePath())
                throw PublishError("无法导出网络视频：输出文件 " + quoted(outputPath) + " 是正在导出的录制文件本身");
        store::OutputTarget target = store::ResolveOutputTarget(QFile::encodeName(output.absoluteFilePath()).toStdString());
        s.targetPath = target.path;
        if (target.exists && ::access(target.path.c_str(), W_OK) != 0)
            throw PublishError("无法写入文件 " + quoted(outputPath) + "：" + std::strerror(errno));
        for (int attempt = 0; s.partPath.empty(); ++attempt) {
            const std::string part =
                target.folder + "/" + store::PartFileName(target, std::to_string(::getpid()) + "-" + std::to_string(attempt));
            const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && (errno != EEXIST || attempt > 100))
                throw PublishError("无法创建文件 " + quoted(outputPath) + "：" + std::strerror(errno));
            if (fd >= 0) {
                if (target.exists)
                    ::fchmod(fd, target.mode & 07777);
                ::close(fd);
                s.partPath = part;
            }
        }

        // The first frame gives the movie its size.
        const std::optional<store::FrameRecord> first = recording_.OpenReader().NextRecord();
        if (!first)
            throw PublishError("没有可以导出的帧");
        const store::JpegDimensions size =
            store::ReadJpegDimensions(first->jpeg, editor::DescribeFrameRecord(*first, recording_.FrameStorePath()));
        s.width = size.width;
        s.height = size.height;

        const char* const muxer = settings_.format == WebFormat::Mp4    ? "mp4"
                                  : settings_.format == WebFormat::WebM ? "webm"
                                                                        : "gif";
        check(avformat_alloc_output_context2(&s.format, nullptr, muxer, ("file:" + s.partPath).c_str()),
              "无法导出网络视频");
        if (settings_.format == WebFormat::Gif)
            StartGif();
        else
            StartVideo();
        if (settings_.format != WebFormat::Gif && settings_.track != WebSettings::kNoSound)
            StartSound();
        OpenSource();

        // Opus's first packet starts before 0 by its encoder delay, which the WebM track declares; shifting
        // every stream to make it non-negative would start the frames late.
        if (settings_.format == WebFormat::WebM)
            s.format->avoid_negative_ts = AVFMT_AVOID_NEG_TS_DISABLED;
        int opened = avio_open(&s.format->pb, s.format->url, AVIO_FLAG_WRITE);
        if (opened < 0)
            throw PublishError("无法创建文件 " + quoted(outputPath) + "：" + avError(opened));
        s.fileOpen = true;
        AVDictionary* options = nullptr;
        if (settings_.format == WebFormat::Mp4)
            av_dict_set(&options, "movflags", "+faststart", 0); // the index first: plays while it downloads
        const int header = avformat_write_header(s.format, &options);
        av_dict_free(&options);
        if (header < 0)
            throw PublishError("无法写入文件 " + quoted(outputPath) + "：" + avError(header));
        s.headerWritten = true;
        total_ = settings_.format == WebFormat::Gif ? 2 * std::int64_t{s.frames} : s.frames;
    } catch (const PublishError&) {
        Cancel();
        throw;
    } catch (const store::StoreError& failure) {
        Cancel();
        throw PublishError(failure.what());
    } catch (const std::bad_alloc&) {
        Cancel();
        throw PublishError("内存不足，无法导出网络视频");
    }
}

void WebExport::StartVideo()
{
    State& s = *state_;
    const bool mp4 = settings_.format == WebFormat::Mp4;
    const AVCodec* codec = avcodec_find_encoder_by_name(mp4 ? "libx264" : "libvpx-vp9");
    if (!codec)
        throw PublishError(std::string("无法导出网络视频：没有 ") + (mp4 ? "H.264" : "VP9") + " 编码器");
    s.video.reset(avcodec_alloc_context3(codec));
    AVCodecContext& c = *s.video;
    // H.264 in yuv420p wants even sides: the picture is padded with black, never scaled.
    c.width = mp4 ? (s.width + 1) / 2 * 2 : s.width;
    c.height = mp4 ? (s.height + 1) / 2 * 2 : s.height;
    c.pix_fmt = AV_PIX_FMT_YUV420P;
    c.time_base = AVRational{static_cast<int>(timeBase_.scale), static_cast<int>(timeBase_.rate)};
    c.framerate = AVRational{static_cast<int>(timeBase_.rate), static_cast<int>(timeBase_.scale)};
    c.sample_aspect_ratio = AVRational{1, 1};
    // The frames come in the video range with the BT.601 matrix (see DecodeToYuv420); players are told so.
    c.colorspace = AVCOL_SPC_SMPTE170M;
    c.color_primaries = AVCOL_PRI_SMPTE170M;
    c.color_trc = AVCOL_TRC_SMPTE170M;
    c.color_range = AVCOL_RANGE_MPEG;
    c.thread_count = 0;
    if (s.format->oformat->flags & AVFMT_GLOBALHEADER)
        c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (mp4) {
        setOption(c.priv_data, "preset", "medium");
        setOption(c.priv_data, "crf", std::to_string(H264Crf(settings_.quality)));
    } else {
        // Constant quality (no bit rate), screen content, rows on every core.
        c.bit_rate = 0;
        setOption(c.priv_data, "crf", std::to_string(Vp9Crf(settings_.quality)));
        setOption(c.priv_data, "deadline", "good");
        setOption(c.priv_data, "cpu-used", "4");
        setOption(c.priv_data, "row-mt", "1");
        setOption(c.priv_data, "tune-content", "screen");
        c.thread_count = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    }
    const int opened = avcodec_open2(&c, codec, nullptr);
    if (opened < 0)
        throw PublishError("编码器拒绝了 " + std::to_string(s.width) + "×" + std::to_string(s.height) +
                           " 的画面：" + avError(opened));
    s.videoStream = avformat_new_stream(s.format, nullptr);
    if (!s.videoStream)
        throw std::bad_alloc();
    s.videoStream->time_base = c.time_base;
    s.videoStream->avg_frame_rate = c.framerate;
    check(avcodec_parameters_from_context(s.videoStream->codecpar, &c), "无法导出网络视频");
}

void WebExport::StartGif()
{
    State& s = *state_;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_GIF);
    if (!codec)
        throw PublishError("无法导出网络视频：没有 GIF 编码器");
    s.video.reset(avcodec_alloc_context3(codec));
    AVCodecContext& c = *s.video;
    c.width = s.width;
    c.height = s.height;
    c.pix_fmt = AV_PIX_FMT_PAL8;
    c.time_base = AVRational{1, 100}; // a GIF's delays count hundredths
    const int opened = avcodec_open2(&c, codec, nullptr);
    if (opened < 0)
        throw PublishError("GIF 编码器拒绝了 " + std::to_string(s.width) + "×" + std::to_string(s.height) +
                           " 的画面：" + avError(opened));
    s.videoStream = avformat_new_stream(s.format, nullptr);
    if (!s.videoStream)
        throw std::bad_alloc();
    s.videoStream->time_base = c.time_base;
    check(avcodec_parameters_from_context(s.videoStream->codecpar, &c), "无法导出网络视频");
    // The first pass: one palette from every frame of the recording.
    s.palettePass = true;
    s.palette = makeChain({sourceArguments(s.width, s.height, AV_PIX_FMT_BGRA, AVRational{1, 100})},
                          "[in0]palettegen=max_colors=" + std::to_string(GifColours(settings_.quality)) +
                              ":stats_mode=full[out]");
}

void WebExport::StartSound()
{
    State& s = *state_;
    const int track = settings_.track;
    if (track < 0)
        throw PublishError("没有第 " + std::to_string(track) + " 条声音");
    if (store::AVIFileGetStream(recording_.aviFile, &s.sound, store::streamtypeAUDIO, track) != store::AVIERR_OK) {
        if (track == 0)
            return; // a recording without sound: a silent movie
        throw PublishError("录制文件 " + quoted(recording_.TargetPath()) + " 没有第 " + std::to_string(track) +
                           " 条配音");
    }
    store::SoundFormatArea area{};
    store::LONG formatSize = sizeof area;
    store::AVISTREAMINFOA info{};
    if (store::AVIStreamReadFormat(s.sound, 0, &area, &formatSize) != store::AVIERR_OK ||
        store::AVIStreamInfo(s.sound, &info, sizeof info) != store::AVIERR_OK)
        throw PublishError("无法读取 " + quoted(recording_.TargetPath()) + " 的声音：" + store::AviLastError());
    s.soundFormat = area.format;
    const store::WAVEFORMATEX& f = s.soundFormat;
    const AVSampleFormat sampleFormat = f.wBitsPerSample == 16 ? AV_SAMPLE_FMT_S16
                                        : f.wBitsPerSample == 8 ? AV_SAMPLE_FMT_U8
                                                                : AV_SAMPLE_FMT_NONE;
    if (f.wFormatTag != store::WAVE_FORMAT_PCM || sampleFormat == AV_SAMPLE_FMT_NONE || f.nChannels == 0 ||
        f.nChannels > 2 || f.nSamplesPerSec == 0 || f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8 ||
        info.dwSampleSize == 0)
        throw PublishError("无法导出 " + quoted(recording_.TargetPath()) + " 的声音（" +
                           std::to_string(f.nSamplesPerSec) + " Hz，" + std::to_string(f.wBitsPerSample) + " 位，" +
                           std::to_string(f.nChannels) + " 声道）");
    s.soundSampleSize = info.dwSampleSize;
    store::LONG bytes = 0, samples = 0;
    if (store::AVIStreamRead(s.sound, 0, kLongMax, nullptr, 0, &bytes, &samples) != store::AVIERR_OK)
        throw PublishError("无法读取 " + quoted(recording_.TargetPath()) + " 的声音：" + store::AviLastError());
    s.soundFrames = std::max<store::LONG>(0, bytes) / f.nBlockAlign;
    if (s.soundFrames == 0) {
        s.sound.reset(); // no usable sound: a silent movie
        return;
    }

    const bool mp4 = settings_.format == WebFormat::Mp4;
    const AVCodec* codec = mp4 ? avcodec_find_encoder(AV_CODEC_ID_AAC) : avcodec_find_encoder_by_name("libopus");
    if (!codec)
        throw PublishError(std::string("无法导出网络视频：没有 ") + (mp4 ? "AAC" : "Opus") + " 编码器");
    s.audio.reset(avcodec_alloc_context3(codec));
    AVCodecContext& c = *s.audio;
    c.sample_rate = kSoundRate;
    av_channel_layout_default(&c.ch_layout, f.nChannels);
    c.sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    c.bit_rate = f.nChannels == 1 ? 96000 : 128000;
    c.time_base = AVRational{1, kSoundRate};
    if (s.format->oformat->flags & AVFMT_GLOBALHEADER)
        c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int opened = avcodec_open2(&c, codec, nullptr);
    if (opened < 0)
        throw PublishError(std::string("声音编码器拒绝了声音：") + avError(opened));
    s.audioStream = avformat_new_stream(s.format, nullptr);
    if (!s.audioStream)
        throw std::bad_alloc();
    s.audioStream->time_base = c.time_base;
    check(avcodec_parameters_from_context(s.audioStream->codecpar, &c), "无法导出网络视频");

    SwrContext* resampler = nullptr;
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, f.nChannels);
    int result = swr_alloc_set_opts2(&resampler, &c.ch_layout, c.sample_fmt, kSoundRate, &layout, sampleFormat,
                                     static_cast<int>(f.nSamplesPerSec), 0, nullptr);
    av_channel_layout_uninit(&layout);
    s.resampler.reset(resampler);
    if (result >= 0)
        result = swr_init(resampler);
    check(result, "无法转换声音的采样率");
    s.fifo.reset(av_audio_fifo_alloc(c.sample_fmt, c.ch_layout.nb_channels, c.frame_size > 0 ? c.frame_size : 1024));
    if (!s.fifo)
        throw std::bad_alloc();
    soundSeconds_ = static_cast<double>(s.soundFrames) / f.nSamplesPerSec;
}

bool WebExport::WritePackets(AVCodecContext* codec, AVStream* stream, int most)
{
    State& s = *state_;
    for (int n = 0; most < 0 || n < most; ++n) {
        const int got = avcodec_receive_packet(codec, s.packet.get());
        if (got == AVERROR(EAGAIN))
            return false;
        if (got == AVERROR_EOF)
            return true;
        check(got, "编码失败");
        av_packet_rescale_ts(s.packet.get(), codec->time_base, stream->time_base);
        s.packet->stream_index = stream->index;
        const int written = av_interleaved_write_frame(s.format, s.packet.get());
        if (written < 0 || (s.format->pb && s.format->pb->error < 0))
            throw PublishError("无法写入文件 " + quoted(s.outputPath) + "：" +
                               avError(written < 0 ? written : s.format->pb->error));
    }
    return false;
}

void WebExport::Encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame)
{
    check(avcodec_send_frame(codec, frame), "编码失败");
    WritePackets(codec, stream);
}

void WebExport::DrainPictures(bool flushing)
{
    State& s = *state_;
    FramePtr filtered(av_frame_alloc());
    for (;;) {
        const int got = av_buffersink_get_frame(s.mapping.sink, filtered.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            break;
        check(got, "画面处理失败");
        filtered->pict_type = AV_PICTURE_TYPE_NONE;
        Encode(s.video.get(), s.videoStream, filtered.get());
        ++framesWritten_;
        av_frame_unref(filtered.get());
    }
    if (flushing) // the encoder's look-ahead is written by the steps that follow
        check(avcodec_send_frame(s.video.get(), nullptr), "编码失败");
}

// Sound up to the sample frame `upTo` of the encoder's rate (all of it when negative) goes to the
// encoder; what is left of an encoder frame waits for the next call, except at the end.
void WebExport::FeedSound(std::int64_t upTo)
{
    State& s = *state_;
    if (!s.audio)
        return;
    AVCodecContext& c = *s.audio;
    const int frameSize = c.frame_size > 0 ? c.frame_size : 1024;
    const int blockAlign = s.soundFormat.nBlockAlign;
    std::vector<std::uint8_t> source;
    std::vector<std::uint8_t> converted;
    const bool all = upTo < 0;
    while ((all || s.audioPts + av_audio_fifo_size(s.fifo.get()) < upTo) && !s.soundFlushed) {
        // Read a chunk of the stream (the stream counts samples of its own size).
        const std::int64_t count = std::min(kSoundChunk, s.soundFrames - s.soundRead);
        int inCount = 0;
        if (count > 0) {
            const std::int64_t firstByte = s.soundRead * blockAlign;
            const std::int64_t skip = firstByte % s.soundSampleSize;
            const std::int64_t samples = (skip + count * blockAlign + s.soundSampleSize - 1) / s.soundSampleSize;
            source.assign(static_cast<std::size_t>(samples * s.soundSampleSize), 0);
            store::LONG bytes = 0, got = 0;
            if (store::AVIStreamRead(s.sound, static_cast<store::LONG>(firstByte / s.soundSampleSize),
                                     static_cast<store::LONG>(samples), source.data(),
                                     static_cast<store::LONG>(source.size()), &bytes, &got) != store::AVIERR_OK)
                throw PublishError("无法读取 " + quoted(recording_.TargetPath()) + " 的声音：" + store::AviLastError());
            inCount = static_cast<int>(std::clamp<std::int64_t>((bytes - skip) / blockAlign, 0, count));
            source.erase(source.begin(), source.begin() + skip);
            if (inCount == 0)
                s.soundRead = s.soundFrames; // the data ended early
            s.soundRead += inCount;
        }
        const std::uint8_t* in = inCount > 0 ? source.data() : nullptr;
        const int capacity = swr_get_out_samples(s.resampler.get(), inCount) + 16;
        uint8_t** planes = nullptr;
        check(av_samples_alloc_array_and_samples(&planes, nullptr, c.ch_layout.nb_channels, capacity, c.sample_fmt, 0),
              "内存不足");
        const int produced = swr_convert(s.resampler.get(), planes, capacity, in ? &in : nullptr, inCount);
        if (produced > 0)
            av_audio_fifo_write(s.fifo.get(), reinterpret_cast<void**>(planes), produced);
        av_freep(&planes[0]);
        av_freep(&planes);
        check(produced, "无法转换声音的采样率");
        if (!in && produced == 0)
            s.soundFlushed = true;
        // Whole encoder frames go in as they fill; the last, shorter one at the end.
        while (av_audio_fifo_size(s.fifo.get()) >= frameSize ||
               (s.soundFlushed && av_audio_fifo_size(s.fifo.get()) > 0)) {
            const int n = std::min(frameSize, av_audio_fifo_size(s.fifo.get()));
            FramePtr frame(av_frame_alloc());
            frame->nb_samples = n;
            frame->format = c.sample_fmt;
            frame->sample_rate = c.sample_rate;
            check(av_channel_layout_copy(&frame->ch_layout, &c.ch_layout), "内存不足");
            check(av_frame_get_buffer(frame.get(), 0), "内存不足");
            av_audio_fifo_read(s.fifo.get(), reinterpret_cast<void**>(frame->data), n);
            frame->pts = s.audioPts;
            s.audioPts += n;
            Encode(s.audio.get(), s.audioStream, frame.get());
        }
    }
    if (all && s.soundFlushed)
        Encode(s.audio.get(), s.audioStream, nullptr);
}

bool WebExport::Step()
{
    if (!state_)
        return false;
    State& s = *state_;
    try {
        if (s.draining) {
            // An encoder that looks ahead holds many frames at the end; one comes out per step, so
            // that the dialog's timer keeps the interface responsive.
            if (!WritePackets(s.video.get(), s.videoStream, 1))
                return true;
            FeedSound(-1);
            Complete();
            ++done_;
            return false;
        }
        const std::int32_t k = s.frameIndex;
        const bool gif = settings_.format == WebFormat::Gif;
        FramePtr frame = NextFrame(gif && !s.palettePass ? GifStart(k, timeBase_) : k);
        if (!frame)
            throw PublishError("第 " + std::to_string(k + 1) + " 帧无法读取：帧文件 " +
                               quoted(recording_.FrameStorePath()) + " 在此之前已经结束");
        ++s.frameIndex;
        // The last frame counts as done once the movie is complete.
        if (s.palettePass || s.frameIndex < s.frames)
            ++done_;
        if (s.palettePass) {
            check(av_buffersrc_add_frame(s.palette.sources[0], frame.get()), "画面处理失败");
            if (s.frameIndex == s.frames)
                EndPalettePass();
            return true;
        }
        if (gif) {
            check(av_buffersrc_add_frame(s.mapping.sources[0], frame.get()), "画面处理失败");
            DrainPictures(false);
        } else {
            Encode(s.video.get(), s.videoStream, frame.get());
            ++framesWritten_;
            s.spareFrames.Give(std::move(frame));
        }
        // The sound recorded while this frame was on screen.
        const i128 next = static_cast<i128>(k + 1) * timeBase_.scale * kSoundRate;
        FeedSound(static_cast<std::int64_t>((next + timeBase_.rate - 1) / timeBase_.rate));
        if (s.frameIndex < s.frames)
            return true;
        if (gif) {
            check(av_buffersrc_add_frame(s.mapping.sources[0], nullptr), "画面处理失败");
            DrainPictures(true);
        } else { // the encoder's look-ahead is written by the steps that follow
            check(avcodec_send_frame(s.video.get(), nullptr), "编码失败");
        }
        s.draining = true;
        return true;
    } catch (const PublishError& failure) {
        Fail(failure.what());
    } catch (const store::StoreError& failure) {
        Fail("第 " + std::to_string(s.frameIndex + 1) + " 帧无法读取：" + failure.what());
    } catch (const std::bad_alloc&) {
        Fail("内存不足，无法导出网络视频");
    }
    return false;
}

void WebExport::EndPalettePass()
{
    State& s = *state_;
    check(av_buffersrc_add_frame(s.palette.sources[0], nullptr), "画面处理失败");
    s.paletteFrame.reset(av_frame_alloc());
    check(av_buffersink_get_frame(s.palette.sink, s.paletteFrame.get()), "无法生成 GIF 调色板");
    s.palette = FilterChain{};
    // The second pass: every frame again, mapped onto the palette. Error diffusion only where colours
    // fall between palette entries, so flat areas stay flat; only the rectangle that changed is redone.
    s.mapping = makeChain({sourceArguments(s.width, s.height, AV_PIX_FMT_BGRA, AVRational{1, 100}),
                            sourceArguments(s.paletteFrame->width, s.paletteFrame->height,
                                            static_cast<AVPixelFormat>(s.paletteFrame->format), AVRational{1, 100})},
                           "[in0][in1]paletteuse=dither=sierra2_4a:diff_mode=rectangle[out]");
    s.paletteFrame->pts = 0;
    check(av_buffersrc_add_frame_flags(s.mapping.sources[1], s.paletteFrame.get(), AV_BUFFERSRC_FLAG_KEEP_REF),
          "画面处理失败");
    check(av_buffersrc_add_frame(s.mapping.sources[1], nullptr), "画面处理失败");
    s.palettePass = false;
    s.frameIndex = 0;
    OpenSource();
}

void WebExport::Complete()
{
    State& s = *state_;
    const int trailer = av_write_trailer(s.format);
    if (trailer < 0 || s.format->pb->error < 0)
        throw PublishError("无法写入文件 " + quoted(s.outputPath) + "：" +
                           avError(trailer < 0 ? trailer : s.format->pb->error));
    s.fileOpen = false;
    const int closed = avio_closep(&s.format->pb);
    if (closed < 0)
        throw PublishError("无法写入文件 " + quoted(s.outputPath) + "：" + avError(closed));
    if (::rename(s.partPath.c_str(), s.targetPath.c_str()) != 0)
        throw PublishError("无法把 " + quoted(s.outputPath) + " 写完：" + std::strerror(errno));
    s.partPath.clear();
    state_.reset();
    LetGo();
}

void WebExport::Fail(const std::string& message)
{
    Cancel();
    throw PublishError(message);
}

void WebExport::Cancel()
{
    if (state_) {
        const std::string part = state_->partPath;
        state_.reset(); // closes the file
        if (!part.empty())
            ::unlink(part.c_str());
    }
    LetGo();
}

void WebExport::LetGo()
{
    if (holding_) {
        holding_ = false;
        if (recording_.IsHeldBy(kActivity))
            recording_.Release();
    }
}

void WebExport::Run(const QString& outputPath, const std::function<void(std::int64_t, std::int64_t)>& progress)
{
    Start(outputPath);
    while (Step())
        if (progress)
            progress(done_, total_);
    if (progress)
        progress(done_, total_);
}

} // namespace quolva::publish
