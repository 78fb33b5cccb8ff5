#include "Powiadomienie.h"

#include "Magistrala.h"

#include <QDBusConnection>
#include <QDBusMessage>
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

    return ZapytajIZaczekaj(magistrala, m, limitMs).type() == QDBusMessage::ReplyMessage;
}
