#include "Ustawienia.h"

#include "Bledy.h"
#include "Czytanie.h"
#include "Komunikaty.h"
#include "Miejsca.h"
#include "Narzedzia.h"
#include "PlikIni.h"

#include <QRegularExpression>

#include <exception>
#include <optional>

namespace Ustawienia {

namespace {

// The only place where the settings file is opened for reading. A missing
// file reads as empty: every key takes its default. The file may be a link
// (a user's dotfiles may hold it), but only to a regular file.
QByteArray CzytajPlik(const QString &plik)
{
    const std::optional<Czytanie::Plik> p =
        Czytanie::Czytaj(plik, Czytanie::NajwiekszyPlikUstawien, Czytanie::Dowiazanie::Podazaj);
    return p ? p->dane : QByteArray();
}

} // namespace

QString Sekcja()
{
    return QStringLiteral("konfig");
}

QStringList Sekcje()
{
    return QStringList(Liczba, Sekcja());
}

QStringList Klucze()
{
    return {QStringLiteral("obiekt"), QStringLiteral("katalog"), QStringLiteral("autozapis"),
            QStringLiteral("mail"),   QStringLiteral("port"),    QStringLiteral("synchro"),
            QStringLiteral("podglad")};
}

QStringList Domyslne(const QString &katalogProgramu)
{
    return {QStringLiteral("Obiekt"), DomyslnyKatalogZapisu(katalogProgramu),
            QStringLiteral("1"),      QString(),
            QStringLiteral("COM1"),   QStringLiteral("False"),
            QStringLiteral("False")};
}

int NaLiczbe(const QString &tekst, const QString &klucz)
{
    static const QRegularExpression dziesietna(QStringLiteral("^[+-]?[0-9]+$"));
    static const QRegularExpression szesnastkowa(QStringLiteral("^\\$[0-9A-Fa-f]+$"));
    bool ok = false;
    int wynik = 0;
    if (dziesietna.match(tekst).hasMatch()) {
        wynik = tekst.toInt(&ok, 10);
    } else if (szesnastkowa.match(tekst).hasMatch()) {
        // Hexadecimal is taken as the 32-bit pattern: "$FFFFFFFF" is -1.
        const uint u = tekst.mid(1).toUInt(&ok, 16);
        wynik = static_cast<int>(u);
    }
    if (!ok) {
        throw BladProgramu(QStringLiteral("Wartość \"%1\" klucza \"%2\" nie jest liczbą całkowitą.")
                               .arg(tekst, klucz));
    }
    return wynik;
}

Wartosci ZTekstow(const QStringList &teksty)
{
    Wartosci w;
    w.obiekt = teksty.value(Obiekt);
    w.katalog = teksty.value(Katalog);
    try {
        w.autozapis = NaLiczbe(teksty.value(Autozapis), Klucze().at(Autozapis));
    } catch (const BladProgramu &e) {
        w.autozapis = -1;
        w.bladAutozapisu = e.TekstUzytkownika();
    }
    w.mail = teksty.value(Mail);
    w.port = teksty.value(Port);
    w.synchronizuj = NaLogiczna(teksty.value(Synchro));
    w.podglad = NaLogiczna(teksty.value(Podglad));
    return w;
}

QStringList Teksty(const Wartosci &w)
{
    return {w.obiekt,
            w.katalog,
            QString::number(w.autozapis),
            w.mail,
            w.port,
            ZLogicznej(w.synchronizuj),
            ZLogicznej(w.podglad)};
}

Wartosci Czytaj(const QString &katalogProgramu)
{
    const QString plik = PlikUstawienDoOdczytu(katalogProgramu);
    // What cannot be read stays empty; the keys read before keep their values.
    QStringList teksty(Liczba);
    QString blad;
    // A per-user file that someone else may change decides where reports
    // go (its mail address, its folder): it is not read at all.
    if (const QString powod = PowodNieufnosci(plik); !powod.isEmpty()) {
        Komunikaty::PokazBlad(powod, SzczegolyNieufnosci(plik));
        Wartosci w = ZTekstow(Domyslne(katalogProgramu));
        w.plik = plik;
        w.bladPliku = powod;
        return w;
    }
    try {
        const QByteArray zawartosc = CzytajPlik(plik);
        const QStringList klucze = Klucze();
        const QStringList domyslne = Domyslne(katalogProgramu);
        for (int i = 0; i < Liczba; ++i)
            teksty[i] = Ini::CzytajTekst(zawartosc, Sekcja(), klucze[i], domyslne[i]);
    } catch (const Czytanie::BladCzytania &e) {
        // Not read at all: the defaults, and the file named with what is wrong.
        teksty = Domyslne(katalogProgramu);
        blad = e.TekstUzytkownika();
        Komunikaty::PokazBlad(blad, e.Szczegoly());
    } catch (const std::exception &) {
        blad = TekstBleduOdczytuUstawien();
        Komunikaty::Komunikat(blad);
    }
    Wartosci w = ZTekstow(teksty);
    w.plik = plik;
    w.bladPliku = blad;
    return w;
}

void Zapisz(const QString &katalogProgramu, const Wartosci &w)
{
    ZapiszIni(PlikUstawienDoZapisu(katalogProgramu), Sekcje(), Klucze(), Teksty(w));
}

void Zapisz(const QString &katalogProgramu, Indeks klucz, const QString &tekst)
{
    ZapiszIni(PlikUstawienDoZapisu(katalogProgramu), {Sekcja()}, {Klucze().at(klucz)}, {tekst});
}

} // namespace Ustawienia
