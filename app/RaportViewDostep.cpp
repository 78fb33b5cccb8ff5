#include "RaportViewDostep.h"

#include "RaportView.h"

#include <QScrollBar>

#include <algorithm>
#include <climits>

namespace {

int DoInt(qint64 n)
{
    return int(std::clamp<qint64>(n, 0, INT_MAX));
}

// A few whole lines of the display. Qt's own rules for words, sentences and
// lines are applied to them instead of to the whole report, which may be
// megabytes: a screen reader asks for the text around one place at a time.
class OknoTekstu : public QAccessibleTextInterface
{
public:
    OknoTekstu(const TRaportTekst &pole, qint64 znak, qint64 liniiWokol)
    {
        using Pozycja = TPozycjaRaportu;
        const qint64 wszystkie = pole.LiczbaZnakow();
        const qint64 linia = pole.PozycjaZnaku(znak).linia;
        const qint64 ostatnia = pole.PozycjaZnaku(wszystkie).linia;
        m_poczatek = pole.ZnakPozycji(Pozycja{std::max<qint64>(0, linia - liniiWokol), 0});
        // Up to the start of the line after the window: line breaks included.
        const qint64 zaOknem = linia + liniiWokol + 1;
        const qint64 koniec =
            zaOknem <= ostatnia ? pole.ZnakPozycji(Pozycja{zaOknem, 0}) : wszystkie;
        m_tekst = pole.TekstZnakow(m_poczatek, koniec);
    }

    qint64 m_poczatek = 0; // where the window starts in the area
    QString m_tekst;

    // Only the text is needed by the rules.
    void selection(int, int *poczatek, int *koniec) const override { *poczatek = *koniec = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int poczatek, int koniec) const override
    {
        return m_tekst.mid(poczatek, koniec - poczatek);
    }
    int characterCount() const override { return int(m_tekst.size()); }
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int *poczatek, int *koniec) const override
    {
        *poczatek = *koniec = 0;
        return QString();
    }
};

enum class Gdzie { Przed, W, Po };

// The text around a place, by Qt's rule for the boundary.
QString TekstWokol(const TRaportTekst &pole, Gdzie gdzie, int znak,
                   QAccessible::TextBoundaryType granica, int *poczatek, int *koniec)
{
    *poczatek = *koniec = -1;
    const qint64 wszystkie = pole.LiczbaZnakow();
    if (znak < 0 || znak > wszystkie)
        return QString();
    if (granica == QAccessible::NoBoundary) {
        *poczatek = 0;
        *koniec = DoInt(wszystkie);
        return pole.TekstZnakow(0, wszystkie);
    }
    const bool slowa =
        granica == QAccessible::WordBoundary || granica == QAccessible::SentenceBoundary;
    // After the last character there is no word or sentence to be in (and
    // Qt's rule would search for one without end).
    if (slowa && gdzie == Gdzie::W && znak == wszystkie)
        return QString();

    // A character or a line needs its neighbours; words and sentences a
    // little more room.
    const qint64 liniiWokol = slowa ? 3 : 1;
    const OknoTekstu okno(pole, znak, liniiWokol);
    const int wOknie = int(znak - okno.m_poczatek);
    QString wynik;
    switch (gdzie) {
    case Gdzie::Przed:
        wynik = okno.textBeforeOffset(wOknie, granica, poczatek, koniec);
        break;
    case Gdzie::W:
        wynik = okno.textAtOffset(wOknie, granica, poczatek, koniec);
        break;
    case Gdzie::Po:
        wynik = okno.textAfterOffset(wOknie, granica, poczatek, koniec);
        break;
    }
    if (*poczatek >= 0 && *koniec >= 0) {
        *poczatek = DoInt(*poczatek + okno.m_poczatek);
        *koniec = DoInt(*koniec + okno.m_poczatek);
    }
    return wynik;
}

} // namespace

TRaportViewDostep::TRaportViewDostep(TRaportView *pole)
    : QAccessibleWidget(pole, QAccessible::EditableText)
{}

TRaportView *TRaportViewDostep::pole() const
{
    return static_cast<TRaportView *>(widget());
}

QAccessible::State TRaportViewDostep::state() const
{
    // Hidden while a report arrives without the live preview: "invisible",
    // and so not "showing", comes from the widget's own visibility.
    QAccessible::State stan = QAccessibleWidget::state();
    stan.readOnly = true;
    stan.multiLine = true;
    stan.selectableText = true;
    return stan;
}

QString TRaportViewDostep::text(QAccessible::Text rodzaj) const
{
    if (rodzaj == QAccessible::Value)
        return pole()->toPlainText();
    return QAccessibleWidget::text(rodzaj);
}

