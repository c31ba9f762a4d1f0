#pragma once
#include "publish/AviExport.h"
#include "publish/PublishError.h"
#include "publish/Yuv420Frame.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

struct AVCodecContext;
struct AVFrame;
struct AVStream;

namespace quolva::editor { class OpenRecording; }

namespace quolva::publish {

// The movies a browser plays.
enum class WebFormat { Mp4, WebM, Gif };

// What the user chose for a web movie.
struct WebSettings {
    // The sound track taken into the movie.
    static constexpr int kOwnSound = 0; // the recording's own: its first audio stream
    static constexpr int kNoSound = -1; // a silent movie
    WebFormat format = WebFormat::Mp4;
    int track = kOwnSound; // or k ≥ 1: the k-th dubbed track (the AVI's audio stream after the first k)
    int quality = -1;      // 0 (smallest) to 100 (best); -1: the format's default
};

// The file name extension of each format ("mp4", "webm", "gif") and its name for people.
QString WebFormatExtension(WebFormat format);
QString WebFormatName(WebFormat format);

// The web export: the frames of the open recording, read with a reader of its own, and one of its sound
// tracks, as an MP4 (H.264 and AAC), WebM (VP9 and Opus) or animated GIF, on libavcodec, libavfilter and
// libavformat. Frame k starts at k·L/(N·R) seconds, the AVI export's exact time base (10 frames a second
// without sound); the sound starts at 0 and goes in whole. The movie is written to a part file beside the
// output and takes the output's name when complete; a failure or a cancel removes it.
//
// Widget-free: the publish dialog calls Step from its timer, quolvactl calls Run. From Start to the end
// it holds the recording, so that the editor's commands that move the cursor, close or reopen are
// refused; closing the recording meanwhile cancels it.
class WebExport {
public:
    static const QString kActivity; // "导出网络视频": what the held recording is busy with

    WebExport(editor::OpenRecording& recording, WebSettings settings);
    ~WebExport(); // cancels an export that has not ended
    WebExport(const WebExport&) = delete;
    WebExport& operator=(const WebExport&) = delete;

    // Takes the recording, reads its first frame, sets up the encoders and creates the part file. Throws
    // PublishError, holding nothing and leaving nothing behind, when the recording is busy or has no
    // frames, the track does not exist, an encoder refuses or the output cannot be created.
    void Start(const QString& outputPath);
    // One frame's work (a GIF goes through the frames twice: once for its palette). False once the
    // movie is complete under the output's name. Throws PublishError, after cancelling, on a frame that
    // cannot be read, an encoder's refusal or a write that fails (a full disk).
    bool Step();
    // Abandons the export: the part file is removed and the recording given back. Idempotent.
    void Cancel();
    // The whole export: Start, then Step to the end. `progress` is told each step.
    void Run(const QString& outputPath, const std::function<void(std::int64_t done, std::int64_t total)>& progress = {});

    bool Running() const { return state_ != nullptr; }
    std::int64_t Done() const { return done_; }
    std::int64_t Total() const { return total_; }
    // What the last export wrote: frames, the time base, seconds of sound (0 without).
    std::int32_t FramesWritten() const { return framesWritten_; }
    const VideoTimeBase& TimeBase() const { return timeBase_; }
    double SoundSeconds() const { return soundSeconds_; }

    // Frame k's start in hundredths of a second, as a GIF's whole-hundredth delays place it:
    // round(100·k·scale/rate).
    static std::int64_t GifStart(std::int64_t k, const VideoTimeBase& timeBase);
    // --quality on each encoder's own scale: x264's and libvpx's constant rate factor (lower is better),
    // a GIF palette's colours.
    static int H264Crf(int quality);
    static int Vp9Crf(int quality);
    static int GifColours(int quality);

private:
    struct State;
    // Reads the frames from the first, with a reader of the export's own.
    void OpenSource();
    // The next frame, decoded ahead on every core, as the encoder (video) or the filters (GIF) take it;
    // nothing once the store has ended.
    AvFramePtr NextFrame(std::int64_t pts);
    void StartVideo();
    void StartGif();
    void StartSound();
    void EndPalettePass();
    void Encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame);
    // Writes what the encoder has ready, at most `most` packets (all: -1); true once it has given all.
    bool WritePackets(AVCodecContext* codec, AVStream* stream, int most = -1);
    // A GIF's frames mapped onto its palette so far go to the encoder (at the end, with its flush).
    void DrainPictures(bool flushing);
    void FeedSound(std::int64_t upTo);
    [[noreturn]] void Fail(const std::string& message);
    void Complete();
    void LetGo();

    editor::OpenRecording& recording_;
    WebSettings settings_;
    std::unique_ptr<State> state_;
    std::int64_t done_ = 0;
    std::int64_t total_ = 0;
    std::int32_t framesWritten_ = 0;
    VideoTimeBase timeBase_{};
    double soundSeconds_ = 0;
    bool holding_ = false;
};

} // namespace quolva::publish
