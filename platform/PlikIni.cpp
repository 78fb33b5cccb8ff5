#include "PlikIni.h"

#include "BezpiecznyZapis.h"
#include "Cp1250.h"
#include "Czytanie.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
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

// The value as the reading rules give it, not yet cut to its longest length.
QByteArray wartoscDoZwrotu(const QByteArray &surowa)
{
    QByteArray w = bezBlankow(surowa);
    if (w.size() >= 2 && (w.front() == '"' || w.front() == '\'') && w.back() == w.front())
        w = w.mid(1, w.size() - 2);
    return w;
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

// The byte-order mark is not part of the first line: a header behind it is
// still a header.
QByteArrayView bezBom(const QByteArray &zawartosc)
{
    return Ini::JestUtf8(zawartosc) ? QByteArrayView(zawartosc).sliced(3)
                                    : QByteArrayView(zawartosc);
}

// The value of the key, false when the section or the key is missing.
bool znajdzWartosc(const QByteArray &zawartosc, const QByteArray &sekcja, const QByteArray &klucz,
                   QByteArray &wartosc)
{
    const std::vector<Wiersz> wiersze = podziel(bezBom(zawartosc).toByteArray());
    std::size_t poczatek = 0, koniec = 0;
    if (znajdzSekcje(wiersze, sekcja, poczatek, koniec)) {
        const QByteArray szukany = bezBlankow(klucz);
        QByteArray k, w;
        for (std::size_t i = poczatek + 1; i < koniec; ++i) {
            if (paraKlucza(wiersze[i].tekst, k, w) && rowneBezWielkosci(k, szukany)) {
                wartosc = wartoscDoZwrotu(w);
                return true;
            }
        }
    }
    return false;
}

// At most the longest value, without splitting a character outside the BMP.
QString przytnij(QString tekst)
{
    if (tekst.size() > Ini::NajdluzszaWartosc) {
        qsizetype n = Ini::NajdluzszaWartosc;
        if (tekst.at(n - 1).isHighSurrogate())
            --n;
        tekst.truncate(n);
    }
    return tekst;
}

QString dekoduj(QByteArrayView bajty, bool utf8)
{
    return utf8 ? QString::fromUtf8(bajty) : ZCp1250(bajty.toByteArray());
}

QByteArray koduj(const QString &tekst, bool utf8)
{
    return utf8 ? tekst.toUtf8() : DoCp1250(tekst);
}

QByteArray koniecWierszaPliku(const QByteArray &zawartosc)
{
    if (zawartosc.contains("\r\n") || !zawartosc.contains('\n'))
        return QByteArrayLiteral("\r\n");
    return QByteArrayLiteral("\n");
}

} // namespace

namespace {

QString tekstBledu(const QString &plik, const QString &powod)
{
    return QStringLiteral("Nie udało się zapisać ustawień w pliku %1 (%2). Zmiany obowiązują "
                          "tylko do zamknięcia programu. Sprawdź uprawnienia do tego pliku i "
                          "jego folderu oraz wolne miejsce na dysku, a potem naciśnij "
                          "\u201EPotwierdź\u201D jeszcze raz")
        .arg(plik, powod);
}

} // namespace

BladPlikuIni::BladPlikuIni(const QString &plik, int kod, const QString &czynnosc,
                           const QString &powod)
    : std::runtime_error(
          tekstBledu(plik, powod.isEmpty() ? OpisBleduSystemu(kod) : powod).toStdString())
    , plik_(plik)
    , kod_(kod)
    , czynnosc_(czynnosc)
    , powod_(powod.isEmpty() ? OpisBleduSystemu(kod) : powod)
{}

QString BladPlikuIni::TekstUzytkownika() const
{
    return tekstBledu(plik_, powod_);
}

QString BladPlikuIni::Szczegoly() const
{
    return czynnosc_ + QStringLiteral(" ") + plik_ + QStringLiteral(": ") +
           SzczegolyBleduSystemu(kod_);
}

