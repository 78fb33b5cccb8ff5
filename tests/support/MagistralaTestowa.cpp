#include "MagistralaTestowa.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

MagistralaTestowa::MagistralaTestowa()
{
    m_demon.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    if (!m_demon.waitForStarted(5000))
        return;
    while (!m_demon.canReadLine() && m_demon.waitForReadyRead(5000)) {
    }
    m_adres = QString::fromUtf8(m_demon.readLine()).trimmed();
}

MagistralaTestowa::~MagistralaTestowa()
{
    if (!m_nazwaPolaczenia.isEmpty())
        QDBusConnection::disconnectFromBus(m_nazwaPolaczenia);
    m_demon.kill();
    m_demon.waitForFinished(5000);
}

bool MagistralaTestowa::UruchomPowiadomienia()
{
    if (!Dziala())
        return false;
    m_nazwaPolaczenia = QStringLiteral("powiadomienia-testowe");
    QDBusConnection c = QDBusConnection::connectToBus(m_adres, m_nazwaPolaczenia);
    return c.isConnected() &&
           c.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                            QDBusConnection::ExportAllSlots) &&
           c.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

uint MagistralaTestowa::Notify(const QString &, uint, const QString &, const QString &podsumowanie,
                               const QString &tresc, const QStringList &, const QVariantMap &, int)
{
    powiadomienia.append(podsumowanie + u'\n' + tresc);
    return uint(powiadomienia.size());
}
