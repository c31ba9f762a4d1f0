#include "platform/ScreenCastPortal.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QEventLoop>
#include <QObject>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTimer>
#include <QVariantMap>

#include <unistd.h>

namespace quolva::platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");

constexpr unsigned kMonitorSource = 1;
constexpr unsigned kPointerHidden = 1;
constexpr unsigned kPointerAsMetadata = 4;
constexpr unsigned kPersistUntilRevoked = 2;
constexpr int kBusTimeoutMs = 5000;
constexpr int kRetryPauseMs = 1000;

QVariant portalProperty(const QString& name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << kScreenCast << name;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, kBusTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().front().value<QDBusVariant>().variant();
}

// A portal request's answer arrives as a Response signal on an object named after our token; this
// receives it.
class RequestAnswer : public QObject {
    Q_OBJECT
public:
    explicit RequestAnswer(QEventLoop& loop) : loop_(loop) {}
    bool answered = false;
    uint code = 0;
    QVariantMap results;

public slots:
    void onResponse(uint responseCode, const QVariantMap& responseResults)
    {
        answered = true;
        code = responseCode;
        results = responseResults;
        loop_.quit();
    }

private:
    QEventLoop& loop_;
};

QString newToken()
{
    return QStringLiteral("quolva%1").arg(QRandomGenerator::global()->generate());
}

// Calls a portal method whose last argument is its options, and waits for the request's answer.
QVariantMap request(const QString& method, QList<QVariant> arguments, QVariantMap options, std::chrono::milliseconds timeout)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString token = newToken();
    options.insert(QStringLiteral("handle_token"), token);
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString requestPath = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);

    QEventLoop loop;
    RequestAnswer answer(loop);
    // Listening before the call: the answer may come before the call returns.
    bus.connect(kService, requestPath, kRequest, QStringLiteral("Response"), &answer,
                SLOT(onResponse(uint, QVariantMap)));
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kScreenCast, method);
    arguments << options;
    call.setArguments(arguments);
    const QDBusMessage reply = bus.call(call, QDBus::Block, kBusTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        bus.disconnect(kService, requestPath, kRequest, QStringLiteral("Response"), &answer,
                       SLOT(onResponse(uint, QVariantMap)));
        throw std::runtime_error(qPrintable(QStringLiteral("the screen cast portal refused %1: %2")
                                                .arg(method, reply.errorMessage())));
    }
    if (!answer.answered) {
        QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
        loop.exec();
    }
    bus.disconnect(kService, requestPath, kRequest, QStringLiteral("Response"), &answer,
                   SLOT(onResponse(uint, QVariantMap)));
    if (!answer.answered)
        throw ScreenCastRefused(qPrintable(QStringLiteral("the desktop did not answer the request to share the screen "
                                                          "within %1 s (its chooser may be waiting)")
                                               .arg(timeout.count() / 1000)));
    if (answer.code == 1)
        throw ScreenCastRefused("sharing the screen was refused or cancelled");
    if (answer.code != 0)
        throw std::runtime_error(qPrintable(QStringLiteral("the screen cast portal failed at %1").arg(method)));
    return answer.results;
}

QPoint pointOf(const QVariant& value)
{
    const QDBusArgument argument = value.value<QDBusArgument>();
    int x = 0, y = 0;
    argument.beginStructure();
    argument >> x >> y;
    argument.endStructure();
    return {x, y};
}

} // namespace

bool ScreenCastPortal::available()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    const QVariant sources = portalProperty(QStringLiteral("AvailableSourceTypes"));
    return sources.isValid() && (sources.toUInt() & kMonitorSource);
}

