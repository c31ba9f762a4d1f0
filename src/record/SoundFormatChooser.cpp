#include "record/SoundFormatChooser.h"

#include "platform/Prompts.h"
#include "platform/WaveIn.h"
#include "record/RecordingSession.h"

#include <cstring>

namespace quolva::record {

static_assert(sizeof(store::SoundFormatArea) == platform::SoundFormat::kAreaSize);

platform::SoundFormat toPlatformFormat(const store::SoundFormatArea& area)
{
    platform::SoundFormat::Area bytes{};
    std::memcpy(bytes.data(), &area, bytes.size());
    return platform::SoundFormat::fromArea(bytes);
}

store::SoundFormatArea toSoundFormatArea(const platform::SoundFormat& format)
{
    const platform::SoundFormat::Area bytes = format.toArea();
    store::SoundFormatArea area{};
    std::memcpy(&area, bytes.data(), bytes.size());
    return area;
}

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
