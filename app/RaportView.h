#pragma once

#include <QByteArray>
#include <QPlainTextEdit>

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
// Appending puts only the new text at the end of the document; nothing is
// rendered again, so a report of many megabytes arriving in small chunks
// costs time in proportion to its size.
class TRaportView : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit TRaportView(QWidget *parent = nullptr);

    // Appends a received chunk, as it came.
    void DodajBajty(const QByteArray &chunk);

    // Everything received since the last Wyczysc(), byte for byte.
    const QByteArray &Bajty() const { return m_bajty; }

    // Empties the buffer and the display.
    void Wyczysc();

    // Lines as the area divides them. A line break at the very end opens no
    // further line: "a\r\nb\r\n" has two lines, an empty area none. This is
    // the count the analysis of the report steps through.
    int LiczbaLinii() const;

    // Caret after the last character (a selection of one character where
    // one follows, which at the end is none) and scrolled into view, so that
    // the newest text is visible while a report arrives. On a hidden area
    // this takes effect when it is shown.
    void KursorNaKoniec();

    // What the display shows for a chunk. poCR carries "the previous chunk
    // ended with CR" from call to call, so that an LF starting the next chunk
    // does not make a second line break.
    static QString TekstDoPokazania(const QByteArray &chunk, bool &poCR);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QByteArray m_bajty;
    bool m_poCR = false;
    bool m_kursorNaKoniecPoPokazaniu = false;
};
