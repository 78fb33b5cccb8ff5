#pragma once

// Reading a file the program did not just write itself (the settings file, a
// journal left behind): opened without waiting (a FIFO or a device in its
// place must never stop the program), taken only when it is a regular file,
// and read up to a bound, so that a planted /dev/zero or a huge file cannot
// take the memory.

#include "Bledy.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>
#include <stdexcept>
#include <sys/types.h>

namespace Czytanie {

// The largest report the program accepts: far more than hundreds of years of
// daily counts. A journal holds at most one report.
inline constexpr qint64 NajwiekszyRaport = qint64(64) << 20;
// The settings file holds seven short values.
inline constexpr qint64 NajwiekszyPlikUstawien = qint64(1) << 20;

enum class Dowiazanie {
    Podazaj, // a link is followed, to a regular file only
    Odrzuc,  // a link is refused (the program's own files)
};

// A file that was refused or could not be read; what() is the user's text.
class BladCzytania : public std::runtime_error, public OpisanyBlad
{
public:
    enum class Przyczyna { NieZwyklyPlik, Dowiazanie, ZaDuzy, System };
    // kod: the errno, or the one nearest a refusal (EINVAL for a file that
    // is not regular, ELOOP for a link, EFBIG for one over the bound).
    BladCzytania(const QString &plik, Przyczyna przyczyna, int kod, const QString &tekst,
                 const QString &szczegoly);
    const QString &Plik() const { return m_plik; }
    Przyczyna PrzyczynaBledu() const { return m_przyczyna; }
    int Kod() const { return m_kod; }
    QString TekstUzytkownika() const override { return m_tekst; }
    QString Szczegoly() const override { return m_szczegoly; }

private:
    QString m_plik;
    Przyczyna m_przyczyna;
    int m_kod;
    QString m_tekst;
    QString m_szczegoly;
};

struct Plik
{
    QByteArray dane;    // all of the file, or its first bytes when asked for
    qint64 rozmiar = 0; // the file's size
    QDateTime zmiana;   // last modification
};

// A regular file of at most granica bytes; only its first ile bytes when ile
// is not negative (the rest is not read). Empty when the name does not exist.
// Throws BladCzytania for anything else that keeps it from being read.
std::optional<Plik> Czytaj(const QString &sciezka, qint64 granica, Dowiazanie dowiazanie,
                           qint64 ile = -1);

// What a file that is not a regular one is, in Polish words for a message:
// "kolejka FIFO", "urządzenie", "gniazdo", "folder", "dowiązanie".
QString RodzajPliku(mode_t tryb);

} // namespace Czytanie
