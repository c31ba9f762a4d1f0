#include "platform/WaveIn.h"

#include "platform/SoundPauseCut.h"

#include "platform/WaveInBackend.h"
#include "platform/WaveInQt.h"
#include "platform/WaveInSynthetic.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>

#include <algorithm>
#include <cstring>
#include <deque>

namespace quolva::platform {

// ---- buffer-done event ----

QEvent::Type WaveInDataEvent::eventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

WaveInDataEvent::WaveInDataEvent(const WaveIn* device, WaveHeader* header)
    : QEvent(eventType()), m_device(device), m_header(header)
{
}

WaveInDataEvent::~WaveInDataEvent() = default;

// ---- the handle ----

struct WaveIn::Impl final : WaveInSink {
    explicit Impl(WaveIn* owner) : self(owner) {}

    WaveIn* self;
    bool open = false;
    bool started = false;
    SoundFormat format;
    QElapsedTimer clock;  // since the backend started
    SoundPauseCut pauses; // what it delivers while paused is dropped
    QPointer<QObject> receiver;
    std::unique_ptr<WaveInBackend> backend;
    std::deque<WaveHeader*> queue;
    QString error;

    // A buffer takes whole sample blocks only.
    qsizetype capacity(const WaveHeader* h) const
    {
        return static_cast<qsizetype>(h->dwBufferLength - h->dwBufferLength % format.nBlockAlign);
    }

    qsizetype freeSpace() const override
    {
        qsizetype space = 0;
        for (const WaveHeader* h : queue)
            space += capacity(h) - static_cast<qsizetype>(h->dwBytesRecorded);
        return space;
    }

    void write(const char* data, qsizetype size) override
    {
        pauses.Filter(data, size, [this](const char* kept, qsizetype keptSize) { fill(kept, keptSize); });
    }

    void fill(const char* data, qsizetype size)
    {
        while (size > 0 && !queue.empty()) {
            WaveHeader* head = queue.front();
            const qsizetype room = capacity(head) - static_cast<qsizetype>(head->dwBytesRecorded);
            const qsizetype take = std::min(room, size);
            std::memcpy(head->lpData + head->dwBytesRecorded, data, static_cast<std::size_t>(take));
            head->dwBytesRecorded += static_cast<std::uint32_t>(take);
            data += take;
            size -= take;
            if (head->dwBytesRecorded == capacity(head))
                handBackHead();
        }
    }

    void handBackHead()
    {
        WaveHeader* h = queue.front();
        queue.pop_front();
        h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        if (receiver)
            QCoreApplication::postEvent(receiver, new WaveInDataEvent(self, h));
    }

    MMResult fail(MMResult code, const QString& why)
    {
        error = why;
        return code;
    }

    MMResult ok()
    {
        error.clear();
        return MMSYSERR_NOERROR;
    }

