#include "ZwolnieniePortu.h"

#include "Magistrala.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEventLoop>
#include <QTimer>

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

    QDBusPendingCallWatcher obserwator((*polaczenie).asyncCall(m, limitMs));
    QEventLoop petla;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&obserwator, &QDBusPendingCallWatcher::finished, &petla, &QEventLoop::quit);
    QObject::connect(&limit, &QTimer::timeout, &petla, &QEventLoop::quit);
    limit.start(limitMs);
    if (!obserwator.isFinished())
        petla.exec();
    if (!obserwator.isFinished() || obserwator.isError())
        return false;
    const QDBusPendingReply<bool> odpowiedz = obserwator;
    return odpowiedz.isValid() && odpowiedz.value();
}
