#pragma once

// The program without a window: "vestibulomat --pobierz" downloads one
// report, saves it and ends, for a timer on a site's PC (no display, run over
// ssh or by systemd). It reads the same settings file as the window and
// speaks to the device through the same TPobieranie.
//
// The saved path goes to stdout; messages, one Polish line each (a second
// line with the system's error where there is one), to stderr. The options,
// the help and the exit codes are in Opcje.h.

#include "Opcje.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Runs the command line; returns the exit code. Creates its own
// QCoreApplication, so none may exist yet.
int UruchomWierszPolecen(int argc, char **argv);

// Where a report goes in a folder where an earlier file must never be
// replaced.
struct MiejsceRaportu
{
    QString sciezka;           // the name to write, or the file that holds the report already
    bool juzZapisany = false;  // a regular file with exactly these bytes is there
    QStringList zajeteInaczej; // names skipped because a link, FIFO, socket or device holds them
};

// Tries nazwa ("obiekt_od_do.txt") in katalog, then "obiekt_od_do (2).txt",
// "(3)", ... up to the first name that is free or holds exactly dane. Looks
// without following links and opens only regular files. Throws EZapisPliku
// when the folder cannot be looked into.
MiejsceRaportu WybierzMiejsce(const QString &katalog, const QString &nazwa, const QByteArray &dane);
