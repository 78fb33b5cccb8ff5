#include "UslugaOkna.h"

#include "Magistrala.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace {

// A connection of the window's own, so that it follows the bus in force
// when the window starts and ends with it.
const QString &NazwaPolaczenia()
{
    static const QString nazwa = QStringLiteral("vestibulomat-okno");
    return nazwa;
}

} // namespace

TUslugaOkna::TUslugaOkna(std::function<bool()> zwolnij, QObject *parent)
    : QObject(parent)
    , m_zwolnij(std::move(zwolnij))
{
    const QString adres = AdresMagistraliSesji();
    if (adres.isEmpty())
        return;
    QDBusConnection c = QDBusConnection::connectToBus(adres, NazwaPolaczenia());
    m_polaczona = true;
    if (!c.isConnected())
        return;
    if (!c.registerObject(ObiektOkna(), InterfejsOkna(), this, QDBusConnection::ExportAllSlots))
        return;
    // Another window of this user keeps the name; this one is then not asked.
    m_zarejestrowana =
        c.interface()
            ->registerService(UslugaOkna(), QDBusConnectionInterface::DontQueueService,
                              QDBusConnectionInterface::DontAllowReplacement)
            .value() == QDBusConnectionInterface::ServiceRegistered;
    if (!m_zarejestrowana)
        c.unregisterObject(ObiektOkna());
}

TUslugaOkna::~TUslugaOkna()
{
    if (!m_polaczona)
        return;
    {
        QDBusConnection c(NazwaPolaczenia());
        if (m_zarejestrowana && c.isConnected()) {
            c.unregisterObject(ObiektOkna());
            c.unregisterService(UslugaOkna());
        }
    }
    QDBusConnection::disconnectFromBus(NazwaPolaczenia());
}

bool TUslugaOkna::ZwolnijPort()
{
    return m_zwolnij && m_zwolnij();
}