ScreenCastPortal::ScreenCastPortal(const QString& restoreToken, std::chrono::milliseconds answerTimeout)
{
    if (!QDBusConnection::sessionBus().isConnected())
        throw std::runtime_error("no session bus: the screen cast portal cannot be reached");
    const std::chrono::milliseconds busTimeout(kBusTimeoutMs);
    auto closeOnFailure = qScopeGuard([this] { close(); });

    // The desktop's side of the portal may be starting again (GNOME's restarts after a session with an
    // open chooser was closed, and fails the first request meanwhile): a failed first step is tried once more.
    QVariantMap created;
    for (int attempt = 1;; ++attempt) {
        try {
            created = request(QStringLiteral("CreateSession"), {},
                              {{QStringLiteral("session_handle_token"), newToken()}}, busTimeout);
            break;
        } catch (const ScreenCastRefused&) {
            throw;
        } catch (const std::runtime_error&) {
            if (attempt == 2)
                throw;
            QEventLoop pause;
            QTimer::singleShot(kRetryPauseMs, &pause, &QEventLoop::quit);
            pause.exec();
        }
    }
    session_ = created.value(QStringLiteral("session_handle")).toString();
    const QDBusObjectPath session(session_);

    // The pointer as metadata beside each picture, so that the arrow is drawn as on X11; never drawn in.
    const bool pointerAsMetadata = portalProperty(QStringLiteral("AvailableCursorModes")).toUInt() & kPointerAsMetadata;
    QVariantMap sources{{QStringLiteral("types"), kMonitorSource},
                        {QStringLiteral("multiple"), false},
                        {QStringLiteral("cursor_mode"), pointerAsMetadata ? kPointerAsMetadata : kPointerHidden},
                        {QStringLiteral("persist_mode"), kPersistUntilRevoked}};
    if (!restoreToken.isEmpty())
        sources.insert(QStringLiteral("restore_token"), restoreToken);
    request(QStringLiteral("SelectSources"), {QVariant::fromValue(session)}, sources, busTimeout);

    const QVariantMap started = request(QStringLiteral("Start"), {QVariant::fromValue(session), QString()}, {}, answerTimeout);
    cast_.restoreToken = started.value(QStringLiteral("restore_token")).toString();
    const QDBusArgument streams = started.value(QStringLiteral("streams")).value<QDBusArgument>();
    bool found = false;
    streams.beginArray();
    while (!streams.atEnd()) {
        uint node = 0;
        QVariantMap properties;
        streams.beginStructure();
        streams >> node >> properties;
        streams.endStructure();
        if (found)
            continue;
        found = true;
        cast_.node = node;
        cast_.position = pointOf(properties.value(QStringLiteral("position")));
        const QPoint size = pointOf(properties.value(QStringLiteral("size")));
        cast_.size = QSize(size.x(), size.y());
    }
    streams.endArray();
    if (!found)
        throw std::runtime_error("the screen cast portal started no stream");

    QDBusMessage open = QDBusMessage::createMethodCall(kService, kPath, kScreenCast, QStringLiteral("OpenPipeWireRemote"));
    open << QVariant::fromValue(session) << QVariantMap();
    const QDBusMessage remote = QDBusConnection::sessionBus().call(open, QDBus::Block, kBusTimeoutMs);
    if (remote.type() != QDBusMessage::ReplyMessage || remote.arguments().isEmpty())
        throw std::runtime_error(qPrintable(QStringLiteral("the screen cast portal gave no PipeWire remote: %1")
                                                .arg(remote.errorMessage())));
    const auto descriptor = remote.arguments().front().value<QDBusUnixFileDescriptor>();
    cast_.pipeWireFd = descriptor.isValid() ? ::dup(descriptor.fileDescriptor()) : -1;
    if (cast_.pipeWireFd < 0)
        throw std::runtime_error("the screen cast portal gave no usable PipeWire remote");
    closeOnFailure.dismiss();
}

ScreenCastPortal::~ScreenCastPortal()
{
    close();
}

void ScreenCastPortal::close()
{
    if (cast_.pipeWireFd >= 0)
        ::close(cast_.pipeWireFd);
    cast_.pipeWireFd = -1;
    if (!session_.isEmpty()) {
        const QDBusMessage end = QDBusMessage::createMethodCall(kService, session_, QStringLiteral("org.freedesktop.portal.Session"),
                                                                QStringLiteral("Close"));
        QDBusConnection::sessionBus().call(end, QDBus::Block, kBusTimeoutMs);
    }
    session_.clear();
}

ScreenCastPortal::Cast ScreenCastPortal::takeCast()
{
    Cast taken = cast_;
    cast_.pipeWireFd = -1;
    return taken;
}

} // namespace quolva::platform

#include "ScreenCastPortal.moc"