void *TRaportViewDostep::interface_cast(QAccessible::InterfaceType rodzaj)
{
    if (rodzaj == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(rodzaj);
}

void TRaportViewDostep::selection(int indeks, int *poczatek, int *koniec) const
{
    *poczatek = *koniec = 0;
    if (indeks != 0 || !pole()->hasSelection())
        return;
    const qint64 a = pole()->Raport().ZnakPozycji(pole()->kotwica());
    const qint64 b = pole()->Raport().ZnakPozycji(pole()->kursor());
    *poczatek = DoInt(std::min(a, b));
    *koniec = DoInt(std::max(a, b));
}

int TRaportViewDostep::selectionCount() const
{
    return pole()->hasSelection() ? 1 : 0;
}

void TRaportViewDostep::addSelection(int poczatek, int koniec)
{
    // One selection only: a new one replaces it.
    setSelection(0, poczatek, koniec);
}

void TRaportViewDostep::removeSelection(int indeks)
{
    if (indeks == 0)
        pole()->UstawZaznaczenie(pole()->kursor(), pole()->kursor());
}

void TRaportViewDostep::setSelection(int indeks, int poczatek, int koniec)
{
    if (indeks != 0)
        return;
    pole()->UstawZaznaczenie(pole()->Raport().PozycjaZnaku(poczatek),
                             pole()->Raport().PozycjaZnaku(koniec));
}

int TRaportViewDostep::cursorPosition() const
{
    return DoInt(pole()->Raport().ZnakPozycji(pole()->kursor()));
}

void TRaportViewDostep::setCursorPosition(int pozycja)
{
    const TRaportView::Pozycja p = pole()->Raport().PozycjaZnaku(pozycja);
    pole()->UstawZaznaczenie(p, p);
    pole()->PokazPozycje(p);
}

QString TRaportViewDostep::text(int poczatek, int koniec) const
{
    return pole()->Raport().TekstZnakow(std::max(0, poczatek), koniec);
}

QString TRaportViewDostep::textBeforeOffset(int znak, QAccessible::TextBoundaryType granica,
                                            int *poczatek, int *koniec) const
{
    return TekstWokol(pole()->Raport(), Gdzie::Przed, znak, granica, poczatek, koniec);
}

QString TRaportViewDostep::textAfterOffset(int znak, QAccessible::TextBoundaryType granica,
                                           int *poczatek, int *koniec) const
{
    return TekstWokol(pole()->Raport(), Gdzie::Po, znak, granica, poczatek, koniec);
}

QString TRaportViewDostep::textAtOffset(int znak, QAccessible::TextBoundaryType granica,
                                        int *poczatek, int *koniec) const
{
    return TekstWokol(pole()->Raport(), Gdzie::W, znak, granica, poczatek, koniec);
}

int TRaportViewDostep::characterCount() const
{
    return DoInt(pole()->Raport().LiczbaZnakow());
}

QRect TRaportViewDostep::characterRect(int znak) const
{
    if (znak < 0 || znak > pole()->Raport().LiczbaZnakow())
        return QRect();
    const QRect komorka = pole()->ProstokatZnaku(pole()->Raport().PozycjaZnaku(znak));
    return QRect(pole()->viewport()->mapToGlobal(komorka.topLeft()), komorka.size());
}

int TRaportViewDostep::offsetAtPoint(const QPoint &punkt) const
{
    QWidget *widok = pole()->viewport();
    const QPoint wWidoku = widok->mapFromGlobal(punkt);
    if (!widok->rect().contains(wWidoku))
        return -1;
    return DoInt(pole()->Raport().ZnakPozycji(pole()->PozycjaW(wWidoku)));
}

void TRaportViewDostep::scrollToSubstring(int poczatek, int koniec)
{
    pole()->PokazPozycje(pole()->Raport().PozycjaZnaku(koniec));
    pole()->PokazPozycje(pole()->Raport().PozycjaZnaku(poczatek));
}

QString TRaportViewDostep::attributes(int znak, int *poczatek, int *koniec) const
{
    // One font and colour for the whole report.
    if (znak < 0 || znak > pole()->Raport().LiczbaZnakow()) {
        *poczatek = *koniec = -1;
        return QString();
    }
    *poczatek = 0;
    *koniec = characterCount();
    return QString();
}

QAccessibleInterface *FabrykaDostepuRaportu(const QString &klasa, QObject *obiekt)
{
    if (klasa == QLatin1String("TRaportView") && obiekt && obiekt->isWidgetType())
        return new TRaportViewDostep(static_cast<TRaportView *>(obiekt));
    return nullptr;
}
