#include "cli/RecordingSetup.h"

#include "platform/Screen.h"
#include "record/Recorder.h"
#include "record/Unit2.h"

#include <stdexcept>

namespace quolva::cli {

QSize PrepareLikeTheWizard(record::Recorder& recorder, record::TForm2& viewfinder, const RecordingTarget& target)
{
    record::RecordingSession& session = recorder.session;
    session.ResetRecordingDefaults();
    QSize frameSize;
    if (target.continueTarget) {
        frameSize = session.ContinueTarget(target.path);
        if (target.region && target.region->size() != frameSize)
            throw std::runtime_error(qPrintable(QStringLiteral("the recording's frames are %1x%2; --region must keep that size")
                                                    .arg(frameSize.width())
                                                    .arg(frameSize.height())));
    } else {
        session.NewTarget(target.path);
    }
    if (target.region) {
        viewfinder.setRegionMode();
        viewfinder.setClientSize(target.region->width(), target.region->height());
        viewfinder.placeClientOnScreen(target.region->topLeft());
        frameSize = target.region->size();
    } else if (!target.continueTarget) {
        viewfinder.setFullScreenMode();
        frameSize = platform::Screen().size();
    } else {
        viewfinder.setRegionMode();
        viewfinder.setClientSize(frameSize.width(), frameSize.height());
        viewfinder.placeClientOnScreen(QPoint(0, 0));
    }
    recorder.settings = {frameSize.width(), frameSize.height(), target.followCursor};
    viewfinder.hideForRecording();
    session.frameCounter = 0;
    session.ready = true;
    return frameSize;
}

} // namespace quolva::cli
