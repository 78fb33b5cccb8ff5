#include "RaportTekst.h"

#include "Cp1250.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr qint64 kTabulator = 8;

} // namespace

// Display character of every byte except CR and LF, which break lines.
const std::array<QChar, 256> &TRaportTekst::Znaki()
{
    static const std::array<QChar, 256> tablica = [] {
        std::array<QChar, 256> t{};
        for (int b = 0; b < 256; ++b) {
            const QChar znak = ZnakCp1250(static_cast<unsigned char>(b));
            if (b == '\t')
                t[b] = znak;
            else if (b < 0x20)
                t[b] = QChar(0x2400 + b); // control pictures: NUL shows as U+2400
            else if (b == 0x7F)
                t[b] = QChar(0x2421);
            else if (znak.unicode() >= 0x80 && znak.unicode() < 0xA0)
                t[b] = QChar::ReplacementCharacter; // unassigned in Windows-1250
            else
                t[b] = znak;
        }
        return t;
    }();
    return tablica;
}

qint64 TRaportTekst::PoTabulatorze(qint64 kolumna)
{
    return (kolumna / kTabulator + 1) * kTabulator;
}

QString TRaportTekst::TekstDoPokazania(const QByteArray &chunk, bool &poCR)
{
    const auto &tablica = Znaki();
    QString tekst(chunk.size(), Qt::Uninitialized);
    QChar *cel = tekst.data();
    for (const char c : chunk) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\n') {
            if (!poCR)
                *cel++ = QLatin1Char('\n');
            poCR = false;
        } else if (b == '\r') {
            *cel++ = QLatin1Char('\n');
            poCR = true;
        } else {
            *cel++ = tablica[b];
            poCR = false;
        }
    }
    tekst.truncate(cel - tekst.constData());
    return tekst;
}

void TRaportTekst::ZapewnijPojemnosc(qint64 dodatkowe)
{
    // Grown by half again, not doubled: the kept bytes stay close to the
    // report's size, and a large buffer is moved by the allocator rarely.
    const qint64 potrzebne = m_bajty.size() + dodatkowe;
    if (potrzebne <= m_bajty.capacity())
        return;
    m_bajty.reserve(std::max<qint64>({potrzebne, m_bajty.capacity() * 3 / 2, 4096}));
}

void TRaportTekst::Dodaj(const QByteArray &chunk)
{
    if (chunk.isEmpty())
        return;
    const qint64 poczatek = m_bajty.size();
    ZapewnijPojemnosc(chunk.size());
    m_bajty.append(chunk);

    const char *dane = m_bajty.constData();
    const qint64 koniec = m_bajty.size();
    qint64 kolumna = m_kolumnaOstatniego;
    qint64 najszerszy = m_najszerszy;
    bool tabulator = m_tabulatorWOstatnim;
    qint64 parCRLF = m_parCRLF;
    qint64 i = poczatek;
    while (i < koniec) {
        // Most of a report is plain text: eight bytes at a time, as long as
        // none of them is below 14 (no tab, no line break among them).
        while (koniec - i >= 8) {
            quint64 osiem;
            std::memcpy(&osiem, dane + i, sizeof osiem);
            if ((osiem - 0x0E0E0E0E0E0E0E0EULL) & ~osiem & 0x8080808080808080ULL)
                break;
            kolumna += 8;
            i += 8;
        }
        for (const qint64 doKonca = std::min<qint64>(koniec, i + 8); i < doKonca; ++i) {
            const char c = dane[i];
            if (c == '\r' || c == '\n') {
                if (c == '\n' && i > 0 && dane[i - 1] == '\r') {
                    // The LF of a CR LF, perhaps in a chunk of its own: the
                    // line the CR opened starts after it.
                    m_poczatki.back() = i + 1;
                    ++parCRLF;
                    continue;
                }
                najszerszy = std::max(najszerszy, kolumna);
                kolumna = 0;
                tabulator = false;
                if (m_poczatki.size() == m_poczatki.capacity())
                    m_poczatki.reserve(m_poczatki.capacity() * 3 / 2 + 1024);
                m_poczatki.push_back(i + 1);
            } else if (c == '\t') {
                kolumna = PoTabulatorze(kolumna);
                tabulator = true;
            } else {
                ++kolumna;
            }
        }
    }
    m_kolumnaOstatniego = kolumna;
    m_tabulatorWOstatnim = tabulator;
    m_najszerszy = std::max(najszerszy, kolumna);
    m_parCRLF = parCRLF;
}

void TRaportTekst::Wyczysc()
{
    m_bajty.clear();
    m_bajty.squeeze();
    m_poczatki.assign(1, 0);
    m_poczatki.shrink_to_fit();
    m_kolumnaOstatniego = 0;
    m_tabulatorWOstatnim = false;
    m_najszerszy = 0;
    m_parCRLF = 0;
    m_znakiWierszy.clear();
    m_znakiWierszy.shrink_to_fit();
}

int TRaportTekst::LiczbaLinii() const
{
    if (m_bajty.isEmpty())
        return 0;
    qint64 linie = LiczbaWierszy();
    // An empty last line is what a final line break leaves behind.
    if (m_poczatki.back() == m_bajty.size())
        --linie;
    return int(std::clamp<qint64>(linie, 0, INT_MAX));
}

