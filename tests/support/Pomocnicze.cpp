#include "Pomocnicze.h"

#include <QFile>
#include <QRegularExpression>

#include <csignal>

QByteArray CzytajPlik(const QString &sciezka, const QByteArray &gdyBrak)
{
    QFile f(sciezka);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : gdyBrak;
}

bool ZgodnyZWzorem(const QString &tekst, const QString &wzor)
{
    QStringList czesci = wzor.split(u'…');
    for (QString &c : czesci)
        c = QRegularExpression::escape(c);
    const QRegularExpression re(
        QRegularExpression::anchoredPattern(czesci.join(QStringLiteral(".+"))),
        QRegularExpression::DotMatchesEverythingOption);
    return re.match(tekst).hasMatch();
}

Odbiorca Pudelka::Zapisuj(const bool *odpowiedz)
{
    return [this, odpowiedz](Komunikaty::Rodzaj rodzaj, const QString &tekst) {
        append({rodzaj, tekst});
        return odpowiedz ? *odpowiedz : false;
    };
}

int Pudelka::Ile(Komunikaty::Rodzaj rodzaj) const
{
    int n = 0;
    for (const Pudelko &p : *this)
        n += p.rodzaj == rodzaj;
    return n;
}

QStringList Pudelka::Teksty(Komunikaty::Rodzaj rodzaj) const
{
    QStringList wynik;
    for (const Pudelko &p : *this)
        if (p.rodzaj == rodzaj)
            wynik << p.tekst;
    return wynik;
}

QString Pudelka::Opis() const
{
    QStringList o;
    for (const Pudelko &p : *this)
        o << QString::number(int(p.rodzaj)) + QStringLiteral(": ") + p.tekst;
    return o.join(QStringLiteral(" | "));
}

LimitRozmiaruPliku::LimitRozmiaruPliku(rlim_t bajty, bool ignorujSygnal)
    : m_sygnal(ignorujSygnal)
{
    if (m_sygnal)
        m_staraObsluga = std::signal(SIGXFSZ, SIG_IGN);
    m_ok = getrlimit(RLIMIT_FSIZE, &m_stary) == 0;
    rlimit nowy = m_stary;
    nowy.rlim_cur = bajty;
    m_ok = m_ok && setrlimit(RLIMIT_FSIZE, &nowy) == 0;
}

LimitRozmiaruPliku::~LimitRozmiaruPliku()
{
    setrlimit(RLIMIT_FSIZE, &m_stary);
    if (m_sygnal)
        std::signal(SIGXFSZ, m_staraObsluga);
}

ZastepczyXdgEmail::ZastepczyXdgEmail(const QString &polecenia)
{
    m_staryPath = qgetenv("PATH");
    QFile plik(m_katalog.filePath(QStringLiteral("xdg-email")));
    if (plik.open(QIODevice::WriteOnly)) {
        plik.write("#!/bin/sh\nprintf '%s\\0' \"$@\" > '" + zapis().toUtf8() + "'\n" +
                   polecenia.toUtf8() + "\n");
        plik.close();
    }
    plik.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PATH", QFile::encodeName(m_katalog.path()));
}

ZastepczyXdgEmail::~ZastepczyXdgEmail()
{
    qputenv("PATH", m_staryPath);
}

QStringList ZastepczyXdgEmail::argumenty() const
{
    const QList<QByteArray> czesci = CzytajPlik(zapis()).split('\0');
    QStringList wynik;
    for (qsizetype i = 0; i + 1 < czesci.size(); ++i)
        wynik << QString::fromUtf8(czesci.at(i));
    return wynik;
}
