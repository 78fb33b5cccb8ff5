#include "PlikIni.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <vector>

namespace {

bool blank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray bezBlankow(QByteArrayView t)
{
    qsizetype b = 0, e = t.size();
    while (b < e && blank(t[b]))
        ++b;
    while (e > b && blank(t[e - 1]))
        --e;
    return t.sliced(b, e - b).toByteArray();
}

bool rowneBezWielkosci(const QByteArray &a, const QByteArray &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// One line of the file: its text without the line end, and the line end
// itself ("\r\n", "\n" or nothing for a last line without one).
struct Wiersz
{
    QByteArray tekst;
    QByteArray koniec;
};

std::vector<Wiersz> podziel(const QByteArray &zawartosc)
{
    std::vector<Wiersz> wiersze;
    qsizetype poz = 0;
    while (poz < zawartosc.size()) {
        const qsizetype lf = zawartosc.indexOf('\n', poz);
        Wiersz w;
        if (lf < 0) {
            w.tekst = zawartosc.mid(poz);
            poz = zawartosc.size();
        } else {
            qsizetype koniecTekstu = lf;
            if (koniecTekstu > poz && zawartosc[koniecTekstu - 1] == '\r')
                --koniecTekstu;
            w.tekst = zawartosc.mid(poz, koniecTekstu - poz);
            w.koniec = zawartosc.mid(koniecTekstu, lf + 1 - koniecTekstu);
            poz = lf + 1;
        }
        wiersze.push_back(std::move(w));
    }
    return wiersze;
}

// The section name when the line is a section header.
bool naglowek(const QByteArray &tekst, QByteArray &nazwa)
{
    const QByteArray t = bezBlankow(tekst);
    if (!t.startsWith('['))
        return false;
    const qsizetype zamkniecie = t.indexOf(']');
    nazwa = bezBlankow(t.mid(1, zamkniecie < 0 ? -1 : zamkniecie - 1));
    return true;
}

// The key and the raw value when the line is a key line.
bool paraKlucza(const QByteArray &tekst, QByteArray &klucz, QByteArray &wartosc)
{
    const qsizetype rowna = tekst.indexOf('=');
    if (rowna < 0)
        return false;
    klucz = bezBlankow(QByteArrayView(tekst).first(rowna));
    if (klucz.isEmpty())
        return false;
    wartosc = tekst.mid(rowna + 1);
    return true;
}

QByteArray wartoscDoZwrotu(const QByteArray &surowa)
{
    QByteArray w = bezBlankow(surowa);
    if (w.size() >= 2 && (w.front() == '"' || w.front() == '\'') && w.back() == w.front())
        w = w.mid(1, w.size() - 2);
    return w.left(Ini::NajdluzszaWartosc);
}

// Index range [poczatek, koniec) of the key lines of the first section
// named sekcja (poczatek is the header line), or false when there is none.
bool znajdzSekcje(const std::vector<Wiersz> &wiersze, const QByteArray &sekcja,
                  std::size_t &poczatek, std::size_t &koniec)
{
    QByteArray nazwa;
    for (std::size_t i = 0; i < wiersze.size(); ++i) {
        if (!naglowek(wiersze[i].tekst, nazwa) || !rowneBezWielkosci(nazwa, sekcja))
            continue;
        poczatek = i;
        koniec = i + 1;
        while (koniec < wiersze.size() && !naglowek(wiersze[koniec].tekst, nazwa))
            ++koniec;
        return true;
    }
    return false;
}

QByteArray koniecWierszaPliku(const QByteArray &zawartosc)
{
    if (zawartosc.contains("\r\n") || !zawartosc.contains('\n'))
        return QByteArrayLiteral("\r\n");
    return QByteArrayLiteral("\n");
}

} // namespace

BladPlikuIni::BladPlikuIni(const QString &plik, const QString &powod)
    : std::runtime_error(
          QString(QStringLiteral("Nie można zapisać pliku ustawień ") + plik + u": " + powod)
              .toStdString())
    , plik_(plik)
{}

namespace Ini {

QByteArray Czytaj(const QByteArray &zawartosc, const QByteArray &sekcja, const QByteArray &klucz,
                  const QByteArray &domyslna)
{
    const std::vector<Wiersz> wiersze = podziel(zawartosc);
    std::size_t poczatek = 0, koniec = 0;
    if (znajdzSekcje(wiersze, sekcja, poczatek, koniec)) {
        const QByteArray szukany = bezBlankow(klucz);
        QByteArray k, w;
        for (std::size_t i = poczatek + 1; i < koniec; ++i) {
            if (paraKlucza(wiersze[i].tekst, k, w) && rowneBezWielkosci(k, szukany))
                return wartoscDoZwrotu(w);
        }
    }
    return domyslna.left(NajdluzszaWartosc);
}

QByteArray Wpisz(const QByteArray &zawartosc, const QByteArray &sekcja, const QByteArray &klucz,
                 const QByteArray &wartosc)
{
    QByteArray czystaWartosc = wartosc;
    czystaWartosc.replace('\r', ' ').replace('\n', ' ');
    const QByteArray nl = koniecWierszaPliku(zawartosc);
    std::vector<Wiersz> wiersze = podziel(zawartosc);

    std::size_t poczatek = 0, koniec = 0;
    if (!znajdzSekcje(wiersze, sekcja, poczatek, koniec)) {
        if (!wiersze.empty() && wiersze.back().koniec.isEmpty())
            wiersze.back().koniec = nl;
        wiersze.push_back({'[' + sekcja + ']', nl});
        wiersze.push_back({klucz + '=' + czystaWartosc, nl});
    } else {
        const QByteArray szukany = bezBlankow(klucz);
        QByteArray k, w;
        bool zmieniony = false;
        for (std::size_t i = poczatek + 1; i < koniec && !zmieniony; ++i) {
            if (paraKlucza(wiersze[i].tekst, k, w) && rowneBezWielkosci(k, szukany)) {
                wiersze[i].tekst = k + '=' + czystaWartosc;
                zmieniony = true;
            }
        }
        if (!zmieniony) {
            // A new key goes after the last non-blank line of its section, so
            // blank lines that separate it from the next one stay where they are.
            std::size_t po = koniec;
            while (po > poczatek + 1 && bezBlankow(wiersze[po - 1].tekst).isEmpty())
                --po;
            if (wiersze[po - 1].koniec.isEmpty())
                wiersze[po - 1].koniec = nl;
            wiersze.insert(wiersze.begin() + std::ptrdiff_t(po),
                           Wiersz{klucz + '=' + czystaWartosc, nl});
        }
    }

    QByteArray wynik;
    wynik.reserve(zawartosc.size() + klucz.size() + czystaWartosc.size() + sekcja.size() + 8);
    for (const Wiersz &w : wiersze)
        wynik += w.tekst + w.koniec;
    return wynik;
}

} // namespace Ini

QByteArray TIniFile::ReadString(const QByteArray &sekcja, const QByteArray &klucz,
                                const QByteArray &domyslna) const
{
    QFile f(plik_);
    if (!f.open(QIODevice::ReadOnly))
        return Ini::Czytaj(QByteArray(), sekcja, klucz, domyslna);
    return Ini::Czytaj(f.readAll(), sekcja, klucz, domyslna);
}

void TIniFile::WriteString(const QByteArray &sekcja, const QByteArray &klucz,
                           const QByteArray &wartosc)
{
    WriteStrings({Wpis{sekcja, klucz, wartosc}});
}

void TIniFile::WriteStrings(const QList<Wpis> &wpisy)
{
    QByteArray zawartosc;
    const QFileInfo info(plik_);
    if (info.exists()) {
        // A file without any write permission is read-only for everybody,
        // root included: renaming a new file over it must not bypass that.
        const auto zapis = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
        if (!info.isFile())
            throw BladPlikuIni(plik_, QStringLiteral("to nie jest plik"));
        if (!info.isWritable() || !(info.permissions() & zapis))
            throw BladPlikuIni(plik_, QStringLiteral("plik jest tylko do odczytu"));
        QFile f(plik_);
        if (!f.open(QIODevice::ReadOnly))
            throw BladPlikuIni(plik_, f.errorString());
        zawartosc = f.readAll();
    }

    QSaveFile f(plik_);
    f.setDirectWriteFallback(false);
    if (!f.open(QIODevice::WriteOnly))
        throw BladPlikuIni(plik_, f.errorString());
    QByteArray nowa = zawartosc;
    for (const Wpis &w : wpisy)
        nowa = Ini::Wpisz(nowa, w.sekcja, w.klucz, w.wartosc);
    if (f.write(nowa) != nowa.size()) {
        const QString powod = f.errorString();
        f.cancelWriting();
        throw BladPlikuIni(plik_, powod);
    }
    if (!f.commit())
        throw BladPlikuIni(plik_, f.errorString());
}
