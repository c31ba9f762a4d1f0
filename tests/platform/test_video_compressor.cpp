// The video compression manager on libavcodec: the compressors offered, the chooser's variables, refusing
// frames an encoder cannot take, and a sequence that hands back every frame, also those an encoder holds
// back until the end.
#include "ScriptedPrompts.h"
#include "platform/CompressorChooser.h"
#include "platform/VideoCompressor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSlider>
#include <QSpinBox>
#include <QtTest>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

using namespace quolva;
using namespace quolva::platform;

namespace {

BITMAPINFOHEADER dibFormat(int width, int height, store::WORD bits = 24)
{
    BITMAPINFOHEADER format{};
    format.biSize = sizeof format;
    format.biWidth = width;
    format.biHeight = height;
    format.biPlanes = 1;
    format.biBitCount = bits;
    format.biCompression = store::BI_RGB;
    return format;
}

// A DIB whose content moves with k, so that frames differ and delta frames have something to say.
std::vector<std::uint8_t> dibFrame(int width, int height, int k)
{
    const int stride = (width * 3 + 3) / 4 * 4;
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(stride * height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 3; ++x)
            bits[static_cast<std::size_t>(y * stride + x)] =
                static_cast<std::uint8_t>((x * 2 + y * 3 + ((x / 3 + k * 2) % 16 < 4 ? 120 : 0)) & 0xFF);
    return bits;
}

COMPVARS opened(const QString& key)
{
    COMPVARS pc;
    pc.cbSize = kCompVarsSize;
    const VideoCompressorInfo* info = FindVideoCompressor(key);
    if (!info)
        return pc;
    pc.dwFlags = ICMF_COMPVARS_VALID;
    pc.hic = ICOpen(ICTYPE_VIDEO, info->fccHandler, ICMODE_COMPRESS);
    pc.fccType = ICTYPE_VIDEO;
    pc.fccHandler = info->fccHandler;
    pc.lKey = info->defaultKeyFrameRate;
    return pc;
}

// How many frames libavcodec's decoder of `info`'s encoder makes of the packets, each of the given size
// (shown to `look`); -1 when it refuses them.
int decodedFrames(const VideoCompressorInfo& info, const COMPVARS& pc, const std::vector<QByteArray>& packets,
                  int width, int height, const std::function<void(const AVFrame&)>& look = {})
{
    const AVCodec* encoder = avcodec_find_encoder_by_name(qPrintable(info.encoderName));
    const AVCodec* decoder = encoder ? avcodec_find_decoder(encoder->id) : nullptr;
    if (!decoder)
        return -1;
    const auto freeContext = [](AVCodecContext* c) { avcodec_free_context(&c); };
    const std::unique_ptr<AVCodecContext, decltype(freeContext)> context(avcodec_alloc_context3(decoder), freeContext);
    const BITMAPINFOHEADER* out = OutputFormat(pc);
    context->width = width;
    context->height = height;
    context->codec_tag = out->biCompression;
    context->bits_per_coded_sample = out->biBitCount;
    const std::size_t extra = pc.lpbiOut.size() - sizeof(BITMAPINFOHEADER);
    if (extra > 0) {
        context->extradata = static_cast<std::uint8_t*>(av_mallocz(extra + AV_INPUT_BUFFER_PADDING_SIZE));
        std::memcpy(context->extradata, pc.lpbiOut.data() + sizeof(BITMAPINFOHEADER), extra);
        context->extradata_size = static_cast<int>(extra);
    }
    if (avcodec_open2(context.get(), decoder, nullptr) < 0)
        return -1;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int frames = 0;
    const auto receive = [&] {
        while (avcodec_receive_frame(context.get(), frame) == 0) {
            if (frame->width == width && frame->height == height) {
                ++frames;
                if (look)
                    look(*frame);
            }
            av_frame_unref(frame);
        }
    };
    for (const QByteArray& bytes : packets) {
        av_new_packet(packet, static_cast<int>(bytes.size()));
        std::memcpy(packet->data, bytes.constData(), static_cast<std::size_t>(bytes.size()));
        packet->flags = AV_PKT_FLAG_KEY;
        const int sent = avcodec_send_packet(context.get(), packet);
        av_packet_unref(packet);
        if (sent < 0)
            frames = -1000;
        receive();
    }
    avcodec_send_packet(context.get(), nullptr);
    receive();
    av_frame_free(&frame);
    av_packet_free(&packet);
    return std::max(frames, -1);
}

} // namespace

