#pragma once
#include "publish/PublishError.h"
#include "store/WinTypes.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace quolva::editor { class OpenRecording; }

namespace quolva::publish {

// The values of the sound stream head (SoundStreamHead2), in the tag's order.
struct SwfSoundHead {
    std::uint8_t playbackRate = 0;   // 0 below 6000 Hz, 1 for 11025, 2 for 22050, 3 for 44100
    std::uint8_t playback16Bit = 0;
    std::uint8_t playbackStereo = 0;
    std::uint8_t compression = 0;    // uncompressed
    std::uint8_t streamRate = 0;
    std::uint8_t stream16Bit = 0;
    std::uint8_t streamStereo = 0;
    std::uint16_t samplesPerBlock = 0;

    friend bool operator==(const SwfSoundHead&, const SwfSoundHead&) = default;
};

// How picture and sound keep in step: the movie's frame rate, and which sample frames go with which frame.
// With N frames counted in the store and L sample frames of sound at R per second, the frames are spread
// evenly over the sound: r = N × R / L frames a second, and the block after frame k holds the sample
// frames from ⌊k·L/N⌋ to ⌊(k+1)·L/N⌋, the sound recorded while that frame was on screen. Where L, R or
// N is 0, or r lies outside 1 to 60, the movie runs at 10 frames a second (the capture's pace) with
// blocks of R / 10 sample frames, cut at the end of the track.
struct SwfPacing {
    std::int32_t frames = 0;        // N
    std::int64_t soundFrames = 0;   // L
    std::uint32_t rate = 0;         // R
    double frameRate = 10;          // r
    bool byCapturePace = true;      // the fallback of 10 frames a second
    std::uint16_t samplesPerBlock = 0;

    static SwfPacing For(std::int32_t frames, std::int64_t soundFrames, std::uint32_t rate);
    // The first sample frame of the block written after frame k.
    std::int64_t BlockStart(std::int64_t k) const;
};

// The SWF export: the frames of the open recording, read forward from its cursor, and its first sound
// track, as an uncompressed SWF movie of version 5 with streaming PCM sound, one bitmap shape per frame
// at one depth. Headless: the publish dialog and quolvactl run the same object.
//
// The file: header; SetBackgroundColor white; SoundStreamHead2; for each of the first N − 1 frames
// DefineBitsLossless2 (format 5), DefineShape3 (a rectangle filled with that bitmap), RemoveObject2 (all
// but the first), PlaceObject2 at depth 300, ShowFrame, SoundStreamBlock; End. The body goes to disk as
// it is made and the frames are compressed on every core; the bytes are those of a one-thread run.
class SwfExport {
public:
    static constexpr int SwfFrameDepth = 300;
    static constexpr std::uint8_t SwfVersion = 5;
    static constexpr int TwipsPerPixel = 20;
    // The largest edge one shape record holds, in twips; longer edges are drawn as several.
    static constexpr std::int32_t MaxEdgeTwips = 32767;
    static constexpr std::uint32_t MaxMovieFrames = 65535;
    static constexpr std::uint64_t MaxFileLength = 0xFFFFFFFFull;

    // `frameCount` is N, the frame store header's count handed over when the recording was opened.
    SwfExport(editor::OpenRecording& recording, std::int32_t frameCount);
    ~SwfExport();
    SwfExport(const SwfExport&) = delete;
    SwfExport& operator=(const SwfExport&) = delete;

    // Called on the calling thread for each frame once it has been read and decoded, in order (k from
    // 0): the dialog shows it in the main window and advances its progress bar.
    std::function<void(std::int32_t k, const QImage& frame)> onFrame;

    // Threads that compress frames; 0: one per core. The movie is the same for any number.
    unsigned threads = 0;
    // The longest file the export writes; the file format's 32-bit length allows no more.
    std::uint64_t fileLengthLimit = MaxFileLength;

    // What the held recording is busy with while the movie is made: "发布 SWF 文件".
    static const QString kActivity;

    // Writes the whole movie to `outputPath`: every frame from the first, read with a reader of its own,
    // the sound from its first sample. The caller may have taken the recording for it already (the
    // dialog does, before its file dialog); otherwise the run takes it and gives it back. Throws
    // PublishError, with nothing written, when other work holds the recording, when the output cannot be
    // created or the movie would exceed the format's limits. The browser's cursor is never moved.
    void Run(const QString& outputPath);

    std::int32_t framesWritten() const { return framesWritten_; }
    // What the last run wrote into the sound stream head and the header's frame rate.
    const SwfSoundHead& soundHead() const { return soundHead_; }
    const SwfPacing& pacing() const { return pacing_; }

    // Button6Click: the sound stream head from the sound format, for sound at `rate` samples a second
    // (the format's own or the one the track was resampled to) in blocks of `samplesPerBlock`. The
    // playback and the stream fields are the same. A rate without a code leaves the codes 0.
    static SwfSoundHead SoundHead(const store::WAVEFORMATEX& format, std::uint32_t rate, std::uint16_t samplesPerBlock);
    // The frame as the bitmap carries it: alpha, red, green, blue (alpha 255), top row first, no gaps
    // between rows. `frame` is Format_RGB32.
    static void ConvertFrame(const QImage& frame, std::uint8_t* out);
    // An edge of `length` twips (0 or more) as equal pieces that each fit one shape record (equal to the
    // twip where the length does not divide); one piece when it fits already.
    static std::vector<std::int16_t> SplitEdge(std::int32_t length);

private:
    void RunToFile(const QString& outputPath);

    editor::OpenRecording& recording_;
    std::int32_t frameCount_;
    std::int32_t framesWritten_ = 0;
    SwfSoundHead soundHead_;
    SwfPacing pacing_;
};

} // namespace quolva::publish
