#pragma once

// The record of unattended runs ("vestibulomat --pobierz"): nobody watches a
// timer's run, so each one leaves a line of what it did, for the window to
// show and for whoever looks into the state folder. One small file,
// KatalogStanu()/przebiegi.json, the last 100 runs, oldest first, written
// whole by the safe writer, so a crash never leaves half of it.

#include <QDateTime>
#include <QList>
#include <QString>

struct Przebieg
{
    QDateTime poczatek;   // local time the run started
    QDateTime koniec;     // and ended
    int kod = -1;         // its exit code
    QString komunikat;    // what it told the user (its stderr lines, "; "-joined)
    QString plik;         // the saved report, empty when none was saved
    QString katalog;      // the save folder
    QString systemPlikow; // the folder's file system, "TYP ŹRÓDŁO", after a save
};

// How many runs the record keeps.
constexpr int kNajwiecejPrzebiegow = 100;

// The runs recorded in the folder katalogStanu, oldest first. A missing file
// is an empty record; a damaged one is read as far as it makes sense. Throws
// BladProgramu (Bledy.h) when the file cannot be read safely.
QList<Przebieg> CzytajPrzebiegi(const QString &katalogStanu);

// Appends p, drops the oldest beyond kNajwiecejPrzebiegow and writes the
// record back. Two runs at the same moment never lose each other's line.
// Throws BladProgramu when it cannot be written.
void DopiszPrzebieg(const QString &katalogStanu, const Przebieg &p);
