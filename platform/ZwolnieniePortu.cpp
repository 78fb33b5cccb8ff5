#include "ZwolnieniePortu.h"

#include "Magistrala.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace {

// A connection of its own, ended on return: the call leaves nothing behind
// in a process that goes on.
class Polaczenie
{
public:
    Polaczenie()
        : m_c(QDBusConnection::connectToBus(AdresMagistraliSesji(), kNazwa))
    {}
    ~Polaczenie() { QDBusConnection::disconnectFromBus(kNazwa); }
    Polaczenie(const Polaczenie &) = delete;
    Polaczenie &operator=(const Polaczenie &) = delete;
    QDBusConnection &operator*() { return m_c; }

private:
    static inline const QString kNazwa = QStringLiteral("vestibulomat-prosba-o-port");
    QDBusConnection m_c;
};

} // namespace

bool PoprosOknoOPort(int limitMs)
{
    if (!JestMagistralaSesji())
        return false;
    Polaczenie polaczenie;
    if (!(*polaczenie).isConnected())
        return false;
    QDBusMessage m = QDBusMessage::createMethodCall(UslugaOkna(), ObiektOkna(), InterfejsOkna(),
                                                    QStringLiteral("ZwolnijPort"));
    // No window, no answer: the bus must not start anything for this name.
    m.setAutoStartService(false);

    const QDBusMessage odpowiedz = ZapytajIZaczekaj(*polaczenie, m, limitMs);
    return odpowiedz.type() == QDBusMessage::ReplyMessage && !odpowiedz.arguments().isEmpty() &&
           odpowiedz.arguments().constFirst().toBool();
}
