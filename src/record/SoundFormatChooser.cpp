#include "record/SoundFormatChooser.h"

#include "platform/Prompts.h"
#include "platform/WaveIn.h"
#include "record/RecordingSession.h"
#include "record/SoundFormatArea.h"


namespace quolva::record {

platform::MMResult ChooseSessionSoundFormat(QWidget* owner, RecordingSession& session)
{
    const platform::SoundFormatChoice choice =
        platform::prompts().chooseSoundFormat(owner, QStringLiteral("Select Audio Format"),
                                              toPlatformFormat(session.soundFormat),
                                              platform::supportedRecordingFormats());
    if (choice.result == platform::MMSYSERR_NOERROR)
        session.soundFormat = toSoundFormatArea(choice.format);
    if (choice.result == platform::MMSYSERR_NOERROR || choice.result == platform::ACMERR_CANCELED)
        session.ApplySoundFormatToStreamInfo();
    return choice.result;
}

} // namespace quolva::record
