#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

#include <array>
#include <compare>
#include <vector>

// A place between two characters of the report: a line and a byte within it
// (0 before the first character, the line's length after the last). Every
// byte of a line is one character of the display.
struct TPozycjaRaportu
{
    qint64 linia = 0;
    qint64 kolumna = 0;
    auto operator<=>(const TPozycjaRaportu &) const = default;
};

// The received report as the text area keeps it, with no window: the bytes
// exactly as they came, the start of every line, and the mapping between
// places in the lines and the characters assistive technology counts.
//
// CR LF, a bare LF and a bare CR each end a line, also when the CR and the LF
// arrive in separate chunks. Appending a chunk costs its bytes plus one
// offset per line it completes; nothing is decoded until asked for.
class TRaportTekst
{
public:
    using Pozycja = TPozycjaRaportu;

    // Display character of every byte except CR and LF, which break lines:
    // Windows-1250, with a placeholder for control bytes and for bytes the
    // code page leaves unassigned.
    static const std::array<QChar, 256> &Znaki();
    // What the display shows for a chunk. poCR carries "the previous chunk
    // ended with CR" from call to call, so that an LF starting the next chunk
    // does not make a second line break.
    static QString TekstDoPokazania(const QByteArray &chunk, bool &poCR);
    // The display column after a tab at kolumna: the next multiple of eight.
    static qint64 PoTabulatorze(qint64 kolumna);

    // Appends a received chunk, as it came.
    void Dodaj(const QByteArray &chunk);
    void Wyczysc();

    const QByteArray &Bajty() const { return m_bajty; }

    // Lines as the area divides them. A line break at the very end opens no
    // further line: "a\r\nb\r\n" has two lines, an empty report none. This is
    // the count the analysis of the report steps through.
    int LiczbaLinii() const;

    // Lines of the display: one more than LiczbaLinii() after a final line
    // break (the empty line the caret goes to), and 1 for an empty report.
    qint64 LiczbaWierszy() const { return qint64(m_poczatki.size()); }
    qint64 PoczatekWiersza(qint64 wiersz) const { return m_poczatki[std::size_t(wiersz)]; }
    // The byte after the line's last character (before its line break).
    qint64 KoniecWiersza(qint64 wiersz) const;
    qint64 DlugoscWiersza(qint64 wiersz) const;
    // After the last character.
    Pozycja Koniec() const;
    // The nearest place that exists.
    Pozycja Ogranicz(Pozycja p) const;
    // Display width of the widest line, in columns.
    qint64 Najszerszy() const { return m_najszerszy; }

    // Display columns: a tab reaches the next multiple of eight, every other
    // byte takes one column.
    qint64 KolumnaEkranu(qint64 wiersz, qint64 bajt) const;
    // The byte of the line shown in the column (the line's length past its end).
    qint64 BajtWKolumnie(qint64 wiersz, qint64 kolumna) const;

    // The display's text between two places, lines divided by "\n".
    QString Tekst(Pozycja od, Pozycja do_) const;

    // The display as characters, as assistive technology reads it: every
    // byte is one character and every line break (CR LF, CR or LF) one "\n".
    qint64 LiczbaZnakow() const { return m_bajty.size() - m_parCRLF; }
    qint64 ZnakPozycji(Pozycja p) const;
    Pozycja PozycjaZnaku(qint64 znak) const;
    // Characters [od, do_) of the display.
    QString TekstZnakow(qint64 od, qint64 do_) const;

private:
    bool MaTabulator(qint64 wiersz, qint64 bajtow) const;
    void ZapewnijPojemnosc(qint64 dodatkowe);

    QByteArray m_bajty;
    // Start of every line in m_bajty; the first is 0. After a final line
    // break the last entry is the end of the buffer: the empty line the
    // caret goes to.
    std::vector<qint64> m_poczatki{0};
    // Display width of the last line so far, and of the widest line.
    qint64 m_kolumnaOstatniego = 0;
    qint64 m_najszerszy = 0;
    bool m_tabulatorWOstatnim = false;
    // Line breaks made of CR LF: the display has one character fewer each.
    qint64 m_parCRLF = 0;
    // Character offset of the start of each line, filled on demand (only
    // assistive technology asks) and kept: a line's start never moves.
    mutable std::vector<qint64> m_znakiWierszy;
};