qint64 TRaportTekst::KoniecWiersza(qint64 wiersz) const
{
    if (wiersz + 1 >= LiczbaWierszy())
        return m_bajty.size();
    const qint64 poczatek = PoczatekWiersza(wiersz);
    qint64 koniec = PoczatekWiersza(wiersz + 1) - 1; // the CR or the LF
    if (m_bajty.at(koniec) == '\n' && koniec > poczatek && m_bajty.at(koniec - 1) == '\r')
        --koniec;
    return koniec;
}

qint64 TRaportTekst::DlugoscWiersza(qint64 wiersz) const
{
    return KoniecWiersza(wiersz) - PoczatekWiersza(wiersz);
}

TRaportTekst::Pozycja TRaportTekst::Koniec() const
{
    const qint64 ostatni = LiczbaWierszy() - 1;
    return {ostatni, DlugoscWiersza(ostatni)};
}

TRaportTekst::Pozycja TRaportTekst::Ogranicz(Pozycja p) const
{
    p.linia = std::clamp<qint64>(p.linia, 0, LiczbaWierszy() - 1);
    p.kolumna = std::clamp<qint64>(p.kolumna, 0, DlugoscWiersza(p.linia));
    return p;
}

bool TRaportTekst::MaTabulator(qint64 wiersz, qint64 bajtow) const
{
    // The last line, the one that grows, is never searched: a report with no
    // line breaks would be searched whole for every chunk.
    if (wiersz == LiczbaWierszy() - 1 && !m_tabulatorWOstatnim)
        return false;
    return bajtow > 0 &&
           std::memchr(m_bajty.constData() + PoczatekWiersza(wiersz), '\t', std::size_t(bajtow));
}

qint64 TRaportTekst::KolumnaEkranu(qint64 wiersz, qint64 bajt) const
{
    if (!MaTabulator(wiersz, bajt))
        return bajt;
    const char *p = m_bajty.constData() + PoczatekWiersza(wiersz);
    qint64 kolumna = 0;
    for (qint64 i = 0; i < bajt; ++i)
        kolumna = p[i] == '\t' ? PoTabulatorze(kolumna) : kolumna + 1;
    return kolumna;
}

qint64 TRaportTekst::BajtWKolumnie(qint64 wiersz, qint64 kolumna) const
{
    const qint64 dlugosc = DlugoscWiersza(wiersz);
    const char *p = m_bajty.constData() + PoczatekWiersza(wiersz);
    if (kolumna <= 0)
        return 0;
    if (!MaTabulator(wiersz, dlugosc))
        return std::min(kolumna, dlugosc);
    qint64 k = 0;
    for (qint64 i = 0; i < dlugosc; ++i) {
        k = p[i] == '\t' ? PoTabulatorze(k) : k + 1;
        if (k > kolumna)
            return i;
    }
    return dlugosc;
}

QString TRaportTekst::Tekst(Pozycja od, Pozycja do_) const
{
    od = Ogranicz(od);
    do_ = Ogranicz(do_);
    if (do_ < od)
        std::swap(od, do_);
    const auto &tablica = Znaki();
    const qint64 bajtOd = PoczatekWiersza(od.linia) + od.kolumna;
    const qint64 bajtDo = PoczatekWiersza(do_.linia) + do_.kolumna;
    QString tekst;
    tekst.reserve(bajtDo - bajtOd);
    const char *dane = m_bajty.constData();
    for (qint64 w = od.linia; w <= do_.linia; ++w) {
        const qint64 a = PoczatekWiersza(w) + (w == od.linia ? od.kolumna : 0);
        const qint64 b = w == do_.linia ? bajtDo : KoniecWiersza(w);
        for (qint64 i = a; i < b; ++i)
            tekst.append(tablica[static_cast<unsigned char>(dane[i])]);
        if (w < do_.linia)
            tekst.append(QLatin1Char('\n'));
    }
    return tekst;
}

qint64 TRaportTekst::ZnakPozycji(Pozycja p) const
{
    p = Ogranicz(p);
    if (m_znakiWierszy.empty())
        m_znakiWierszy.push_back(0);
    // Each line adds its characters and one for its line break.
    for (qint64 w = qint64(m_znakiWierszy.size()) - 1; w < p.linia; ++w)
        m_znakiWierszy.push_back(m_znakiWierszy.back() + DlugoscWiersza(w) + 1);
    return m_znakiWierszy[std::size_t(p.linia)] + p.kolumna;
}

TRaportTekst::Pozycja TRaportTekst::PozycjaZnaku(qint64 znak) const
{
    znak = std::clamp<qint64>(znak, 0, LiczbaZnakow());
    ZnakPozycji(Pozycja{LiczbaWierszy() - 1, 0}); // every line's start known
    const auto za = std::upper_bound(m_znakiWierszy.begin(), m_znakiWierszy.end(), znak);
    const qint64 wiersz = qint64(za - m_znakiWierszy.begin()) - 1;
    // The line break itself is the place after the line's last character.
    return {wiersz, std::min(znak - m_znakiWierszy[std::size_t(wiersz)], DlugoscWiersza(wiersz))};
}

QString TRaportTekst::TekstZnakow(qint64 od, qint64 do_) const
{
    if (do_ <= od)
        return QString();
    return Tekst(PozycjaZnaku(od), PozycjaZnaku(do_));
}
