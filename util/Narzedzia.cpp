#include "Narzedzia.h"

#include "Czytanie.h"
#include "Komunikaty.h"
#include "PlikIni.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <stdexcept>

namespace {

// One walk for both text kinds: T is QByteArray or QString.
template <typename T> T wytnij(const T &tekst, const T &separator, int wystapienie, const T &koniec)
{
    const qsizetype dl = tekst.size();
    if (dl == 0)
        return T();
    int licznik = 0;
    qsizetype start = -1; // 1-based position of the separator; -1 while unset
    for (qsizetype p = 1; p <= dl; ++p) {
        const auto znak = tekst.at(p - 1);
        if (separator.isEmpty()) {
            start = 0;
        } else if (start < 0 && separator.size() == 1 && znak == separator.at(0)) {
            ++licznik;
            if (licznik == wystapienie)
                start = p;
        }
        if (start < 0 || start >= p)
            continue;
        if (koniec.isEmpty()) {
            if (p == dl)
                return tekst.mid(start);
        } else if (koniec.size() == 1 && znak == koniec.at(0)) {
            return tekst.mid(start, p - 1 - start);
        } else if (p == dl) {
            return tekst.mid(start);
        }
    }
    return T();
}

template <typename T> T zamien(const T &tekst, const T &wzorzec, const T &zamiana)
{
    if (wzorzec.isEmpty() || tekst.isEmpty())
        return tekst;
    // A replacement longer than the pattern, or one that holds it, could keep
    // forming new occurrences forever ("ba" -> "aabb") or make the text grow
    // without limit: it is put in with one left-to-right pass. Where the
    // replacement cannot overlap an occurrence ("ab" -> "xyz"), that pass
    // gives the same text as the search from the start.
    if (zamiana.size() > wzorzec.size() || zamiana.contains(wzorzec))
        return T(tekst).replace(wzorzec, zamiana);

    // Otherwise the search from the start always ends, however long the
    // text: a shorter replacement shrinks the text at every step; one of the
    // same length changes the text first at the same place of the pattern
    // and always in the same direction, so the text only ever moves one way
    // in character order and cannot come back to an earlier text of its
    // length, of which there are finitely many.
    //
    // A new occurrence can only begin where the replacement or the
    // characters just before it are (an earlier one would lie wholly in the
    // unchanged part before the replaced occurrence, which held none), so
    // the search resumes there; the result is the same as searching from the
    // start every time.
    T wynik = tekst;
    qsizetype p = wynik.indexOf(wzorzec);
    while (p >= 0) {
        wynik.replace(p, wzorzec.size(), zamiana);
        p = wynik.indexOf(wzorzec, qMax<qsizetype>(0, p - wzorzec.size() + 1));
    }
    return wynik;
}

QString kanoniczna(const QString &sciezka)
{
    return QFileInfo(sciezka).canonicalFilePath();
}

} // namespace

QByteArray WytnijPole(const QByteArray &tekst, const QByteArray &separator, int wystapienie,
                      const QByteArray &koniec)
{
    return wytnij(tekst, separator, wystapienie, koniec);
}

QString WytnijPole(const QString &tekst, const QString &separator, int wystapienie,
                   const QString &koniec)
{
    return wytnij(tekst, separator, wystapienie, koniec);
}

QByteArray ZamienTekst(const QByteArray &tekst, const QByteArray &wzorzec,
                       const QByteArray &zamiana)
{
    return zamien(tekst, wzorzec, zamiana);
}

QString ZamienTekst(const QString &tekst, const QString &wzorzec, const QString &zamiana)
{
    return zamien(tekst, wzorzec, zamiana);
}

QString TekstWersji(quint16 glowny, quint16 poboczny, quint16 wydanie, quint16 kompilacja)
{
    return QString::number(glowny) + u'.' + QString::number(poboczny) + u'.' +
           QString::number(wydanie) + u'.' + QString::number(kompilacja);
}

QString WersjaProgramu()
{
    return TekstWersji(VESTIBULOMAT_VERSION_MAJOR, VESTIBULOMAT_VERSION_MINOR,
                       VESTIBULOMAT_VERSION_PATCH, VESTIBULOMAT_VERSION_TWEAK);
}

QString WersjaPliku(const QString &sciezka)
{
    // Only our own executable carries a version: the numbers compiled in.
    const QString wlasna = kanoniczna(QCoreApplication::applicationFilePath());
    const QString szukana = kanoniczna(sciezka);
    if (szukana.isEmpty() || szukana != wlasna)
        return QString();
    return WersjaProgramu();
}

QString TekstBleduOdczytuUstawien()
{
    return QStringLiteral("Nieprawidłowa ilość parametrów wczytywanych!");
}

void CzytajIni(const QString &plik, const QStringList &sekcje, const QStringList &klucze,
               QStringList &wartosci, const QStringList &domyslne)
{
    try {
        const qsizetype n = sekcje.size();
        if (klucze.size() < n || domyslne.size() < n)
            throw std::invalid_argument("za mało kluczy lub wartości domyślnych");
        while (wartosci.size() < n)
            wartosci.append(QString());
        const TIniFile ini(plik);
        for (qsizetype i = 0; i < n; ++i)
            wartosci[i] = ini.ReadText(sekcje[i], klucze[i], domyslne[i]);
    } catch (const Czytanie::BladCzytania &e) {
        // A settings file that cannot be used says so itself; the values
        // stay the defaults.
        for (qsizetype i = 0; i < sekcje.size() && i < domyslne.size(); ++i)
            wartosci[i] = domyslne[i];
        Komunikaty::PokazBlad(e.TekstUzytkownika(), e.Szczegoly());
    } catch (const std::exception &) {
        Komunikaty::Komunikat(TekstBleduOdczytuUstawien());
    }
}

void ZapiszIni(const QString &plik, const QStringList &sekcje, const QStringList &klucze,
               const QStringList &wartosci)
{
    const qsizetype n = sekcje.size();
    if (klucze.size() < n || wartosci.size() < n)
        throw std::invalid_argument("Za mało kluczy lub wartości do zapisania");
    QList<TIniFile::WpisTekstu> wpisy;
    wpisy.reserve(n);
    for (qsizetype i = 0; i < n; ++i)
        wpisy.append({sekcje[i], klucze[i], wartosci[i]});
    TIniFile(plik).WriteTexts(wpisy);
}
