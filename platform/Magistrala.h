#pragma once

// The user's session bus (D-Bus): whether there is one to speak to, and the
// name the program's window owns on it.
//
// The session bus belongs to the user: only the user's own processes can
// connect to it, so a call arriving there comes from the same user.

#include <QString>

// Whether a session bus can be there at all, decided without connecting.
// Without its address Qt would try to start one through X11 (dbus-launch),
// which takes seconds and leaves a daemon behind; the libdbus rule is the
// address in DBUS_SESSION_BUS_ADDRESS, else the socket "bus" in
// XDG_RUNTIME_DIR, whose address is then put into DBUS_SESSION_BUS_ADDRESS.
bool JestMagistralaSesji();

// The session bus's address, as JestMagistralaSesji() found it, read anew
// at each call (a connection of the program's own follows a bus started
// later, which QDBusConnection::sessionBus() never does). Empty when none.
QString AdresMagistraliSesji();

#include <QDBusMessage>

class QDBusConnection;

// Sends the call and waits for its answer for at most limitMs, running the
// event loop meanwhile, so the program never hangs on a bus or a peer that
// does not answer. The reply, or an error message when none came in time.
QDBusMessage ZapytajIZaczekaj(QDBusConnection &polaczenie, const QDBusMessage &wywolanie,
                              int limitMs);

// The running window's name, object and interface on the session bus. Its
// one method, ZwolnijPort() -> b, asks the window to let go of the serial
// port for an unattended download.
inline QString UslugaOkna()
{
    return QStringLiteral("pl.vestibulomat.Vestibulomat");
}
inline QString ObiektOkna()
{
    return QStringLiteral("/pl/vestibulomat/Okno");
}
inline QString InterfejsOkna()
{
    return QStringLiteral("pl.vestibulomat.Okno");
}
