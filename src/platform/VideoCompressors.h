#pragma once
// The video compressors this machine offers: encoders of the linked libavcodec that AVI players read,
// each under the FOURCC an AVI stream names it by. What the compressor chooser lists and what quolvactl's
// --codec picks from.
#include "store/WinTypes.h"

#include <QList>
#include <QString>

namespace quolva::platform {

using store::FOURCC;
using store::LONG;

// Qualities as the compressor manager counts them: 0 to 10000, or "the compressor's own default".
inline constexpr LONG ICQUALITY_LOW = 0;
inline constexpr LONG ICQUALITY_HIGH = 10000;
inline constexpr LONG ICQUALITY_DEFAULT = -1;

struct VideoCompressorInfo {
    QString key;          // short name, quolvactl's --codec ("h264")
    QString description;  // as the chooser lists it
    QString encoderName;  // the libavcodec encoder
    FOURCC fccHandler = 0; // the AVI FOURCC (the stream format's biCompression)
    // What the chooser's controls mean for it (the compressor manager's VIDCF_QUALITY, VIDCF_TEMPORAL
    // and VIDCF_CRUNCH): a compressor without them has the control disabled.
    bool quality = false;
    bool keyFrames = false;
    bool dataRate = false;
    bool lossless = false;
    LONG defaultQuality = ICQUALITY_DEFAULT;
    LONG defaultKeyFrameRate = 0; // a key frame every this many frames (0: the compressor decides)

    bool operator==(const VideoCompressorInfo&) const = default;
};

// The compressors whose encoder the linked libavcodec has, in the chooser's order.
const QList<VideoCompressorInfo>& InstalledVideoCompressors();

// The compressor with this key or this FOURCC (case-insensitive), or null.
const VideoCompressorInfo* FindVideoCompressor(const QString& keyOrFourcc);

// The FOURCC as its four characters ("H264").
QString FourccText(FOURCC fourcc);

// What the chooser ends with: the compressor's place in the list it was given and the settings.
struct VideoCompressorChoice {
    int index = 0;
    LONG quality = ICQUALITY_DEFAULT; // lQ
    LONG keyFrameEvery = 0;           // lKey, 0: off
    LONG dataRate = 0;                // lDataRate, KB per second, 0: off
};

} // namespace quolva::platform
