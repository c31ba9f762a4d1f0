#pragma once
#include "editor/OpenRecording.h"
#include "editor/StoreReplacement.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <stdexcept>

namespace quolva::editor {

// An update that cannot start: the message is for a message box (caption "提示", warning icon).
class RewriteRefusal : public std::runtime_error {
public:
    explicit RewriteRefusal(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message)
    {
    }
    const QString& Message() const { return message_; }

private:
    QString message_;
};

// The run of records an update replaces.
struct RunPlan {
    std::int32_t asked = 0;  // the frames to overwrite, as typed
    std::int32_t frames = 0; // the frames the run takes: at most those from the frame on view to the last
    std::int64_t start = 0;  // where the first record of the run begins
    std::int64_t end = 0;    // where its last record ends
    bool Cut() const { return frames < asked; }
};

// The points of a commit that tests can stop at (all before the new store replaces the old one).
enum class CommitStage { Created, HeadCopied, RunWritten, TailCopied, Flushed };

// The continuous update: from the frame on view on, each tick encodes the picture on view (with
// whatever was drawn onto it) as a new record and steps to the next frame; when the run is done, the
// frame store is rebuilt from its unchanged head, the new records and its unchanged tail. The number
// of frames does not change, so the header is kept as it is.
//
// The run is planned when it starts: the count typed must be a whole number of at least 1, and a run
// asking for more frames than remain is cut to the frames that remain. While it runs, the recording is
// held, so that nothing else moves the cursor. Offsets are 64-bit: stores of any size can be rewritten.
class FrameRewriter {
public:
    static constexpr int kTickIntervalMs = 29; // Timer5
    static const QString kActivity;         // "连续更新": what the held recording is busy with
    static const QString kCaption;          // "提示"
    static const QString kNotOpenMessage;   // "尚未打开文件"
    static const QString kBadCountMessage;  // the frames to overwrite are not a whole number of at least 1
    static const QString kNoFrameMessage;   // no frame on view to start from
    // The status bar's note for a run that was cut to the frames that remain.
    static QString CutNote(const RunPlan& plan);

    explicit FrameRewriter(OpenRecording& recording);

    // Reads the frames to overwrite ("欲覆盖帧数"); refuses anything but a whole number of at least 1.
    static std::int32_t ParseFramesToOverwrite(const QString& text);

    // Plans the run from the frame on view and holds the recording. Refused (nothing changes) when no
    // recording is open, the count is not a whole number of at least 1, or there is no frame to start
    // from.
    RunPlan Start(const QString& framesToOverwrite);
    bool IsRunning() const { return running_; }
    const RunPlan& Plan() const { return plan_; }
    // The number, counted from 1 within the run, of the frame the next tick encodes; 1 when idle.
    std::int32_t FramesDone() const { return framesDone_; }
    // The start of the frame just read: after the last tick, the end of the run.
    std::int64_t RunEnd() const { return runEnd_; }
    // Every frame of the run is encoded: the next tick commits.
    bool RunComplete() const { return running_ && plan_.frames < framesDone_; }

    // Burn and encode, the encoding half: appends the picture's record to the rewrite buffer.
    void EncodeFrame(const QImage& picture);
    // The rest of a tick: makes the cursor lie after the frame just encoded and takes a forward step.
    // Returns the picture now on view; a null picture when the run's last frame was the store's last
    // record (there is nothing to step to, and the encoded picture stays on view).
    QImage Advance();

    // Rebuilds the frame store with the run's new records: written beside the old store under a unique
    // name, flushed to disk and renamed over it. Afterwards the frame counter is 1, frame 1 is on view
    // (its picture returned) and the recording is no longer held. A failure throws CommitError and
    // leaves the old store in place, whole, with the recording open on it and the cursor where it was;
    // the run is dropped either way.
    QImage Commit();
    // Drops a run (a tick failed): the rewrite buffer is emptied and the recording released.
    void Abandon();

    // Called at each stage of a commit; a failure it throws fails the commit there (tests).
    std::function<void(CommitStage)> commitHook;

private:
    void Stage(CommitStage stage) const;
    void Finish();

    OpenRecording& recording_;
    RunPlan plan_;
    bool running_ = false;
    std::int32_t framesDone_ = 1;
    std::int64_t runEnd_ = 0;
};

} // namespace quolva::editor