class VideoCompressorTest : public QObject {
    Q_OBJECT
private slots:
    void offersTheCompressorsPlayersRead_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("fourcc");
        QTest::newRow("H.264") << "h264" << "H264";
        QTest::newRow("MPEG-4 part 2") << "mpeg4" << "FMP4";
        QTest::newRow("Motion JPEG") << "mjpeg" << "MJPG";
        QTest::newRow("Cinepak") << "cinepak" << "cvid";
        QTest::newRow("Microsoft Video 1") << "msvideo1" << "CRAM";
        QTest::newRow("ZMBV") << "zmbv" << "ZMBV";
        QTest::newRow("FFV1") << "ffv1" << "FFV1";
        QTest::newRow("Ut Video") << "utvideo" << "ULRG";
        QTest::newRow("Huffyuv") << "huffyuv" << "HFYU";
    }

    void offersTheCompressorsPlayersRead()
    {
        QFETCH(QString, key);
        QFETCH(QString, fourcc);
        const VideoCompressorInfo* byKey = FindVideoCompressor(key);
        QVERIFY2(byKey, qPrintable(key));
        QCOMPARE(FourccText(byKey->fccHandler), fourcc);
        QCOMPARE(FindVideoCompressor(fourcc.toLower()), byKey);
        QVERIFY(InstalledVideoCompressors().contains(*byKey));
        QVERIFY(ICOpen(ICTYPE_VIDEO, byKey->fccHandler, ICMODE_COMPRESS));
        QVERIFY(!ICOpen(ICTYPE_VIDEO, byKey->fccHandler, 0)); // only compression is offered
    }

    void unknownNamesFindNothing()
    {
        QVERIFY(!FindVideoCompressor(QStringLiteral("vp9")));
        QVERIFY(!FindVideoCompressor(QString()));
        QVERIFY(!ICOpen(ICTYPE_VIDEO, store::mmioFOURCC('X', 'X', 'X', 'X'), ICMODE_COMPRESS));
    }

    void startRefusesFramesTheEncoderCannotTake_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("bits");
        QTest::addColumn<bool>("takes");
        QTest::newRow("H.264, even") << "h264" << 64 << 48 << 24 << true;
        QTest::newRow("H.264, odd width") << "h264" << 65 << 48 << 24 << false;
        QTest::newRow("H.264, odd height") << "h264" << 64 << 49 << 24 << false;
        QTest::newRow("Cinepak, width not a multiple of 4") << "cinepak" << 66 << 48 << 24 << false;
        QTest::newRow("Cinepak, multiples of 4") << "cinepak" << 64 << 48 << 24 << true;
        QTest::newRow("Microsoft Video 1, height not a multiple of 4") << "msvideo1" << 64 << 50 << 24 << false;
        QTest::newRow("FFV1, odd") << "ffv1" << 65 << 49 << 24 << true;
        QTest::newRow("Ut Video, odd") << "utvideo" << 65 << 49 << 24 << true;
        QTest::newRow("Motion JPEG, odd") << "mjpeg" << 65 << 49 << 24 << true;
        QTest::newRow("not a 24-bit DIB") << "ffv1" << 64 << 48 << 32 << false;
        QTest::newRow("no pixels") << "ffv1" << 0 << 48 << 24 << false;
    }

    void startRefusesFramesTheEncoderCannotTake()
    {
        QFETCH(QString, key);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, bits);
        QFETCH(bool, takes);
        COMPVARS pc = opened(key);
        const BITMAPINFOHEADER format = dibFormat(width, height, static_cast<store::WORD>(bits));
        QCOMPARE(ICSeqCompressFrameStart(&pc, &format, 10, 1), takes);
        // A refusal says its cause; a start that succeeded has none.
        QCOMPARE(StartRefusal(pc).isEmpty(), takes);
        if (takes) {
            QVERIFY(OutputFormat(pc));
            QCOMPARE(OutputFormat(pc)->biWidth, width);
            QCOMPARE(OutputFormat(pc)->biHeight, height);
        } else {
            // Nothing started: a frame now is a fault of the caller, not a silent success.
            const std::vector<std::uint8_t> frame(64 * 48 * 4);
            QVERIFY_THROWS_EXCEPTION(VideoCompressorError, ICSeqCompressFrame(&pc, 0, frame.data(), nullptr, nullptr));
        }
        ICCompressorFree(&pc);
    }

    // Every frame that goes in comes back, in the calls of the frames or from the flush at the end; the
    // first is a key frame; the output format names the compressor and carries what its decoder needs.
    void everyFrameComesBack()
    {
        const int width = 64, height = 48, frames = 12;
        const BITMAPINFOHEADER format = dibFormat(width, height);
        for (const VideoCompressorInfo& info : InstalledVideoCompressors()) {
            COMPVARS pc = opened(info.key);
            QVERIFY2(ICSeqCompressFrameStart(&pc, &format, 10, 1), qPrintable(info.key));
            const BITMAPINFOHEADER* out = OutputFormat(pc);
            QVERIFY(out);
            QCOMPARE(std::size_t(out->biSize), pc.lpbiOut.size());
            if (info.key == QLatin1String("utvideo")) {
                QVERIFY2(pc.lpbiOut.size() > sizeof(BITMAPINFOHEADER), "Ut Video's decoder needs its extra data");
                QCOMPARE(FourccText(out->biCompression), QStringLiteral("ULRG"));
            } else {
                QCOMPARE(out->biCompression, info.fccHandler);
            }

            QList<bool> keys;
            int heldBack = 0;
            for (int k = 0; k < frames; ++k) {
                const std::vector<std::uint8_t> bits = dibFrame(width, height, k);
                bool key = false;
                LONG size = -1;
                const void* data = ICSeqCompressFrame(&pc, 0, bits.data(), &key, &size);
                if (!data) {
                    QCOMPARE(size, 0);
                    ++heldBack;
                    continue;
                }
                QVERIFY(size > 0);
                keys << key;
            }
            for (;;) {
                bool key = false;
                LONG size = -1;
                const void* data = ICSeqCompressFrameFlush(&pc, &key, &size);
                if (!data) {
                    QCOMPARE(size, 0);
                    break;
                }
                keys << key;
            }
            QVERIFY2(keys.size() == frames, qPrintable(QStringLiteral("%1: %2 of %3").arg(info.key).arg(keys.size()).arg(frames)));
            QVERIFY2(keys.front(), qPrintable(info.key));
            QCOMPARE(pc.lFrame, frames);
            if (info.key == QLatin1String("h264"))
                QVERIFY2(heldBack > 0, "x264 looks ahead: its first frames come back later");
            ICSeqCompressFrameEnd(&pc);
            ICSeqCompressFrameEnd(&pc); // idempotent
            ICCompressorFree(&pc);
        }
    }

    // The time base of a recording's video stream is N frames in L ÷ R seconds, reduced: sound of a few
    // seconds already makes its terms large (2205000/220529 for 200 frames over 220529 sample frames at
    // 11025 Hz). Every compressor takes it, as it takes the capture pace, and its frame decodes.
    void takesTheTimeBaseOfARecording_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<uint>("rate");
        QTest::addColumn<uint>("scale");
        for (const VideoCompressorInfo& info : InstalledVideoCompressors()) {
            QTest::addRow("%s, 2205000/220529", qPrintable(info.key)) << info.key << 2205000u << 220529u;
            QTest::addRow("%s, 10/1", qPrintable(info.key)) << info.key << 10u << 1u;
            // The extremes: one frame over the longest sound, and many frames over one sample.
            QTest::addRow("%s, 8000/2147483647", qPrintable(info.key)) << info.key << 8000u << 2147483647u;
            QTest::addRow("%s, 2147483647/1", qPrintable(info.key)) << info.key << 2147483647u << 1u;
        }
    }
    void takesTheTimeBaseOfARecording()
    {
        QFETCH(QString, key);
        QFETCH(uint, rate);
        QFETCH(uint, scale);
        const int width = 64, height = 48;
        COMPVARS pc = opened(key);
        const BITMAPINFOHEADER format = dibFormat(width, height);
        QVERIFY(ICSeqCompressFrameStart(&pc, &format, rate, scale));
        std::vector<QByteArray> packets;
        const std::vector<std::uint8_t> bits = dibFrame(width, height, 1);
        LONG size = 0;
        if (const void* data = ICSeqCompressFrame(&pc, 0, bits.data(), nullptr, &size))
            packets.emplace_back(static_cast<const char*>(data), size);
        while (const void* data = ICSeqCompressFrameFlush(&pc, nullptr, &size))
            packets.emplace_back(static_cast<const char*>(data), size);
        QCOMPARE(packets.size(), std::size_t{1});
        QCOMPARE(decodedFrames(*FindVideoCompressor(key), pc, packets, width, height), 1);
        ICCompressorFree(&pc);
    }

    // The last column of an odd frame keeps its colour in a compressor that shares a chroma sample between
    // two columns: nothing is taken from past the row's end (the DIB's fill and the next row's first pixel,
    // red here on blue).
    void anOddFramesLastColumnKeepsItsColour()
    {
        const int width = 65, height = 49, stride = (width * 3 + 3) / 4 * 4;
        COMPVARS pc = opened(QStringLiteral("mjpeg"));
        const BITMAPINFOHEADER format = dibFormat(width, height);
        QVERIFY(ICSeqCompressFrameStart(&pc, &format, 10, 1));
        std::vector<std::uint8_t> bits(static_cast<std::size_t>(stride * height));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::uint8_t blue[3] = {220, 40, 20}, red[3] = {20, 20, 230}; // B, G, R
                std::memcpy(&bits[static_cast<std::size_t>(y * stride + x * 3)], x == 0 ? red : blue, 3);
            }
        std::vector<QByteArray> packets;
        LONG size = 0;
        if (const void* data = ICSeqCompressFrame(&pc, 0, bits.data(), nullptr, &size))
            packets.emplace_back(static_cast<const char*>(data), size);
        while (const void* data = ICSeqCompressFrameFlush(&pc, nullptr, &size))
            packets.emplace_back(static_cast<const char*>(data), size);
        int worst = -1;
        QCOMPARE(decodedFrames(*FindVideoCompressor(QStringLiteral("mjpeg")), pc, packets, width, height,
                               [&](const AVFrame& frame) {
                                   // Chroma column 32 (pixel 64, the last) against column 16 (pixels 32 and 33).
                                   for (int c = 1; c < 3; ++c)
                                       for (int y = 0; y < (height + 1) / 2; ++y) {
                                           const std::uint8_t* row = frame.data[c] + y * frame.linesize[c];
                                           worst = std::max(worst, std::abs(row[32] - row[16]));
                                       }
                               }),
                 1);
        QVERIFY2(worst >= 0 && worst <= 4, qPrintable(QString::number(worst)));
        ICCompressorFree(&pc);
    }

    void freeLeavesTheVariablesAsDeclared()
    {
        COMPVARS pc = opened(QStringLiteral("mpeg4"));
        const BITMAPINFOHEADER format = dibFormat(64, 48);
        QVERIFY(ICSeqCompressFrameStart(&pc, &format));
        ICCompressorFree(&pc);
        QCOMPARE(pc.cbSize, kCompVarsSize);
        QCOMPARE(pc.dwFlags, 0u);
        QVERIFY(!pc.hic);
        QCOMPARE(pc.fccHandler, 0u);
        QVERIFY(pc.lpbiOut.empty());
        ICCompressorFree(&pc); // idempotent
        QVERIFY(!ICSeqCompressFrameStart(&pc, &format));
    }

    // The chooser through Prompts: declared variables only, cancel leaves them alone, a choice fills them
    // with the settings the chosen compressor honours and the flags allow.
    void chooseFillsTheVariables()
    {
        test::ScriptedPrompts::Installed prompts;
        const BITMAPINFOHEADER format = dibFormat(64, 48);
        QWidget owner;

        COMPVARS undeclared;
        QVERIFY(!ICCompressorChoose(&owner, 0, &format, nullptr, &undeclared, QStringLiteral("Select Compressor")));
        QVERIFY(prompts->compressorRequests.isEmpty());

        COMPVARS pc;
        pc.cbSize = kCompVarsSize;
        prompts->cancelVideoCompressor();
        QVERIFY(!ICCompressorChoose(&owner, ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE, &format, nullptr, &pc,
                                    QStringLiteral("Select Compressor")));
        QCOMPARE(prompts->compressorRequests.size(), 1);
        QCOMPARE(prompts->compressorRequests[0].title, QStringLiteral("Select Compressor"));
        QCOMPARE(prompts->compressorRequests[0].flags, ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE);
        QCOMPARE(prompts->compressorRequests[0].owner, &owner);
        QCOMPARE(prompts->compressorRequests[0].offered, InstalledVideoCompressors());
        QCOMPARE(pc.dwFlags, 0u);
        QVERIFY(!pc.hic);

        prompts->answerVideoCompressor(QStringLiteral("h264"), 8000, 30, 500);
        QVERIFY(ICCompressorChoose(&owner, ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE, &format, nullptr, &pc,
                                   QStringLiteral("Select Compressor")));
        QCOMPARE(pc.dwFlags, ICMF_COMPVARS_VALID);
        QVERIFY(pc.hic);
        QCOMPARE(pc.fccType, ICTYPE_VIDEO);
        QCOMPARE(FourccText(pc.fccHandler), QStringLiteral("H264"));
        QCOMPARE(pc.lQ, 8000);
        QCOMPARE(pc.lKey, 30);
        QCOMPARE(pc.lDataRate, 500);
        QCOMPARE(pc.lpbiIn.biWidth, 64);
        QVERIFY(OutputFormat(pc));

        // The next choice starts where this one ended.
        prompts->answerVideoCompressor(QStringLiteral("msvideo1"), 8000, 0, 500);
        QVERIFY(ICCompressorChoose(&owner, ICMF_CHOOSE_KEYFRAME, &format, nullptr, &pc, QStringLiteral("Select Compressor")));
        const VideoCompressorChoice started = prompts->compressorRequests.last().initial;
        QCOMPARE(InstalledVideoCompressors().at(started.index).key, QStringLiteral("h264"));
        QCOMPARE(started.quality, 8000);
        // Microsoft Video 1 has no quality, and the data rate was not offered.
        QCOMPARE(FourccText(pc.fccHandler), QStringLiteral("CRAM"));
        QCOMPARE(pc.lQ, ICQUALITY_DEFAULT);
        QCOMPARE(pc.lDataRate, 0);
        QCOMPARE(pc.lKey, 0); // the key-frame box was left off
        QVERIFY(prompts->unexpected.isEmpty());
        ICCompressorFree(&pc);
    }

    // The real chooser's controls: what the flags leave out is hidden, what the compressor ignores is
    // disabled, and the choice reads the controls.
    void chooserControlsFollowTheCompressor()
    {
        const QList<VideoCompressorInfo>& offered = InstalledVideoCompressors();
        const int h264 = int(offered.indexOf(*FindVideoCompressor(QStringLiteral("h264"))));
        const int ffv1 = int(offered.indexOf(*FindVideoCompressor(QStringLiteral("ffv1"))));

        CompressorChooser plain(nullptr, QStringLiteral("Select Compressor"), 0, offered, VideoCompressorChoice{h264, -1, 0, 0});
        QCOMPARE(plain.windowTitle(), QStringLiteral("Select Compressor"));
        QVERIFY(plain.keyFrameBox->isHidden());
        QVERIFY(plain.dataRateBox->isHidden());

        CompressorChooser chooser(nullptr, QStringLiteral("Select Compressor"), ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE,
                                  offered, VideoCompressorChoice{h264, 7000, 25, 0});
        QVERIFY(!chooser.keyFrameBox->isHidden());
        QCOMPARE(chooser.compressors->count(), offered.size());
        QVERIFY(chooser.quality->isEnabled());
        QCOMPARE(chooser.quality->value(), 70);
        QVERIFY(chooser.keyFrameBox->isChecked());
        QCOMPARE(chooser.keyFrameEvery->value(), 25);
        QVERIFY(chooser.dataRateBox->isEnabled());
        QVERIFY(!chooser.dataRate->isEnabled()); // its box is off
        chooser.dataRateBox->setChecked(true);
        chooser.dataRate->setValue(800);
        VideoCompressorChoice choice = chooser.choice();
        QCOMPARE(choice.index, h264);
        QCOMPARE(choice.quality, 7000);
        QCOMPARE(choice.keyFrameEvery, 25);
        QCOMPARE(choice.dataRate, 800);

        chooser.compressors->setCurrentIndex(ffv1); // lossless: no quality, no data rate
        QVERIFY(!chooser.quality->isEnabled());
        QVERIFY(!chooser.dataRateBox->isEnabled());
        QVERIFY(chooser.keyFrameBox->isEnabled());
        choice = chooser.choice();
        QCOMPARE(choice.index, ffv1);
        QCOMPARE(choice.quality, ICQUALITY_DEFAULT);
        QCOMPARE(choice.dataRate, 0);
        QCOMPARE(choice.keyFrameEvery, FindVideoCompressor(QStringLiteral("ffv1"))->defaultKeyFrameRate);
    }
};

QTEST_MAIN(VideoCompressorTest)
#include "test_video_compressor.moc"
