#include "platform/WaveInQt.h"

#include <QAudioSource>
#include <QDeadlineTimer>
#include <QMediaDevices>

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/operation.h>

#include <algorithm>

namespace quolva::platform {

// ---- the server's default source ----

namespace {

struct MainloopFree {
    void operator()(pa_mainloop* m) const { pa_mainloop_free(m); }
};
struct ContextRelease {
    void operator()(pa_context* c) const
    {
        pa_context_disconnect(c);
        pa_context_unref(c);
    }
};
struct OperationRelease {
    void operator()(pa_operation* o) const
    {
        pa_operation_cancel(o);
        pa_operation_unref(o);
    }
};

struct ServerInfoQuery {
    QByteArray defaultSource;
    bool answered = false;
};

// Runs the main loop until `done` or the deadline; false when the deadline came first or the loop failed.
template <typename Done>
bool iterateUntil(pa_mainloop* loop, const QDeadlineTimer& deadline, Done done)
{
    while (!done()) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return false;
        if (pa_mainloop_prepare(loop, static_cast<int>(std::min<qint64>(left, 100) * 1000)) < 0 ||
            pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0)
            return false;
    }
    return true;
}

}  // namespace

QByteArray soundServerDefaultSourceName(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    std::unique_ptr<pa_mainloop, MainloopFree> loop(pa_mainloop_new());
    if (!loop)
        return {};
    std::unique_ptr<pa_context, ContextRelease> context(
        pa_context_new(pa_mainloop_get_api(loop.get()), "Quolva default source query"));
    if (!context)
        return {};
    // No autospawn: a recorder must not start a sound server just to ask it something.
    if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return {};
    bool failed = false;
    const bool ready = iterateUntil(loop.get(), deadline, [&] {
        const pa_context_state_t s = pa_context_get_state(context.get());
        failed = !PA_CONTEXT_IS_GOOD(s);
        return s == PA_CONTEXT_READY || failed;
    });
    if (!ready || failed)
        return {};

    ServerInfoQuery query;
    const auto onInfo = [](pa_context*, const pa_server_info* info, void* userdata) {
        auto* q = static_cast<ServerInfoQuery*>(userdata);
        if (info && info->default_source_name)
            q->defaultSource = QByteArray(info->default_source_name);
        q->answered = true;
    };
    std::unique_ptr<pa_operation, OperationRelease> op(pa_context_get_server_info(context.get(), onInfo, &query));
    if (!op)
        return {};
    iterateUntil(loop.get(), deadline, [&] {
        return query.answered || pa_operation_get_state(op.get()) != PA_OPERATION_RUNNING;
    });
    return query.defaultSource;
}

QAudioDevice defaultSoundInputDevice()
{
    const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    const QByteArray name = soundServerDefaultSourceName();
    if (!name.isEmpty()) {
        for (const QAudioDevice& d : inputs) {
            if (d.id() == name)
                return d;
        }
    }
    return QMediaDevices::defaultAudioInput();
}

QAudioFormat toQAudioFormat(const SoundFormat& format)
{
    QAudioFormat f;
    f.setSampleRate(static_cast<int>(format.nSamplesPerSec));
    f.setChannelCount(format.nChannels);
    f.setSampleFormat(format.wBitsPerSample == 8 ? QAudioFormat::UInt8 : QAudioFormat::Int16);
    return f;
}

// ---- the device ----

WaveInQt::WaveInQt(const QAudioDevice& device, const SoundFormat& format, WaveInSink& sink)
    : m_device(device), m_format(format), m_sink(sink)
{
    // Sound is also fetched on a timer, not only on readyRead: after a stretch with no buffer queued the
    // device has nothing new to announce but holds sound that is due.
    m_poll.setInterval(50);
    connect(&m_poll, &QTimer::timeout, this, &WaveInQt::pull);
    m_scratch.resize(64 * 1024);
}

WaveInQt::~WaveInQt()
{
    stop();
}

MMResult WaveInQt::start()
{
    if (m_source)
        return MMSYSERR_NOERROR;
    m_source = std::make_unique<QAudioSource>(m_device, toQAudioFormat(m_format));
    // A short fragment keeps the sound flowing in small pieces (the server hands it over in fragments of
    // this size); sound that waits while the GUI thread is busy stays in the stream's own, larger buffer.
    m_source->setBufferSize(static_cast<qsizetype>(m_format.nAvgBytesPerSec / 10));
    m_io = m_source->start();
    if (!m_io || m_source->error() != QAudio::NoError) {
        m_io = nullptr;
        m_source.reset();
        return MMSYSERR_ERROR;
    }
    connect(m_io, &QIODevice::readyRead, this, &WaveInQt::pull);
    m_poll.start();
    return MMSYSERR_NOERROR;
}

void WaveInQt::stop()
{
    if (!m_source)
        return;
    pull();
    m_poll.stop();
    m_source->stop();
    m_io = nullptr;
    m_source.reset();
}

QString WaveInQt::description() const
{
    return QString::fromUtf8(m_device.id());
}

void WaveInQt::pull()
{
    if (!m_io)
        return;
    for (;;) {
        // Whole sample blocks only, so that the sound stays aligned in the buffers.
        qsizetype want = std::min(m_sink.freeSpace(), m_scratch.size());
        want -= want % m_format.nBlockAlign;
        if (want <= 0)
            return;
        const qint64 got = m_io->read(m_scratch.data(), want);
        if (got <= 0)
            return;
        m_sink.write(m_scratch.constData(), got);
    }
}

WaveInBackendOpening openWaveInQt(const SoundFormat& format, WaveInSink& sink)
{
    WaveInBackendOpening opening;
    const QAudioDevice device = defaultSoundInputDevice();
    if (device.isNull()) {
        opening.result = MMSYSERR_BADDEVICEID;
        opening.error = QStringLiteral("no sound input device (is a sound server running?)");
        return opening;
    }
    if (!device.isFormatSupported(toQAudioFormat(format))) {
        opening.result = WAVERR_BADFORMAT;
        opening.error = QStringLiteral("the input device %1 cannot record %2 Hz, %3 bits, %4 channels")
                            .arg(QString::fromUtf8(device.id()))
                            .arg(format.nSamplesPerSec)
                            .arg(format.wBitsPerSample)
                            .arg(format.nChannels);
        return opening;
    }
    opening.backend = std::make_unique<WaveInQt>(device, format, sink);
    return opening;
}

}  // namespace quolva::platform
