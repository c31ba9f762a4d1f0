#pragma once
#include "editor/FrameReader.h"
#include "publish/DibFrame.h"
#include "publish/FramesDecodedAhead.h"
#include "publish/Recycler.h"
#include "platform/VideoCompressor.h"
#include "publish/PublishError.h"
#include "store/AviFile.h"
#include "store/WinTypes.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace quolva::editor { class OpenRecording; }

namespace quolva::publish {

// The video stream's time base, dwRate frames per dwScale seconds.
struct VideoTimeBase {
    store::DWORD rate = 0;
    store::DWORD scale = 0;
    bool capturePace = false; // no sound to spread the frames over: the capture's 10 frames per second
};

// The capture pace: frames are grabbed every 100 ms.
inline constexpr store::DWORD kCaptureFramesPerSecond = 10;

// N frames spread evenly over the sound track's L ÷ R seconds, exactly: dwRate ÷ dwScale = N·R ÷ L,
// reduced by the greatest common divisor and, where that still does not fit, the nearest ratio whose
// terms both fit in 31 bits (so that readers taking them as signed read them right). Without frames,
// without a whole sample of sound, or with a sound rate of 0: the capture pace, 10 ÷ 1.
VideoTimeBase ExactVideoTimeBase(std::int32_t frameCount, std::int32_t soundLength, std::int32_t soundRate);

// Bytes in one row of a 24-bit DIB: 3 per pixel, filled up to a multiple of 4.
inline std::int32_t DibRowBytes(std::int32_t width)
{
    return (width * 3 + 3) / 4 * 4;
}

// A decoded frame as the uncompressed stream holds it: a 24-bit DIB of `width` × `height` pixels, bytes
// blue, green, red, bottom row first, each row filled with zeros up to a multiple of 4 bytes. A picture
// of another size is cut to the size or filled out with black.
void PictureToDib(const QImage& picture, std::int32_t width, std::int32_t height, std::vector<std::uint8_t>& dib);

// The AVI export: the frames of the open recording, read from the first with a reader of its own, as a
// video stream added to the recording's own AVI file after the sound. Uncompressed (24-bit DIBs) or
// through a video compressor. Widget-free: the publish dialog drives it frame by frame from its timer,
// quolvactl runs it through. From Take (the user's start, before the compressor chooser) to its end it
// holds the recording, so that the editor's commands that move the cursor, close or reopen are refused.
class AviExport {
public:
    static const QString kActivity; // "导出AVI文件": what the held recording is busy with

    explicit AviExport(editor::OpenRecording& recording);
    ~AviExport();
    AviExport(const AviExport&) = delete;
    AviExport& operator=(const AviExport&) = delete;

    // What the main window handed over: N, L (sample frames) and R.
    std::int32_t frameCount = 0;
    std::int32_t soundLength = 0;
    std::int32_t soundRate = 0;

    store::BITMAPINFOHEADER inputFormat{};   // the decoded frames: a 24-bit DIB of W × H
    platform::COMPVARS compVars;             // the compressor chosen
    store::BITMAPINFOHEADER outputFormat{};  // the compressor's output format, its first 40 bytes
    std::vector<std::uint8_t> outputFormatBytes; // the whole output format, with the codec's extra data
    store::AVISTREAMINFOA videoStreamInfo{};
    store::PAVISTREAM videoStream;           // created by a start, released by Release
    std::int32_t frameIndex = 0;             // frames given to the export so far
    std::int32_t framesWritten = 0;          // frames in the video stream so far
    std::int32_t frameSize = 0;              // bytes of the last frame written
    bool compressorActive = false;

    // As a fresh showing of the dialog has them: compVars declared (cbSize 64), inputFormat a 24-bit
    // DIB whose width and height stay, videoStreamInfo a video description with every other member 0.
    void ResetFormats();
    // The frames' width and height (those of the first frame); frameIndex back to 0.
    void SetFrameSize(std::int32_t width, std::int32_t height);
    bool HasFrameSize() const { return inputFormat.biWidth > 0 && inputFormat.biHeight > 0; }

    // Takes the recording for the export and opens its reader at the first frame. Throws
    // editor::RecordingBusy when other work holds the recording. Taking twice does nothing.
    void Take();
    // Gives the recording back when the export was abandoned before its stream was created (the
    // compressor chooser was cancelled or refused the frames).
    void GiveBack();
    bool Holding() const { return holding_; }
    // The frame step: the next frame from the export's reader; nothing after the last record.
    std::optional<QImage> ReadNextPicture();

    // Creates the uncompressed video stream: the time base, the input format. Takes the recording first
    // if it was not taken.
    void StartUncompressed();
    // Starts compVars' compressor on the input format and creates the stream with its output format.
    // False, with no stream created, when the compressor cannot take the frames; CompressorRefusal then
    // says why, in the encoder's words where it gave any.
    bool StartCompressed();
    QString CompressorRefusal() const { return platform::StartRefusal(compVars); }

    bool Started() const { return started_; }
    bool Finished() const { return finished_; }
    bool AllFramesGiven() const { return frameIndex >= frameCount; }

    // The stream's next frame, decoded ahead on every core straight into a DIB, written uncompressed or
    // given to the compressor (which may write it later, when it looks ahead). A frame that cannot be read
    // or decoded, or a store that ends before frameCount frames, is thrown as editor::RecordingError with
    // nothing written; a stream that cannot be written as PublishError.
    void WriteNextFrame();
    // The frame written last, as a picture for the screen (null before the first).
    QImage LastFramePicture() const;
    // Threads that decode the frames (0, the default: one per core); read when the stream is created.
    unsigned decodeThreads = 0;
    // The end of the export, after the last frame or when a frame could not be read: what the compressor
    // still holds is written, and the recording is let go. The stream then holds every frame given, in
    // order, and the file is complete once the stream and the file are released. Idempotent.
    void Finish();
    // Ends and frees the compressor and releases the video stream (the file itself stays the
    // recording's). Idempotent.
    void Release();

    // The whole export without a window: every frame from the first, until N frames are written, then
    // Finish. `onFrame` is told the count of frames given once each is in.
    // A frame that cannot be read ends the export as Finish does, then throws PublishError.
    void Run(const std::function<void(std::int32_t given)>& onFrame = {});

    // The message of a frame that could not be read: which frame, what failed, how much was written.
    QString FrameFailureMessage(const QString& failure) const;

private:
    void CreateStream(const void* format, store::LONG formatSize, std::int32_t width, std::int32_t height);
    void WriteChunk(const void* data, std::int32_t size, bool keyFrame);
    void LetGo();

    editor::OpenRecording& recording_;
    std::optional<editor::FrameReader> reader_; // the frame step's
    Recycler<DibFrame> spareFrames_; // before the decoders: it outlives their threads
    std::optional<FramesDecodedAhead<DibFrame>> frames_; // the stream's
    DibFrame lastFrame_;
    bool started_ = false;
    bool finished_ = false;
    bool holding_ = false;
};

} // namespace quolva::publish
