#pragma once

// Small helpers several tests need: a file's bytes, the boxes the program
// showed, a file-size limit, and a stand-in mail client.

#include "Komunikaty.h"
#include "UjscieTestowe.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/resource.h>

// The whole file, or gdyBrak when it cannot be read.
QByteArray CzytajPlik(const QString &sciezka, const QByteArray &gdyBrak = QByteArray());

// Whether tekst reads as wzor, where each "…" stands for some non-empty
// text: the system's description of an error, whose wording one errno table
// checks. Elsewhere a test checks the rest of the message and the errno name
// in the details.
bool ZgodnyZWzorem(const QString &tekst, const QString &wzor);

// One box the program showed.
struct Pudelko
{
    Komunikaty::Rodzaj rodzaj;
    QString tekst;
};

// The boxes shown, in order, as the recording sink hands them over.
class Pudelka : public QList<Pudelko>
{
public:
    // A receiver for the recording sink (UjscieTestowe.h) that records each
    // box here and answers with *odpowiedz (false when none is given).
    Odbiorca Zapisuj(const bool *odpowiedz = nullptr);
    int Ile(Komunikaty::Rodzaj rodzaj) const;
    QStringList Teksty(Komunikaty::Rodzaj rodzaj) const;
    // Every box as "kind: text", for a failure message.
    QString Opis() const;
};

// Files may not grow beyond a few bytes while this lives: a write past the
// limit fails even for root, which permission bits would not stop. The
// program itself ignores SIGXFSZ when it makes its windows; a test that
// makes none asks for it with ignorujSygnal (the old handling comes back).
class LimitRozmiaruPliku
{
public:
    explicit LimitRozmiaruPliku(rlim_t bajty, bool ignorujSygnal = false);
    ~LimitRozmiaruPliku();
    LimitRozmiaruPliku(const LimitRozmiaruPliku &) = delete;
    LimitRozmiaruPliku &operator=(const LimitRozmiaruPliku &) = delete;
    bool Ok() const { return m_ok; }

private:
    rlimit m_stary{};
    bool m_ok = false;
    bool m_sygnal = false;
    void (*m_staraObsluga)(int) = nullptr;
};

// A stand-in xdg-email in its own directory, put alone on PATH. It records
// its arguments, NUL-separated, then runs polecenia (shell commands; "exit 0"
// hands every message over).
class ZastepczyXdgEmail
{
public:
    explicit ZastepczyXdgEmail(const QString &polecenia = QStringLiteral("exit 0"));
    ~ZastepczyXdgEmail();
    ZastepczyXdgEmail(const ZastepczyXdgEmail &) = delete;
    ZastepczyXdgEmail &operator=(const ZastepczyXdgEmail &) = delete;

    QString zapis() const { return m_katalog.filePath(QStringLiteral("argumenty")); }
    QStringList argumenty() const;

private:
    QTemporaryDir m_katalog;
    QByteArray m_staryPath;
};
