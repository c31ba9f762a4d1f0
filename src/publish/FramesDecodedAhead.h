#pragma once
#include "editor/FrameReader.h"
#include "publish/OrderedWorkers.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>

namespace quolva::publish {

// The frames of an export, decoded ahead on every core and handed out in the store's order. Records are
// read on the caller's thread with the export's own reader; `decode` (called on the workers, so it must
// be safe to call on several threads at once) turns each into what the export writes. A record that
// cannot be read or decoded comes out in its place in the order, as its exception; nothing is read
// after it.
template <typename Frame>
class FramesDecodedAhead {
public:
    using Decode = std::function<Frame(const store::FrameRecord&)>;

    // At most `limit` frames; `threads` 0: one per core.
    FramesDecodedAhead(editor::FrameReader reader, std::int32_t limit, Decode decode, unsigned threads = 0)
        : reader_(std::move(reader)), decode_(std::move(decode)), unread_(limit), workers_(threads)
    {
    }

    // The next frame; nothing once `limit` frames were handed out or the store has ended.
    std::optional<Frame> Next()
    {
        ReadAhead();
        if (workers_.Empty())
            return std::nullopt;
        Frame frame = workers_.TakeOldest();
        // The workers go on with the following frames while the caller writes this one.
        ReadAhead();
        return frame;
    }

private:
    void ReadAhead()
    {
        while (!ended_ && unread_ > 0 && !workers_.Full()) {
            std::optional<store::FrameRecord> record;
            try {
                record = reader_.NextRecord();
            } catch (const std::exception&) {
                ended_ = true;
                workers_.Submit([failure = std::current_exception()]() -> Frame { std::rethrow_exception(failure); });
                return;
            }
            if (!record) {
                ended_ = true;
                return;
            }
            --unread_;
            workers_.Submit([this, record = std::move(*record)] { return decode_(record); });
        }
    }

    editor::FrameReader reader_;
    Decode decode_;
    std::int32_t unread_; // frames still to be read from the store
    bool ended_ = false;
    OrderedWorkers<Frame> workers_; // last: its threads stop before the rest goes
};

} // namespace quolva::publish
