#include "Raport.h"

#include <QFile>

#include <cstdio>

namespace bench {

namespace {

constexpr int kGodzinyOd = 8;
constexpr int kGodzin = 10;
// Header (2 lines), then per day: day line, hours, total, blank line.
constexpr int kLiniiDnia = 1 + kGodzin + 2;

} // namespace

int GeneratorRaportu::Losuj(int zakres)
{
    m_ziarno = m_ziarno * 1103515245u + 12345u;
    return int((m_ziarno >> 16) % quint32(zakres));
}

void GeneratorRaportu::NastepnaLinia(QByteArray &cel)
{
    char linia[128];
    int n = 0;
    if (m_wBloku < 0) {
        // "Sala główna" in Windows-1250.
        cel += m_linie == 0 ? QByteArray("Licznik odwiedzin - obiekt: Sala g\xB3\xF3wna\r\n")
                            : QByteArray("Okres: od 2000/01/01\r\n");
        if (++m_linie == 2)
            m_wBloku = 0;
        return;
    }
    if (m_wBloku == 0) {
        n = std::snprintf(linia, sizeof linia, "Odwiedziny w dniu: %04d/%02d/%02d\r\n",
                          m_dzien.year(), m_dzien.month(), m_dzien.day());
        m_ostatni = QStringLiteral(" ") + m_dzien.toString(QStringLiteral("yyyy-MM-dd"));
        if (m_pierwszy.isEmpty())
            m_pierwszy = m_ostatni;
        m_razem = 0;
    } else if (m_wBloku <= kGodzin) {
        const int godzina = kGodzinyOd + m_wBloku - 1;
        const int wejscia = Losuj(400);
        const int wyjscia = Losuj(wejscia + 1);
        m_razem += wejscia;
        // "wejścia", "wyjścia", "w środku": ś is 0x9C in Windows-1250.
        n = std::snprintf(linia, sizeof linia,
                          "  %02d:00-%02d:00  wej\x9C"
                          "cia: %5d  wyj\x9C"
                          "cia: %5d  w \x9Crodku: %5d\r\n",
                          godzina, godzina + 1, wejscia, wyjscia, wejscia - wyjscia);
    } else if (m_wBloku == kGodzin + 1) {
        n = std::snprintf(linia, sizeof linia, "Razem w dniu: %d\r\n", m_razem);
    } else {
        n = std::snprintf(linia, sizeof linia, "\r\n");
    }
    cel.append(linia, n);
    ++m_linie;
    if (++m_wBloku == kLiniiDnia) {
        m_wBloku = 0;
        m_dzien = m_dzien.addDays(1);
    }
}

QByteArray RaportLinii(qint64 linie, GeneratorRaportu *generator)
{
    GeneratorRaportu wlasny;
    GeneratorRaportu &g = generator ? *generator : wlasny;
    QByteArray wynik;
    wynik.reserve(linie * 54);
    while (g.Linie() < linie)
        g.NastepnaLinia(wynik);
    return wynik;
}

bool ZapiszRaport(const QString &sciezka, qint64 bajty, GeneratorRaportu *generator)
{
    GeneratorRaportu wlasny;
    GeneratorRaportu &g = generator ? *generator : wlasny;
    QFile f(sciezka);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray porcja;
    qint64 zapisane = 0;
    while (zapisane < bajty) {
        porcja.clear();
        while (porcja.size() < 1 << 20 && zapisane + porcja.size() < bajty)
            g.NastepnaLinia(porcja);
        if (f.write(porcja) != porcja.size())
            return false;
        zapisane += porcja.size();
    }
    return f.flush();
}

} // namespace bench
