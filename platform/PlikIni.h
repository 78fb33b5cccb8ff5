#pragma once

// Private-profile (INI) files, read and written as bytes.
//
// The rules are those of the classic profile functions that settings files
// written on Windows rely on:
// - section and key names match without regard to letter case (ASCII);
// - blanks (spaces, tabs) around a value are dropped, then one pair of
//   enclosing double or single quotes is removed;
// - at most 1023 bytes of a value are returned;
// - CR LF and bare LF both end a line;
// - writing a key replaces its value in place, appends a new key after the
//   last line of its section, and appends a new section at the end; every
//   other line and section stays byte for byte.
// Every write replaces the whole file atomically (a sibling file renamed over
// it), so a failure never leaves half a file behind.

#include <QByteArray>
#include <QList>
#include <QString>

#include <stdexcept>

// A settings file that could not be written; the message names the file.
class BladPlikuIni : public std::runtime_error
{
public:
    BladPlikuIni(const QString &plik, const QString &powod);
    const QString &Plik() const { return plik_; }

private:
    QString plik_;
};

// The accessor: holds only the file's name and goes to the file at every call.
class TIniFile
{
public:
    explicit TIniFile(const QString &plik)
        : plik_(plik)
    {}

    const QString &FileName() const { return plik_; }

    // The value of klucz in sekcja, or domyslna when the file, the section or
    // the key is missing. At most 1023 bytes.
    QByteArray ReadString(const QByteArray &sekcja, const QByteArray &klucz,
                          const QByteArray &domyslna) const;

    // Stores wartosc unchanged (a line break in it would split the line, so
    // CR and LF become spaces). Throws BladPlikuIni when the file cannot be
    // written.
    void WriteString(const QByteArray &sekcja, const QByteArray &klucz, const QByteArray &wartosc);

    struct Wpis
    {
        QByteArray sekcja, klucz, wartosc;
    };
    // Several keys in one replacement of the file: all of them or none.
    void WriteStrings(const QList<Wpis> &wpisy);

private:
    QString plik_;
};

// The same rules on a file's contents in memory.
namespace Ini {

inline constexpr qsizetype NajdluzszaWartosc = 1023;

// The value, or domyslna when the section or key is missing.
QByteArray Czytaj(const QByteArray &zawartosc, const QByteArray &sekcja, const QByteArray &klucz,
                  const QByteArray &domyslna);

// The contents with klucz set to wartosc.
QByteArray Wpisz(const QByteArray &zawartosc, const QByteArray &sekcja, const QByteArray &klucz,
                 const QByteArray &wartosc);

} // namespace Ini
