#pragma once

// The settings file's seven values, read in one place for the window and the
// command line alike: the section and its keys, the defaults standing in for
// missing keys, and how each stored text is understood and written.
//
// The window puts the values into the configuration dialog's controls, which
// are the settings for the rest of its run; "Potwierdź" writes the controls
// back through Zapisz. The command line uses the values as they are read.

#include <QString>
#include <QStringList>

namespace Ustawienia {

// The seven keys of section "konfig", in the order they are read and written.
enum Indeks { Obiekt, Katalog, Autozapis, Mail, Port, Synchro, Podglad, Liczba };

// "konfig".
QString Sekcja();
// "konfig" once per key.
QStringList Sekcje();
// "obiekt", "katalog", "autozapis", "mail", "port", "synchro", "podglad".
QStringList Klucze();
// The values standing in for missing keys; the save directory defaults to
// the program directory of a portable copy and to the user's documents
// folder for an installed one (DomyslnyKatalogZapisu).
QStringList Domyslne(const QString &katalogProgramu);

// A stored number: an optional sign and decimal digits, or "$" and
// hexadecimal digits. Anything else throws BladProgramu naming the value and
// the key it was read from: Wartość "<text>" klucza "<key>" nie jest liczbą
// całkowitą.
int NaLiczbe(const QString &tekst, const QString &klucz);

// Only the exact text "True" is true.
inline bool NaLogiczna(const QString &tekst)
{
    return tekst == QLatin1String("True");
}
inline QString ZLogicznej(bool b)
{
    return b ? QStringLiteral("True") : QStringLiteral("False");
}

struct Wartosci
{
    QString obiekt;
    QString katalog;
    int autozapis = -1; // 0 "Zawsze", 1 "Pytaj", 2 "Nigdy"; any other: none
    QString mail;
    QString port;
    bool synchronizuj = false;
    bool podglad = false;

    // Set by reading: the file read, and, when the stored "autozapis" is no
    // whole number, NaLiczbe's message (autozapis is then -1).
    QString plik;
    QString bladAutozapisu;
    // Set when the file itself cannot be used (a FIFO, a device, too large,
    // unreadable, not text by the encoding rules): the message the program
    // gave; the values are then the defaults, or what was read before the
    // failure. The unattended run ends on it; the window goes on.
    QString bladPliku;
};

// The seven stored texts, in the order of Indeks, understood.
Wartosci ZTekstow(const QStringList &teksty);
// The seven texts to store, in the order of Indeks.
QStringList Teksty(const Wartosci &w);

// Reads the settings file of the program in katalogProgramu (with a trailing
// "/", PlikUstawienDoOdczytu). A missing file or key gives the default
// without a word. A file that is no regular file or is over 1 MiB is never
// read (nothing may block or fill the memory): its reason goes through the
// program's messages and every value is its default. A file that cannot be
// read as settings is told ("Nieprawidłowa ilość parametrów wczytywanych!")
// the same way, and the values not read are empty texts. Either sets
// bladPliku.
Wartosci Czytaj(const QString &katalogProgramu);

// Writes all seven values (PlikUstawienDoZapisu) in one replacement of the
// file; a refused write throws BladPlikuIni.
void Zapisz(const QString &katalogProgramu, const Wartosci &w);
// Writes one key only, leaving the others as they are in the file.
void Zapisz(const QString &katalogProgramu, Indeks klucz, const QString &tekst);

} // namespace Ustawienia