    void stopBackend()
    {
        if (started && backend)
            backend->stop();
        started = false;
        pauses = SoundPauseCut(); // what the stop brought in was cut already
    }
};

WaveIn::WaveIn() : d(std::make_unique<Impl>(this)) {}

WaveIn::~WaveIn()
{
    // The queue goes first so that stopping cannot hand a buffer back from a handle being destroyed.
    for (WaveHeader* h : d->queue)
        h->dwFlags &= ~WHDR_INQUEUE;
    d->queue.clear();
    d->stopBackend();
}

MMResult WaveIn::waveInOpen(const SoundFormat& format, QObject* receiver)
{
    if (d->open)
        return d->fail(MMSYSERR_ALLOCATED, QStringLiteral("the waveform input handle is already open"));
    if (!receiver)
        return d->fail(MMSYSERR_INVALPARAM, QStringLiteral("no receiver for the buffer-done events"));
    if (!format.isConsistentPcm())
        return d->fail(WAVERR_BADFORMAT,
                       QStringLiteral("only PCM with 8 or 16 bits and 1 or 2 channels can be recorded "
                                      "(format tag %1, %2 bits, %3 channels, %4 Hz)")
                           .arg(format.wFormatTag)
                           .arg(format.wBitsPerSample)
                           .arg(format.nChannels)
                           .arg(format.nSamplesPerSec));
    d->format = format;
    WaveInBackendOpening opening = openWaveInBackend(format, *d);
    if (!opening.backend)
        return d->fail(opening.result, opening.error);
    d->backend = std::move(opening.backend);
    d->receiver = receiver;
    d->open = true;
    d->started = false;
    return d->ok();
}

MMResult WaveIn::waveInPrepareHeader(WaveHeader* header)
{
    if (!d->open)
        return d->fail(MMSYSERR_INVALHANDLE, QStringLiteral("waveInPrepareHeader on a closed handle"));
    if (!header || !header->lpData || header->dwBufferLength < d->format.nBlockAlign)
        return d->fail(MMSYSERR_INVALPARAM, QStringLiteral("waveInPrepareHeader: no buffer, or too small a buffer"));
    if (header->dwFlags & WHDR_INQUEUE)
        return d->fail(WAVERR_STILLPLAYING, QStringLiteral("waveInPrepareHeader: the buffer is queued"));
    header->dwFlags |= WHDR_PREPARED;
    return d->ok();
}

MMResult WaveIn::waveInUnprepareHeader(WaveHeader* header)
{
    if (!d->open)
        return d->fail(MMSYSERR_INVALHANDLE, QStringLiteral("waveInUnprepareHeader on a closed handle"));
    if (!header)
        return d->fail(MMSYSERR_INVALPARAM, QStringLiteral("waveInUnprepareHeader: no header"));
    if (header->dwFlags & WHDR_INQUEUE)
        return d->fail(WAVERR_STILLPLAYING, QStringLiteral("waveInUnprepareHeader: the buffer is still queued"));
    header->dwFlags &= ~WHDR_PREPARED;
    return d->ok();
}

MMResult WaveIn::waveInAddBuffer(WaveHeader* header)
{
    if (!d->open)
        return d->fail(MMSYSERR_INVALHANDLE, QStringLiteral("waveInAddBuffer on a closed handle"));
    if (!header)
        return d->fail(MMSYSERR_INVALPARAM, QStringLiteral("waveInAddBuffer: no header"));
    if (!(header->dwFlags & WHDR_PREPARED))
        return d->fail(WAVERR_UNPREPARED, QStringLiteral("waveInAddBuffer: the header is not prepared"));
    if (header->dwFlags & WHDR_INQUEUE)
        return d->fail(WAVERR_STILLPLAYING, QStringLiteral("waveInAddBuffer: the buffer is already queued"));
    header->dwBytesRecorded = 0;
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    d->queue.push_back(header);
    if (d->started)
        d->backend->spaceAvailable();
    return d->ok();
}

MMResult WaveIn::waveInStart()
{
    if (!d->open)
        return d->fail(MMSYSERR_INVALHANDLE, QStringLiteral("waveInStart on a closed handle"));
    if (d->pauses.isPaused()) {
        d->pauses.Resume(d->clock.nsecsElapsed());
        return d->ok();
    }
    if (d->started)
        return d->ok();
    const MMResult r = d->backend->start();
    if (r != MMSYSERR_NOERROR)
        return d->fail(r, QStringLiteral("the input device %1 did not start").arg(d->backend->description()));
    d->clock.start();
    d->pauses.Start(d->format.nAvgBytesPerSec, d->format.nBlockAlign, 0);
    d->started = true;
    return d->ok();
}

MMResult WaveIn::waveInStop()
{
    if (!d->open)
        return d->fail(MMSYSERR_INVALHANDLE, QStringLiteral("waveInStop on a closed handle"));
    d->stopBackend();
    if (!d->queue.empty() && d->queue.front()->dwBytesRecorded > 0)
        d->handBackHead();
    return d->ok();
}

MMResult WaveIn::waveInPause()
{
    if (!d->open)
        return d->fail(MMSYSERR_INVALHANDLE, QStringLiteral("waveInPause on a closed handle"));
    if (!d->started || d->pauses.isPaused())
        return d->ok();
    d->pauses.Pause(d->clock.nsecsElapsed());
    if (!d->queue.empty() && d->queue.front()->dwBytesRecorded > 0)
        d->handBackHead();
    return d->ok();
}

MMResult WaveIn::waveInReset()
{
    if (!d->open)
        return d->fail(MMSYSERR_INVALHANDLE, QStringLiteral("waveInReset on a closed handle"));
    d->stopBackend();
    while (!d->queue.empty())
        d->handBackHead();
    return d->ok();
}

MMResult WaveIn::waveInClose()
{
    if (!d->open)
        return d->ok();
    if (!d->queue.empty())
        return d->fail(WAVERR_STILLPLAYING, QStringLiteral("waveInClose: buffers are still queued"));
    d->stopBackend();
    d->backend.reset();
    d->receiver = nullptr;
    d->open = false;
    return d->ok();
}

bool WaveIn::isOpen() const
{
    return d->open;
}

bool WaveIn::isStarted() const
{
    return d->started;
}

QString WaveIn::lastError() const
{
    return d->error;
}

QString WaveIn::deviceDescription() const
{
    return d->backend ? d->backend->description() : QString();
}

// ---- choosing the device ----

namespace {

struct SourceChoice {
    enum Kind { Server, Tone, Wav, None, Invalid } kind = Server;
    double toneHz = 0;
    QString wavPath;
    QString text;  // the variable's value, for messages
};

SourceChoice chosenSource()
{
    SourceChoice c;
    if (!qEnvironmentVariableIsSet("QUOLVA_SOUND_SOURCE"))
        return c;
    c.text = qEnvironmentVariable("QUOLVA_SOUND_SOURCE");
    if (c.text == QLatin1String("none")) {
        c.kind = SourceChoice::None;
    } else if (c.text.startsWith(QLatin1String("tone:"))) {
        bool ok = false;
        c.toneHz = c.text.mid(5).toDouble(&ok);
        c.kind = ok && c.toneHz > 0 && c.toneHz < 100000 ? SourceChoice::Tone : SourceChoice::Invalid;
    } else if (c.text.startsWith(QLatin1String("wav:")) && c.text.size() > 4) {
        c.kind = SourceChoice::Wav;
        c.wavPath = c.text.mid(4);
    } else {
        c.kind = SourceChoice::Invalid;
    }
    return c;
}

}  // namespace

WaveInBackendOpening openWaveInBackend(const SoundFormat& format, WaveInSink& sink)
{
    const SourceChoice c = chosenSource();
    WaveInBackendOpening opening;
    switch (c.kind) {
    case SourceChoice::Server:
        return openWaveInQt(format, sink);
    case SourceChoice::None:
        opening.result = MMSYSERR_BADDEVICEID;
        opening.error = QStringLiteral("no waveform input device (QUOLVA_SOUND_SOURCE=none)");
        return opening;
    case SourceChoice::Invalid:
        opening.result = MMSYSERR_BADDEVICEID;
        opening.error = QStringLiteral("QUOLVA_SOUND_SOURCE=\"%1\" names no sound source; use tone:HZ, "
                                       "wav:/path/file.wav or none")
                            .arg(c.text);
        return opening;
    case SourceChoice::Tone:
        opening.backend = std::make_unique<WaveInSynthetic>(makeToneGenerator(c.toneHz, format), format, sink,
                                                            QStringLiteral("tone %1 Hz").arg(c.toneHz));
        return opening;
    case SourceChoice::Wav:
        try {
            opening.backend = std::make_unique<WaveInSynthetic>(makeWavGenerator(c.wavPath, format), format, sink,
                                                                QStringLiteral("sound file %1").arg(c.wavPath));
        } catch (const std::exception& e) {
            opening.result = MMSYSERR_BADDEVICEID;
            opening.error = QString::fromUtf8(e.what());
        }
        return opening;
    }
    return opening;
}

QList<SoundFormat> supportedRecordingFormats()
{
    QList<SoundFormat> formats;
    const SourceChoice c = chosenSource();
    if (c.kind == SourceChoice::None || c.kind == SourceChoice::Invalid)
        return formats;
    const bool server = c.kind == SourceChoice::Server;
    const QAudioDevice device = server ? defaultSoundInputDevice() : QAudioDevice();
    if (server && device.isNull())
        return formats;
    for (std::uint16_t channels : {1, 2}) {
        for (std::uint32_t rate : {8000u, 11025u, 22050u, 44100u, 48000u}) {
            const SoundFormat f = SoundFormat::pcm(rate, 16, channels);
            // The synthetic sources make any PCM format; a server device is asked.
            if (!server || device.isFormatSupported(toQAudioFormat(f)))
                formats.push_back(f);
        }
    }
    return formats;
}

}  // namespace quolva::platform
