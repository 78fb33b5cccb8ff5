#include "Powiadomienie.h"

#include "Magistrala.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEventLoop>
#include <QTimer>
#include <QVariantMap>

bool Powiadom(const QString &podsumowanie, const QString &tresc, int limitMs)
{
    if (!JestMagistralaSesji())
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
