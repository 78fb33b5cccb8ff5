#pragma once

// Private-profile (INI) files, read and written as bytes.
//
// The rules are those of the classic profile functions that settings files
// written on Windows rely on:
// - section and key names match without regard to letter case (ASCII);
// - blanks (spaces, tabs) around a value are dropped, then one pair of
//   enclosing double or single quotes is removed;
// - at most 1023 characters of a value are returned;
// - CR LF and bare LF both end a line;
// - writing a key replaces its value in place, appends a new key after the
//   last line of its section, and appends a new section at the end; every
//   other line and section stays byte for byte.
//
// Text encoding: a file is Windows-1250, as on Windows and in earlier
// versions, unless it starts with the UTF-8 byte-order mark; then it is
// UTF-8. Nothing is guessed from the contents. A write keeps the file in
// Windows-1250 whenever all of it fits there (so such a file is written back
// unchanged when no value changes), and otherwise writes the whole file as
// UTF-8 behind the mark: a folder name in Cyrillic or Chinese reads back
// exactly.
//
// Every write goes through the program's one writer (BezpiecznyZapis.h): the
// whole file is replaced atomically and synced with its folder, so a failure
// never leaves half a file behind. Where the folder takes no new file but the
// file itself may be written, it is rewritten in place after room for all of
// it is reserved. A new settings file is the user's alone (mode 0600).

#include "Bledy.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <stdexcept>

// A settings file that could not be written: what happened and what to do,
// naming the file and the system's reason; the errno in the details.
class BladPlikuIni : public std::runtime_error, public OpisanyBlad
{
public:
    // kod is the errno; czynnosc the call that failed ("open", "rename"),
    // for the details; powod replaces the system's reason when given.
    BladPlikuIni(const QString &plik, int kod, const QString &czynnosc,
                 const QString &powod = QString());
    const QString &Plik() const { return plik_; }
    int Kod() const { return kod_; }
    QString TekstUzytkownika() const override;
    QString Szczegoly() const override;

private:
    QString plik_;
    int kod_;
    QString czynnosc_;
    QString powod_;
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

    // The same as texts, in the file's encoding (see the top of this file).
    QString ReadText(const QString &sekcja, const QString &klucz, const QString &domyslna) const;
    struct WpisTekstu
    {
        QString sekcja, klucz, wartosc;
    };
    void WriteTexts(const QList<WpisTekstu> &wpisy);

private:
    template <typename F> void Zmien(F zmiana);

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

// The UTF-8 byte-order mark that makes a file UTF-8.
inline constexpr char Bom[] = "\xEF\xBB\xBF";
bool JestUtf8(const QByteArray &zawartosc);

// The value as text, decoded by the file's encoding; at most 1023 characters.
QString CzytajTekst(const QByteArray &zawartosc, const QString &sekcja, const QString &klucz,
                    const QString &domyslna);

// The contents with the keys set, in Windows-1250 when all of it fits,
// otherwise in UTF-8 behind the mark.
QByteArray WpiszTeksty(const QByteArray &zawartosc, const QList<TIniFile::WpisTekstu> &wpisy);

} // namespace Ini
