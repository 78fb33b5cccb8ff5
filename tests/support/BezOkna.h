#pragma once

// "vestibulomat --pobierz" run as a timer runs it, for the tests of the
// unattended download: a child process with no display, no session bus of
// the user's, and its home and XDG folders inside the test's own folder.

#include <QByteArray>
#include <QString>
#include <QStringList>

struct WynikBezOkna
{
    int kod = -1; // the exit code; -1 when it crashed or was killed after limitMs
    QByteArray wyjscie;
    QByteArray bledy;
};

struct UruchomienieBezOkna
{
    QString program; // the program's copy
    QString korzen;  // holds dom/ (HOME, its .config and .cache) and stan/ (XDG_STATE_HOME)
    QStringList argumenty;
    QString magistrala; // DBUS_SESSION_BUS_ADDRESS of the run; none when empty
    int sygnalPoMs = 0; // SIGTERM that long after the start
    qint64 pamiec = 0;  // RLIMIT_AS of the run; 0: none
    int limitMs = 60000;
};

// A portable copy of the built program in katalog/bin, which keeps its
// settings beside itself, so a test's settings never touch the build's.
// Empty when the program is not there.
QString KopiaProgramu(const QString &katalog);

// Runs it, keeping the event loop going meanwhile (a simulator's output is
// read, a window in the test answers on the bus).
WynikBezOkna UruchomBezOkna(const UruchomienieBezOkna &u);

// The journals left in the state folder under korzen.
QStringList DziennikiBezOkna(const QString &korzen);
