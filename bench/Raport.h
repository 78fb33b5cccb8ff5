#pragma once

// Reports in the counting device's format for the measurements: Windows-1250
// text with CR LF line ends, a header, then one block per day: the day line
// ("Odwiedziny w dniu: yyyy/MM/dd"), ten hourly lines with Polish letters and
// the day's total. A line averages about 53 bytes, so 200 000 lines make
// about 10 MB. The same arguments always give the same bytes.

#include <QByteArray>
#include <QDate>
#include <QString>

namespace bench {

class GeneratorRaportu
{
public:
    // Appends the next line, CR LF included.
    void NastepnaLinia(QByteArray &cel);

    qint64 Linie() const { return m_linie; }
    // The first and the last day named so far, as the analysis reads them:
    // the text after the colon (with its leading blank), "/" turned into "-".
    QString PierwszyDzien() const { return m_pierwszy; }
    QString OstatniDzien() const { return m_ostatni; }

private:
    int Losuj(int zakres);

    qint64 m_linie = 0;
    int m_wBloku = -1; // line within the day block; -1 before the header
    QDate m_dzien{2000, 1, 1};
    int m_razem = 0;
    quint32 m_ziarno = 12345;
    QString m_pierwszy;
    QString m_ostatni;
};

// A report of exactly `linie` lines.
QByteArray RaportLinii(qint64 linie, GeneratorRaportu *generator = nullptr);

// Writes whole lines to the file until it holds at least `bajty` bytes;
// false when the file cannot be written.
bool ZapiszRaport(const QString &sciezka, qint64 bajty, GeneratorRaportu *generator = nullptr);

} // namespace bench
