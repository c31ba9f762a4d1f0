#include "editor/FrameRewriter.h"

#include "store/DecimalText.h"
#include "store/FrameStore.h"

#include <exception>

namespace quolva::editor {
namespace {

// The records laid out back to back in `bytes`, or -1 when they are not whole records.
std::int64_t CountRecords(const std::vector<std::uint8_t>& bytes)
{
    std::int64_t count = 0;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const int d = bytes[at] - '0';
        if (d < 1 || d > 9 || at + 1 + static_cast<std::size_t>(d) > bytes.size())
            return -1;
        const store::DecimalParse n = store::TryParseDecimalInt32(
            std::string_view(reinterpret_cast<const char*>(bytes.data() + at + 1), static_cast<std::size_t>(d)));
        if (!n.Ok() || n.value < 0)
            return -1;
        at += static_cast<std::size_t>(n.value) + 2 * static_cast<std::size_t>(d) + 2;
        ++count;
    }
    return at == bytes.size() ? count : -1;
}

} // namespace

const QString FrameRewriter::kActivity = QStringLiteral("连续更新");
const QString FrameRewriter::kCaption = QStringLiteral("提示");
const QString FrameRewriter::kNotOpenMessage = QStringLiteral("尚未打开文件");
const QString FrameRewriter::kBadCountMessage = QStringLiteral("欲覆盖帧数必须是不小于 1 的整数");
const QString FrameRewriter::kNoFrameMessage = QStringLiteral("没有可以更新的帧");

QString FrameRewriter::CutNote(const RunPlan& plan)
{
    return QStringLiteral("欲覆盖帧数 %1 超过了剩下的帧数，只更新到最后一帧（%2 帧）").arg(plan.asked).arg(plan.frames);
}

FrameRewriter::FrameRewriter(OpenRecording& recording) : recording_(recording) {}

std::int32_t FrameRewriter::ParseFramesToOverwrite(const QString& text)
{
    const store::DecimalParse parse = store::TryParseDecimalInt32(text.toStdString());
    if (!parse.Ok() || parse.value < 1)
        throw RewriteRefusal(kBadCountMessage);
    return parse.value;
}

RunPlan FrameRewriter::Start(const QString& framesToOverwrite)
{
    if (!recording_.IsOpen())
        throw RewriteRefusal(kNotOpenMessage);
    if (running_ || recording_.IsHeld())
        throw RewriteRefusal(recording_.BusyMessage());
    const std::int32_t asked = ParseFramesToOverwrite(framesToOverwrite);
    store::FrameStore& frames = recording_.Frames();
    const std::int64_t start = recording_.displayedFrameStart;
    if (recording_.NumberOnView() < 1 || start < store::kFrameStoreHeaderSize || start >= frames.Size())
        throw RewriteRefusal(kNoFrameMessage);

    // The run's records, walked by their framing from the frame on view; the cursor is put back after.
    const std::int64_t cursor = frames.Position();
    RunPlan plan;
    plan.asked = asked;
    plan.start = start;
    plan.end = start;
    try {
        frames.Seek(start);
        while (plan.frames < asked && frames.Position() < frames.Size()) {
            plan.end = frames.SkipNextFrame().End();
            ++plan.frames;
        }
    } catch (...) {
        frames.Seek(cursor);
        throw;
    }
    frames.Seek(cursor);

    // The ticks step on from the cursor, which must lie on one side of the frame on view: after it
    // (a forward step) or before it (a backward step). Anything else (another reader moved it) is set
    // right, so that the run is the one planned.
    const std::int64_t viewEnd = start + std::int64_t{recording_.lastJpegSize} + 2 * std::int64_t{recording_.lastDigitCount} + 2;
    const bool after = !recording_.cursorBeforeView && cursor == viewEnd;
    const bool before = recording_.cursorBeforeView && cursor == start;
    if (!after && !before) {
        recording_.SetCursor(start);
        recording_.frameCounter = recording_.NumberOnView();
        recording_.cursorBeforeView = true;
    }

    plan_ = plan;
    recording_.rewriteBuffer.clear();
    framesDone_ = 1;
    runEnd_ = 0;
    running_ = true;
    recording_.Hold(kActivity, [this] { Abandon(); });
    return plan_;
}