namespace Ini {

QByteArray Czytaj(const QByteArray &zawartosc, const QByteArray &sekcja, const QByteArray &klucz,
                  const QByteArray &domyslna)
{
    QByteArray w;
    if (!znajdzWartosc(zawartosc, sekcja, klucz, w))
        w = domyslna;
    return w.left(NajdluzszaWartosc);
}

bool JestUtf8(const QByteArray &zawartosc)
{
    return zawartosc.startsWith(Bom);
}

QString CzytajTekst(const QByteArray &zawartosc, const QString &sekcja, const QString &klucz,
                    const QString &domyslna)
{
    const bool utf8 = JestUtf8(zawartosc);
    QByteArray w;
    if (!znajdzWartosc(zawartosc, koduj(sekcja, utf8), koduj(klucz, utf8), w))
        return przytnij(domyslna);
    return przytnij(dekoduj(w, utf8));
}

QByteArray WpiszTeksty(const QByteArray &zawartosc, const QList<TIniFile::WpisTekstu> &wpisy)
{
    const auto wpisz = [&](QByteArray nowa, bool utf8) {
        for (const TIniFile::WpisTekstu &w : wpisy)
            nowa = Wpisz(nowa, koduj(w.sekcja, utf8), koduj(w.klucz, utf8), koduj(w.wartosc, utf8));
        return nowa;
    };
    if (!JestUtf8(zawartosc)) {
        bool pasuje = true;
        for (const TIniFile::WpisTekstu &w : wpisy)
            pasuje = pasuje && PasujeDoCp1250(w.sekcja) && PasujeDoCp1250(w.klucz) &&
                     PasujeDoCp1250(w.wartosc);
        // Every other byte stays as it was.
        if (pasuje)
            return wpisz(zawartosc, false);
        // Windows-1250 decodes every byte, so nothing of the old file is lost.
        return wpisz(Bom + ZCp1250(zawartosc).toUtf8(), true);
    }
    // A UTF-8 file goes back to Windows-1250 once all of it fits there again
    // (read by older versions and on Windows); bytes that are not valid UTF-8
    // keep it UTF-8, edited in place.
    const QByteArray nowa = wpisz(zawartosc, true);
    const QByteArrayView tresc = QByteArrayView(nowa).sliced(3);
    if (tresc.isValidUtf8()) {
        const QString tekst = QString::fromUtf8(tresc);
        if (PasujeDoCp1250(tekst))
            return DoCp1250(tekst);
    }
    return nowa;
}

QByteArray Wpisz(const QByteArray &zawartosc, const QByteArray &sekcja, const QByteArray &klucz,
                 const QByteArray &wartosc)
{
    QByteArray czystaWartosc = wartosc;
    czystaWartosc.replace('\r', ' ').replace('\n', ' ');
    const QByteArray tresc = bezBom(zawartosc).toByteArray();
    const QByteArray nl = koniecWierszaPliku(tresc);
    std::vector<Wiersz> wiersze = podziel(tresc);

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
    if (JestUtf8(zawartosc))
        wynik += Bom;
    for (const Wiersz &w : wiersze)
        wynik += w.tekst + w.koniec;
    return wynik;
}

} // namespace Ini

namespace {

// The settings file may be a link (a user's own dotfiles), to a regular file
// only; a FIFO, a device or a huge file is refused, never waited on or read
// whole. A file that does not exist reads as empty.
QByteArray czytajPlik(const QString &plik)
{
    const std::optional<Czytanie::Plik> p =
        Czytanie::Czytaj(plik, Czytanie::NajwiekszyPlikUstawien, Czytanie::Dowiazanie::Podazaj);
    return p ? p->dane : QByteArray();
}

} // namespace

QByteArray TIniFile::ReadString(const QByteArray &sekcja, const QByteArray &klucz,
                                const QByteArray &domyslna) const
{
    return Ini::Czytaj(czytajPlik(plik_), sekcja, klucz, domyslna);
}

QString TIniFile::ReadText(const QString &sekcja, const QString &klucz,
                           const QString &domyslna) const
{
    return Ini::CzytajTekst(czytajPlik(plik_), sekcja, klucz, domyslna);
}

void TIniFile::WriteString(const QByteArray &sekcja, const QByteArray &klucz,
                           const QByteArray &wartosc)
{
    WriteStrings({Wpis{sekcja, klucz, wartosc}});
}

void TIniFile::WriteStrings(const QList<Wpis> &wpisy)
{
    Zmien([&](QByteArray zawartosc) {
        for (const Wpis &w : wpisy)
            zawartosc = Ini::Wpisz(zawartosc, w.sekcja, w.klucz, w.wartosc);
        return zawartosc;
    });
}

void TIniFile::WriteTexts(const QList<WpisTekstu> &wpisy)
{
    Zmien([&](const QByteArray &zawartosc) { return Ini::WpiszTeksty(zawartosc, wpisy); });
}

template <typename F> void TIniFile::Zmien(F zmiana)
{
    // A settings file reached through a link is read and written where the
    // link points, as the writer does for a name the user chose.
    const QByteArray nazwa = QFile::encodeName(plik_);
    struct stat st;
    const bool istnieje = ::stat(nazwa.constData(), &st) == 0;
    if (!istnieje && errno != ENOENT)
        throw BladPlikuIni(plik_, errno, QStringLiteral("stat"));
    QByteArray zawartosc;
    if (istnieje && !S_ISDIR(st.st_mode)) {
        if (!S_ISREG(st.st_mode))
            throw BladPlikuIni(plik_, EINVAL, QStringLiteral("stat"),
                               QStringLiteral("to nie jest zwykły plik"));
        try {
            zawartosc = czytajPlik(plik_);
        } catch (const Czytanie::BladCzytania &e) {
            throw BladPlikuIni(plik_, e.Kod(), QStringLiteral("read"),
                               e.PrzyczynaBledu() == Czytanie::BladCzytania::Przyczyna::ZaDuzy
                                   ? QStringLiteral("plik jest za duży")
                                   : QString());
        }
    }
    try {
        // A new settings file is the user's alone: others could change the
        // mail address in it.
        BezpiecznyZapis::Zapisz(plik_, zmiana(zawartosc),
                                {BezpiecznyZapis::Nazwa::Wybrana, 0600, false});
    } catch (const EZapisPliku &e) {
        throw BladPlikuIni(plik_, e.Kod(), BezpiecznyZapis::NazwaKroku(e.KrokBledu()), e.Powod());
    }
}
