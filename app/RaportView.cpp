#include "RaportView.h"

#include "Narzedzia.h"

#include <QPalette>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <array>

namespace {

// Display character of every byte except CR and LF, which break lines.
const std::array<QChar, 256> &TablicaZnakow()
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

} // namespace

TRaportView::TRaportView(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    // Read only, but the caret still moves with the keys: with no horizontal
    // scroll bar that is how long lines are reached.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setWordWrapMode(QTextOption::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setUndoRedoEnabled(false);
    setMaximumBlockCount(0);

    QFont czcionka(QStringLiteral("Courier New"));
    czcionka.setStyleHint(QFont::TypeWriter);
    czcionka.setFixedPitch(true);
    czcionka.setPixelSize(13);
    setFont(czcionka);

    // The selection stays visible when the area loses focus.
    QPalette paleta = palette();
    paleta.setColor(QPalette::Inactive, QPalette::Highlight,
                    paleta.color(QPalette::Active, QPalette::Highlight));
    paleta.setColor(QPalette::Inactive, QPalette::HighlightedText,
                    paleta.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(paleta);
}

QString TRaportView::TekstDoPokazania(const QByteArray &chunk, bool &poCR)
{
    const auto &tablica = TablicaZnakow();
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

void TRaportView::DodajBajty(const QByteArray &chunk)
{
    if (chunk.isEmpty())
        return;
    m_bajty.append(chunk);
    const QString tekst = TekstDoPokazania(chunk, m_poCR);
    if (tekst.isEmpty())
        return; // only the LF of a CR LF split between chunks

    // Insert at the end through a cursor of our own: the document is never
    // set anew, and the user's caret and selection stay where they are.
    QSignalBlocker blokada(this);
    QTextCursor kursor(document());
    kursor.movePosition(QTextCursor::End);
    kursor.beginEditBlock();
    kursor.insertText(tekst);
    kursor.endEditBlock();
}

void TRaportView::Wyczysc()
{
    m_bajty.clear();
    m_bajty.squeeze();
    m_poCR = false;
    m_kursorNaKoniecPoPokazaniu = false;
    clear();
}

int TRaportView::LiczbaLinii() const
{
    if (m_bajty.isEmpty())
        return 0;
    int linie = document()->blockCount();
    // An empty last block is what a final line break leaves behind.
    if (document()->lastBlock().length() <= 1)
        --linie;
    return linie;
}

void TRaportView::KursorNaKoniec()
{
    // While the area is hidden (no live preview) moving the caret would lay
    // out the last line at every chunk for nothing; it is done once when the
    // area is shown.
    if (!isVisible()) {
        m_kursorNaKoniecPoPokazaniu = true;
        return;
    }
    QTextCursor kursor = textCursor();
    kursor.movePosition(QTextCursor::End);
    kursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    setTextCursor(kursor);
    ensureCursorVisible();
}

void TRaportView::showEvent(QShowEvent *event)
{
    QPlainTextEdit::showEvent(event);
    if (m_kursorNaKoniecPoPokazaniu) {
        m_kursorNaKoniecPoPokazaniu = false;
        KursorNaKoniec();
    }
}
