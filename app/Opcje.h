#pragma once

// The command line's options, its help and its exit codes, apart from the
// download itself (WierszPolecen.h). The arguments are parsed by Qt's
// QCommandLineParser; what is said to the user stays our own Polish text.
//
// Who gets the arguments is decided first: the window takes none, or only
// Qt's own options ("-platform xcb", "-style fusion", "-reverse", ...);
// anything else belongs to the command line, which refuses what it does not
// know with exit 64 and never opens a window or touches a display.

#include <QString>
#include <QStringList>

#include <optional>

// Exit codes.
enum KodWyjscia : int {
    kwZapisano = 0,       // saved, or the same report was there already
    kwBrakOdpowiedzi = 2, // no answer within the wait
    kwBladPortu = 3,      // port missing, busy, not permitted, device lost
    kwBladZapisu = 4,     // the report could not be saved
    kwBezKonca = 5,       // the report did not end: over the size or the time limit
    kwZleArgumenty = 64,  // the command line cannot be understood
    kwBladUstawien = 78,  // the settings file or the program's own folders cannot be used
    kwSygnal = 143        // ended by SIGTERM (128 + 15), as a shell reports it
};

struct Opcje
{
    bool pobierz = false;
    bool pomoc = false;
    bool wersja = false;
    int czekaj = 60; // seconds to wait for the device's first byte
    // Seconds the whole run may take, from its start: a line that never goes
    // quiet must not keep a timer's run going for ever.
    int najdluzej = 600;
    // The save folder's present file system is accepted (a share moved to
    // another server, a new disk) and recorded for the next runs.
    bool nowyFolder = false;
    std::optional<QString> katalog;
    QString blad; // what is wrong with the arguments; empty when nothing
};

// The arguments as the program got them, the program's name first.
QStringList Argumenty(int argc, char **argv);

// Whether these arguments are the window's: none, or only Qt's own options
// with their values, in the forms Qt itself takes them.
bool DlaOkna(const QStringList &argumenty);

// Whether these arguments are for the command line rather than the window.
bool WierszPolecen(int argc, char **argv);

// The options in argumenty (the program's name first). The first argument
// that is no option of ours, or an option's wrong value, sets blad.
Opcje CzytajOpcje(const QStringList &argumenty);

// What the command line answers before any download: the exit code, what
// goes to stdout and the line for stderr. kod is negative when the options
// ask for a download.
struct Odpowiedz
{
    int kod = -1;
    QString wyjscie;
    QString blad;
};
Odpowiedz OdpowiedzNaOpcje(const Opcje &o);
