#include "editor/Dubbing.h"

#include "editor/OpenRecording.h"
#include "store/AviFileServices.h"

#include <chrono>

namespace quolva::editor {
namespace {

// How long the last buffers of a stopped capture may take to come back (they are due at once).
constexpr std::chrono::milliseconds kLastBuffersTimeout{3000};

} // namespace

Dubbing::Dubbing(OpenRecording& recording, QWidget* messageOwner) : recording_(recording), capture_(messageOwner) {}

Dubbing::~Dubbing()
{
    try {
        Finish();
    } catch (...) {
        // At exit there is nobody left to tell; the streams are released with the recording.
    }
}

void Dubbing::AddStream()
{
    // The buffers of an earlier capture belong to the earlier stream: written there first.
    if (capture_.buffersOutstanding() > 0)
        capture_.WaitForLastBuffers(kLastBuffersTimeout);

    store::PAVISTREAM stream;
    if (store::AVIFileCreateStream(recording_.aviFile, &stream, recording_.audioStreamInfo) != store::AVIERR_OK)
        throw store::StoreError(store::AviLastError());
    store::AVIStreamSetFormat(stream, 0, &recording_.audioFormat, sizeof recording_.audioFormat);
    recording_.dubbingStreams.push_back(stream);
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
    if (capture_.buffersOutstanding() > 0)
        capture_.WaitForLastBuffers(kLastBuffersTimeout);
}

} // namespace quolva::editor
