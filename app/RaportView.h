#pragma once

#include "RaportTekst.h"

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QString>

#include <array>
#include <functional>
#include <vector>

class QAccessibleEvent;
class QMenu;
class QTimer;

// The main window's text area: the received report, read only.
//
// The report is bytes. The area keeps them exactly as they came, in its own
// buffer (Bajty()), and that buffer is what is saved and mailed; the display
// is only a Windows-1250 rendering of it. CR LF, a bare LF and a bare CR each
// end a line, also when the CR and the LF arrive in separate chunks. Bytes
// that have no visible character (NUL and other control bytes, the bytes the
// code page leaves unassigned) are shown as a placeholder and kept unchanged
// in the buffer.
//
// There is no document behind the area. Appending a chunk adds its bytes to
// the buffer and the starts of the lines it completes to a line index;
// painting decodes only the lines in view, straight from the buffer. So a
// report of many megabytes costs its bytes plus one offset per line, and
// showing a hidden area costs nothing in proportion to the report.
//
// Assistive technology (a screen reader) sees the area as a read-only,
// multi-line text: the display as characters, the caret and the selection.
// New text and caret moves are told to it in batches, a few times a second at
// most, so that a fast reception does not flood it; nothing of that runs per
// chunk beyond starting the batch.
//
// Painting follows the same idea: the buffer, the line index, the scroll bars
// and the caret are up to date after every chunk, but the text area is
// painted at most every few tens of milliseconds while chunks come
// (OgraniczRysowanie).
class TRaportView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    // A place between two characters (see TPozycjaRaportu).
    using Pozycja = TPozycjaRaportu;

    explicit TRaportView(QWidget *parent = nullptr);

    // Appends a received chunk, as it came.
    void DodajBajty(const QByteArray &chunk);

    // Everything received since the last Wyczysc(), byte for byte.
    const QByteArray &Bajty() const { return m_raport.Bajty(); }

    // Empties the buffer and the display.
    void Wyczysc();

    // Lines as the area divides them (TRaportTekst::LiczbaLinii): the count
    // the analysis of the report steps through.
    int LiczbaLinii() const { return m_raport.LiczbaLinii(); }

    // The report's bytes, its lines and its characters.
    const TRaportTekst &Raport() const { return m_raport; }

    // Caret after the last character, nothing selected, and scrolled so that
    // the caret is in view: the newest text stays visible while a report
    // arrives. On a hidden area this takes effect when it is shown.
    void KursorNaKoniec();

    // The whole display as text, lines divided by "\n". After a final line
    // break an empty last line follows, as on the screen.
    QString toPlainText() const;

    // Replaces the report with tekst, taken as received in one piece: in
    // Windows-1250, every "\n" sent as CR LF.
    void setPlainText(const QString &tekst);

    bool isReadOnly() const { return true; }

    // Selection: from the anchor, where the mouse was pressed, to the caret.
    Pozycja kursor() const { return m_kursor; }
    Pozycja kotwica() const { return m_kotwica; }
    void UstawZaznaczenie(Pozycja kotwica, Pozycja kursor);
    bool hasSelection() const { return m_kotwica != m_kursor; }
    // The selected text as shown, lines divided by "\n".
    QString selectedText() const;
    void selectAll();
    // Puts the selected text on the clipboard; nothing when none is selected.
    void copy() const;

    // The cell of the character after p (a line break takes one cell), in
    // viewport coordinates.
    QRect ProstokatZnaku(Pozycja p) const;
    // Scrolls so that p is in view.
    void PokazPozycje(Pozycja p);

    // Tests watch what the area tells assistive technology with this (the
    // offscreen platform has no accessibility bridge); an empty function
    // stops watching.
    using SluchaczDostepnosci = std::function<void(QAccessibleEvent *)>;
    static void UstawSluchaczaDostepnosci(SluchaczDostepnosci sluchacz);

    // Where a point of the viewport falls between the characters.
    Pozycja PozycjaW(const QPoint &punkt) const;
    // The caret's place in viewport coordinates, one pixel wide.
    QRect cursorRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void UstawCzcionke();
    void UstawPaski();
    void PokazKursor();
    void PrzewinDoKonca();
    void OdswiezWiersze(qint64 od, qint64 do_);
    void OgraniczRysowanie();
    void WznowRysowanie();
    void OdswiezObszar(const QRect &prostokat = QRect());

    // Telling assistive technology: a batch is started by a change and sent
    // when the timer fires.
    static bool DostepnoscAktywna();
    static void Oglos(QAccessibleEvent &zdarzenie);
    void ZaplanujOgloszenie();
    void WyslijOgloszenia();
    void KursorZmieniony();

    TRaportTekst m_raport;
    Pozycja m_kotwica;
    Pozycja m_kursor;
    bool m_zaznaczanie = false;
    bool m_naKoniecPrzyPokazaniu = false;

    qreal m_szerokoscZnaku = 8;
    int m_wysokoscWiersza = 16;
    int m_liniaBazowa = 12;
    // Bytes whose character does not take exactly one cell of the font (a
    // placeholder from a fallback font): drawn one by one, in their cell.
    std::array<bool, 256> m_pozaSiatka{};

    QMenu *m_menu = nullptr;

    // Painting held back for a moment after a chunk; the timer ends the pause.
    QTimer *m_wstrzymaneRysowanie = nullptr;
    bool m_obszarCzeka = false; // the text area is to be painted when it ends

    QTimer *m_ogloszenia = nullptr;
    // Characters assistive technology has been told of; the text after them
    // goes out with the next batch.
    qint64 m_ogloszoneZnaki = 0;
    bool m_kursorDoOgloszenia = false;
    bool m_bylaZaznaczona = false;

    friend class TRaportViewDostep;
};
