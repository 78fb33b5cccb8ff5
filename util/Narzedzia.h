#pragma once

// Narzedzia: the program's small shared helpers.
//
// - WytnijPole / ZamienTekst work on single-byte text: the QByteArray forms
//   are the ones used on the device's report; the QString forms do the same
//   per character for texts that are already decoded.
// - WersjaPliku gives the version of the program's own executable.
// - CzytajIni / ZapiszIni read and write a list of settings in one call.
// - The Windows-1250 conversions come from Cp1250.h (included here).

#include "Cp1250.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Cuts the field that follows the given occurrence (counted from 1) of a
// one-character separator, up to a one-character end mark or the end of the
// text. An empty separator starts the field at the first character. A
// separator or end mark of more than one character never matches.
QByteArray WytnijPole(const QByteArray &tekst, const QByteArray &separator, int wystapienie,
                      const QByteArray &koniec = QByteArray());
QString WytnijPole(const QString &tekst, const QString &separator, int wystapienie,
                   const QString &koniec = QString());

// Replaces every occurrence of wzorzec, searching again from the start after
// each replacement (so an occurrence formed across a replacement is replaced
// too), for texts of any length. A replacement longer than the pattern, or
// one that contains it, could make that search go on forever; it is put in
// with one left-to-right pass instead, whatever the text.
QByteArray ZamienTekst(const QByteArray &tekst, const QByteArray &wzorzec,
                       const QByteArray &zamiana);
QString ZamienTekst(const QString &tekst, const QString &wzorzec, const QString &zamiana);

// "major.minor.release.build" of the program's own executable; the empty
// text for any other file (Linux executables carry no version resource).
QString WersjaPliku(const QString &sciezka);

// The version compiled into the program, "major.minor.release.build".
QString WersjaProgramu();

// Four version numbers in decimal, without leading zeros, joined by ".".
QString TekstWersji(quint16 glowny, quint16 poboczny, quint16 wydanie, quint16 kompilacja);

// Reads key i of section i for every i < sekcje.size() into wartosci[i],
// defaults[i] standing in for a missing file, section or key. The file is
// Windows-1250, or UTF-8 when it starts with the byte-order mark (PlikIni.h).
// wartosci grows to sekcje.size() when shorter. A failure shows
// "Nieprawidłowa ilość parametrów wczytywanych!" and returns;
// the values read so far are kept.
void CzytajIni(const QString &plik, const QStringList &sekcje, const QStringList &klucze,
               QStringList &wartosci, const QStringList &domyslne);
// That message, for every reader of settings.
QString TekstBleduOdczytuUstawien();

// Writes value i as key i of section i, in order, in one replacement of the
// file (atomic where its folder takes a new file, else in place): either
// every key is written or the write fails. The file stays Windows-1250 while
// all of it fits there and becomes UTF-8 otherwise, so any text reads back
// exactly. A refused write throws BladPlikuIni (platform/PlikIni.h) naming
// the file and the reason.
void ZapiszIni(const QString &plik, const QStringList &sekcje, const QStringList &klucze,
               const QStringList &wartosci);
