#include "editor/Dubbing.h"

#include "editor/OpenRecording.h"
#include "store/AviFileServices.h"

#include <chrono>

namespace quolva::editor {
namespace {

// How long the last buffers of a stopped capture may take to come back (they are due at once).
constexpr std::chrono::milliseconds kLastBuffersTimeout{3000};

} // namespace

const QString Dubbing::kActivity = QStringLiteral("录制背景声音");

Dubbing::Dubbing(OpenRecording& recording, QWidget* messageOwner) : recording_(recording), capture_(messageOwner) {}

Dubbing::~Dubbing()
{
    try {
        Finish();
    } catch (...) {
        // At exit there is nobody left to tell; the streams are released with the recording.
    }
}

bool Dubbing::IsDubbing() const
{
    return recording_.IsHeldBy(kActivity);
}

void Dubbing::Begin()
{
    recording_.Hold(kActivity, [this] { Finish(); });
    try {
        AddStream();
    } catch (...) {
        recording_.Release();
        throw;
    }
}

void Dubbing::AddStream()
{
    // The buffers of an earlier capture belong to the earlier stream: written there first.
    if (capture_.buffersOutstanding() > 0)
        capture_.WaitForLastBuffers(kLastBuffersTimeout);
    recording_.dubbingStreams.push_back(
        recording_.AddStream(recording_.audioStreamInfo, &recording_.audioFormat, sizeof recording_.audioFormat));
}

void Dubbing::StartCapture()
{
    if (recording_.dubbingStreams.empty())
        AddStream();
    capture_.StartSoundCapture(recording_.audioFormat, recording_.dubbingStreams.back());
}

void Dubbing::Stop()
{
    if (capture_.isRunning())
        capture_.StopSoundCapture();
}

void Dubbing::Finish()
{
    Stop();
    // Always, buffers outstanding or not: the capture's handle on the stream goes with it.
    capture_.WaitForLastBuffers(capture_.buffersOutstanding() > 0 ? kLastBuffersTimeout : std::chrono::milliseconds(0));
    if (IsDubbing())
        recording_.Release();
}

} // namespace quolva::editor
