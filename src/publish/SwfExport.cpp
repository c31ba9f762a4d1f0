#include "publish/SwfExport.h"

#include "editor/OpenRecording.h"

namespace quolva::publish {

SwfExport::SwfExport(editor::OpenRecording& recording, std::int32_t frameCount)
    : recording_(recording), frameCount_(frameCount)
{
}

SwfExport::~SwfExport() = default;

void SwfExport::Run(const QString& /*outputPath*/)
{
    throw PublishError("The SWF export is not available yet");
}

} // namespace quolva::publish
