#pragma once

// The scenarios, each run in a child process of its own. A scenario prints
// its figures as "WYNIK key value" lines on stdout for the parent to read.

#include <QMap>
#include <QString>

namespace bench {

using Argumenty = QMap<QString, QString>;

// Start-up: process start to the main window shown (QApplication exists).
int ScenariuszStart(const Argumenty &a);
// The port open on a silent device for a number of seconds.
int ScenariuszBezczynnosc(const Argumenty &a);
// The configuration dialog open, nothing plugged in, for a number of seconds.
int ScenariuszKonfiguracja(const Argumenty &a);
// End of transmission to report shown, for a report of a number of lines.
int ScenariuszKoniecTransmisji(const Argumenty &a);
// A report file sent by the simulator into the main window.
int ScenariuszOdbior(const Argumenty &a);
// The same report read by a plain read() loop: the line's own limit.
int ScenariuszCzytnik(const Argumenty &a);

// One result line.
void Wynik(const char *klucz, const QString &wartosc);
void Wynik(const char *klucz, double wartosc);

} // namespace bench