void FrameRewriter::EncodeFrame(const QImage& picture)
{
    if (!running_)
        throw std::logic_error("no update is running");
    const QImage frame = picture.format() == QImage::Format_RGB32 ? picture : picture.convertToFormat(QImage::Format_RGB32);
    const std::vector<std::uint8_t> record = store::FrameStore::EncodeFrameRecord(
        {frame.constBits(), frame.width(), frame.height(), frame.bytesPerLine(), store::PixelLayout::Xrgb32});
    recording_.rewriteBuffer.insert(recording_.rewriteBuffer.end(), record.begin(), record.end());
}

QImage FrameRewriter::Advance()
{
    if (!running_)
        throw std::logic_error("no update is running");
    if (recording_.cursorBeforeView)
        recording_.NextFrame(); // reads the frame on view again, so that the cursor lies after it
    ++framesDone_;
    if (recording_.AtEnd()) {
        // The run's last frame was the store's last record: no frame after it to show.
        runEnd_ = recording_.Cursor();
        return {};
    }
    QImage picture = recording_.ForwardStep(); // throws on a frame that cannot be decoded
    runEnd_ = recording_.Cursor() - 2 * (std::int64_t{recording_.lastDigitCount} + 1) - recording_.lastJpegSize;
    return picture;
}

void FrameRewriter::Stage(CommitStage stage) const
{
    if (commitHook)
        commitHook(stage);
}

void FrameRewriter::Finish()
{
    running_ = false;
    framesDone_ = 1;
    recording_.rewriteBuffer.clear();
    if (recording_.Holder() == kActivity)
        recording_.Release();
}

void FrameRewriter::Abandon()
{
    if (running_)
        Finish();
}

QImage FrameRewriter::Commit()
{
    if (!RunComplete())
        throw std::logic_error("the update run is not complete");
    store::FrameStore& frames = recording_.Frames();
    const std::int64_t cursor = frames.Position();
    const std::vector<std::uint8_t>& run = recording_.rewriteBuffer;
    try {
        // Never a wrong run: exactly the records planned, ending where the planned run ends.
        if (CountRecords(run) != plan_.frames || runEnd_ != plan_.end)
            throw CommitError("连续更新没有写入：更新的帧（" + std::to_string(CountRecords(run)) + " 帧，到 " +
                              std::to_string(runEnd_) + " 为止）与计划的（" + std::to_string(plan_.frames) +
                              " 帧，到 " + std::to_string(plan_.end) + " 为止）不符。帧文件保持原样。");
        const std::int64_t size = frames.Size();
        StoreReplacement replacement(frames.Path());
        Stage(CommitStage::Created);
        replacement.CopyFrom(frames, 0, plan_.start);
        Stage(CommitStage::HeadCopied);
        replacement.Write(run);
        Stage(CommitStage::RunWritten);
        replacement.CopyFrom(frames, plan_.end, size);
        Stage(CommitStage::TailCopied);
        const std::int64_t expected = size - (plan_.end - plan_.start) + static_cast<std::int64_t>(run.size());
        if (replacement.Size() != expected)
            throw CommitError("连续更新没有写入：新的帧文件有 " + std::to_string(replacement.Size()) +
                              " 字节，应有 " + std::to_string(expected) + " 字节。帧文件保持原样。");
        replacement.Flush();
        Stage(CommitStage::Flushed);
        store::FrameStore written = replacement.OpenWritten();
        replacement.Commit();

        // From here on the new store is the store. It is reopened under its own name; should that fail,
        // the handle opened before the rename reads the same file.
        try {
            written = store::FrameStore::OpenFrameStore(frames.Path());
        } catch (const store::StoreError&) {
        }
        recording_.ReplaceFrameStore(std::move(written));
    } catch (...) {
        frames.Seek(cursor);
        Finish();
        throw;
    }
    Finish();
    recording_.Rewind();
    return recording_.NextFrame();
}

} // namespace quolva::editor
