#include "Powiadomienie.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <QVariantMap>

namespace {

// Whether a session bus can be there at all. Without its address Qt would
// try to start one through X11 (dbus-launch), which takes seconds and
// leaves a daemon behind: the libdbus rule is the address in
// DBUS_SESSION_BUS_ADDRESS, else the socket "bus" in XDG_RUNTIME_DIR.
bool JestMagistrala()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return false;
    const QFileInfo gniazdo(runtime + QStringLiteral("/bus"));
    if (!gniazdo.exists())
        return false;
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(gniazdo.filePath()));
    return true;
}

} // namespace

bool Powiadom(const QString &podsumowanie, const QString &tresc, int limitMs)
{
    if (!JestMagistrala())
        return false;
    QDBusConnection magistrala = QDBusConnection::sessionBus();
    if (!magistrala.isConnected())
        return false;
    QDBusMessage m = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap wskazowki;
    // Critical: a failed report stays on the screen until someone sees it.
    wskazowki.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(2)));
    wskazowki.insert(QStringLiteral("desktop-entry"),
                     QStringLiteral("pl.vestibulomat.Vestibulomat"));
    m << QStringLiteral("Vestibulomat") << uint(0) << QStringLiteral("pl.vestibulomat.Vestibulomat")
      << podsumowanie << tresc << QStringList() << wskazowki << int(-1);

    QDBusPendingCallWatcher obserwator(magistrala.asyncCall(m, limitMs));
    QEventLoop petla;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&obserwator, &QDBusPendingCallWatcher::finished, &petla, &QEventLoop::quit);
    QObject::connect(&limit, &QTimer::timeout, &petla, &QEventLoop::quit);
    limit.start(limitMs);
    if (!obserwator.isFinished())
        petla.exec();
    return obserwator.isFinished() && !obserwator.isError();
}
