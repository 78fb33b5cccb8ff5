#include "RaportView.h"

#include "Cp1250.h"
#include "Komunikaty.h"
#include "RaportViewDostep.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QtMath>

#include <algorithm>
#include <climits>

namespace {

// Room between the frame and the text.
constexpr int kMargines = 4;

int DoInt(qint64 n)
{
    return int(std::clamp<qint64>(n, 0, INT_MAX));
}

// A coordinate far out of view still lands outside it, not wrapped around.
int DoWspolrzednej(qint64 n)
{
    return int(std::clamp<qint64>(n, INT_MIN / 2, INT_MAX / 2));
}

// Gap between two batches told to assistive technology: a screen reader
// keeps up, and a reception of thousands of chunks makes a few announcements.
constexpr int kOdstepOgloszenMs = 300;
// How long received text waits to be painted, with whatever comes meanwhile:
// about twenty frames a second, smooth enough to watch a report grow.
constexpr int kOdstepRysowaniaMs = 50;

TRaportView::SluchaczDostepnosci &Sluchacz()
{
    static TRaportView::SluchaczDostepnosci sluchacz;
    return sluchacz;
}

} // namespace

TRaportView::TRaportView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);

    QFont czcionka(QStringLiteral("Courier New"));
    czcionka.setStyleHint(QFont::TypeWriter);
    czcionka.setFixedPitch(true);
    czcionka.setPixelSize(13);
    if (QFontInfo(czcionka).family().compare(czcionka.family(), Qt::CaseInsensitive) != 0) {
        czcionka = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        czcionka.setPixelSize(13);
    }
    setFont(czcionka);
    UstawCzcionke();

    m_menu = new QMenu(this);
    auto *kopiuj = m_menu->addAction(QStringLiteral("Kopiuj"));
    kopiuj->setObjectName(QStringLiteral("Kopiuj1"));
    kopiuj->setShortcut(QKeySequence::Copy);
    auto *wszystko = m_menu->addAction(QStringLiteral("Zaznacz wszystko"));
    wszystko->setObjectName(QStringLiteral("Zaznaczwszystko1"));
    wszystko->setShortcut(QKeySequence::SelectAll);
    connect(kopiuj, &QAction::triggered, this, [this] { Komunikaty::Chron([&] { copy(); }); });
    connect(wszystko, &QAction::triggered, this,
            [this] { Komunikaty::Chron([&] { selectAll(); }); });

    // The area is known to assistive technology by its own interface, not
    // as an empty scroll area.
    static const bool fabryka = [] {
        QAccessible::installFactory(&FabrykaDostepuRaportu);
        return true;
    }();
    Q_UNUSED(fabryka);
    setAccessibleName(QStringLiteral("Odebrany raport"));
    m_ogloszenia = new QTimer(this);
    m_ogloszenia->setSingleShot(true);
    m_ogloszenia->setInterval(kOdstepOgloszenMs);
    connect(m_ogloszenia, &QTimer::timeout, this,
            [this] { Komunikaty::Chron([&] { WyslijOgloszenia(); }); });

    m_wstrzymaneRysowanie = new QTimer(this);
    m_wstrzymaneRysowanie->setSingleShot(true);
    m_wstrzymaneRysowanie->setInterval(kOdstepRysowaniaMs);
    connect(m_wstrzymaneRysowanie, &QTimer::timeout, this, [this] { WznowRysowanie(); });

    UstawPaski();
}

void TRaportView::DodajBajty(const QByteArray &chunk)
{
    if (chunk.isEmpty())
        return;
    const qint64 pierwszyZmieniony = m_raport.LiczbaWierszy() - 1;
    const qint64 staraLiczba = m_raport.LiczbaWierszy();
    const qint64 staraSzerokosc = m_raport.Najszerszy();
    m_raport.Dodaj(chunk);

    OgraniczRysowanie();
    if (m_raport.LiczbaWierszy() != staraLiczba || m_raport.Najszerszy() != staraSzerokosc)
        UstawPaski();
    OdswiezWiersze(pierwszyZmieniony, m_raport.LiczbaWierszy());

    // The new text goes to assistive technology with the next batch.
    if (DostepnoscAktywna())
        ZaplanujOgloszenie();
    else
        m_ogloszoneZnaki = m_raport.LiczbaZnakow();
}

void TRaportView::OgraniczRysowanie()
{
    // A chunk starts a short pause; what it and the chunks after it change
    // in the text area is painted together when the pause ends. A fast
    // reception would otherwise paint the whole area once per chunk. Nothing
    // is switched off in Qt for it (a widget whose updates are off when its
    // turn to paint comes loses that paint): the area is simply not asked to
    // repaint during the pause, so that no paint shows half of a change (the
    // new lines without the scroll that follows them).
    if (!isVisible() || m_wstrzymaneRysowanie->isActive())
        return;
    m_wstrzymaneRysowanie->start();
}

void TRaportView::WznowRysowanie()
{
    if (m_obszarCzeka)
        viewport()->update();
    m_obszarCzeka = false;
}

void TRaportView::OdswiezObszar(const QRect &prostokat)
{
    if (m_wstrzymaneRysowanie->isActive()) {
        m_obszarCzeka = true;
        return;
    }
    if (prostokat.isNull())
        viewport()->update();
    else
        viewport()->update(prostokat);
}

void TRaportView::Wyczysc()
{
    // Assistive technology forgets the text it was told of; the rest was
    // never announced.
    if (m_ogloszoneZnaki > 0 && DostepnoscAktywna()) {
        QAccessibleTextRemoveEvent usuniete(this, 0, m_raport.TekstZnakow(0, m_ogloszoneZnaki));
        Oglos(usuniete);
    }
    m_ogloszoneZnaki = 0;
    m_kursorDoOgloszenia = false;
    m_bylaZaznaczona = false;
    m_ogloszenia->stop();

    m_raport.Wyczysc();
    m_kotwica = m_kursor = Pozycja{};
    m_zaznaczanie = false;
    m_naKoniecPrzyPokazaniu = false;
    UstawPaski();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
}

QString TRaportView::toPlainText() const
{
    return m_raport.Tekst(Pozycja{}, m_raport.Koniec());
}

void TRaportView::setPlainText(const QString &tekst)
{
    Wyczysc();
    QString zCRLF = tekst;
    zCRLF.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    DodajBajty(DoCp1250(zCRLF));
}

void TRaportView::UstawZaznaczenie(Pozycja kotwica, Pozycja kursor)
{
    m_kotwica = m_raport.Ogranicz(kotwica);
    m_kursor = m_raport.Ogranicz(kursor);
    viewport()->update();
    KursorZmieniony();
}

QRect TRaportView::ProstokatZnaku(Pozycja p) const
{
    p = m_raport.Ogranicz(p);
    const qint64 kolumna = m_raport.KolumnaEkranu(p.linia, p.kolumna);
    const qint64 nastepna = p.kolumna < m_raport.DlugoscWiersza(p.linia)
                                ? m_raport.KolumnaEkranu(p.linia, p.kolumna + 1)
                                : kolumna + 1;
    const qint64 x =
        kMargines + qint64(kolumna * m_szerokoscZnaku) - horizontalScrollBar()->value();
    const qint64 y = kMargines + (p.linia - verticalScrollBar()->value()) * m_wysokoscWiersza;
    const int szerokosc = std::max(1, qRound((nastepna - kolumna) * m_szerokoscZnaku));
    return QRect(DoWspolrzednej(x), DoWspolrzednej(y), szerokosc, m_wysokoscWiersza);
}

void TRaportView::UstawSluchaczaDostepnosci(SluchaczDostepnosci sluchacz)
{
    Sluchacz() = std::move(sluchacz);
}

bool TRaportView::DostepnoscAktywna()
{
    return QAccessible::isActive() || Sluchacz();
}

void TRaportView::Oglos(QAccessibleEvent &zdarzenie)
{
    if (Sluchacz())
        Sluchacz()(&zdarzenie);
    QAccessible::updateAccessibility(&zdarzenie);
}

void TRaportView::ZaplanujOgloszenie()
{
    // Started once per batch, not per chunk: the batch closes when the timer
    // fires, however many chunks came meanwhile.
    if (!m_ogloszenia->isActive())
        m_ogloszenia->start();
}

void TRaportView::KursorZmieniony()
{
    if (!DostepnoscAktywna())
        return;
    m_kursorDoOgloszenia = true;
    ZaplanujOgloszenie();
}

void TRaportView::WyslijOgloszenia()
{
    if (!DostepnoscAktywna()) {
        m_ogloszoneZnaki = m_raport.LiczbaZnakow();
        m_kursorDoOgloszenia = false;
        return;
    }
    const qint64 znaki = m_raport.LiczbaZnakow();
    if (znaki > m_ogloszoneZnaki) {
        QAccessibleTextInsertEvent wstawione(this, DoInt(m_ogloszoneZnaki),
                                             m_raport.TekstZnakow(m_ogloszoneZnaki, znaki));
        Oglos(wstawione);
        m_ogloszoneZnaki = znaki;
    }
    if (!m_kursorDoOgloszenia)
        return;
    m_kursorDoOgloszenia = false;
    const int kursor = DoInt(m_raport.ZnakPozycji(m_kursor));
    if (hasSelection() || m_bylaZaznaczona) {
        const int a = DoInt(m_raport.ZnakPozycji(m_kotwica));
        QAccessibleTextSelectionEvent zaznaczenie(this, std::min(a, kursor), std::max(a, kursor));
        zaznaczenie.setCursorPosition(kursor);
        Oglos(zaznaczenie);
    } else {
        QAccessibleTextCursorEvent ruch(this, kursor);
        Oglos(ruch);
    }
    m_bylaZaznaczona = hasSelection();
}

QString TRaportView::selectedText() const
{
    return m_raport.Tekst(m_kotwica, m_kursor);
}

void TRaportView::selectAll()
{
    UstawZaznaczenie(Pozycja{}, m_raport.Koniec());
}

void TRaportView::copy() const
{
    if (hasSelection())
        QApplication::clipboard()->setText(selectedText());
}

void TRaportView::KursorNaKoniec()
{
    const bool bylaZaznaczona = hasSelection();
    m_kotwica = m_kursor = m_raport.Koniec();
    KursorZmieniony();
    // A hidden area has no size to scroll in yet; it is done when shown.
    if (!isVisible()) {
        m_naKoniecPrzyPokazaniu = true;
        return;
    }
    PokazKursor();
    if (bylaZaznaczona)
        OdswiezObszar();
}

void TRaportView::PrzewinDoKonca()
{
    m_naKoniecPrzyPokazaniu = false;
    PokazKursor();
}

void TRaportView::PokazKursor()
{
    PokazPozycje(m_kursor);
}

void TRaportView::PokazPozycje(Pozycja p)
{
    p = m_raport.Ogranicz(p);
    QScrollBar *pionowy = verticalScrollBar();
    const qint64 pierwszy = pionowy->value();
    const qint64 widocznych = std::max(1, pionowy->pageStep());
    if (p.linia < pierwszy)
        pionowy->setValue(DoInt(p.linia));
    else if (p.linia >= pierwszy + widocznych)
        pionowy->setValue(DoInt(p.linia - widocznych + 1));

    QScrollBar *poziomy = horizontalScrollBar();
    const qint64 x =
        kMargines + qint64(m_raport.KolumnaEkranu(p.linia, p.kolumna) * m_szerokoscZnaku);
    const int szerokosc = viewport()->width();
    if (x < poziomy->value() + kMargines)
        poziomy->setValue(DoInt(x - kMargines));
    else if (x + m_szerokoscZnaku > poziomy->value() + szerokosc)
        poziomy->setValue(DoInt(x + qint64(m_szerokoscZnaku) + kMargines - szerokosc));
}

void TRaportView::UstawCzcionke()
{
    const QFontMetricsF miary(font());
    m_szerokoscZnaku = miary.horizontalAdvance(QLatin1Char('M'));
    if (m_szerokoscZnaku <= 0)
        m_szerokoscZnaku = 8;
    m_wysokoscWiersza = std::max(1, qCeil(miary.lineSpacing()));
    m_liniaBazowa = qCeil(miary.ascent());
    const auto &tablica = TRaportTekst::Znaki();
    for (int b = 0; b < 256; ++b) {
        const QChar znak = tablica[b];
        m_pozaSiatka[b] = b != '\t' && !qFuzzyCompare(miary.horizontalAdvance(znak) + 1.0,
                                                      m_szerokoscZnaku + 1.0);
    }
}

void TRaportView::UstawPaski()
{
    const QSize rozmiar = viewport()->size();
    const int widocznych = std::max(1, (rozmiar.height() - kMargines) / m_wysokoscWiersza);
    QScrollBar *pionowy = verticalScrollBar();
    pionowy->setSingleStep(1);
    pionowy->setPageStep(widocznych);
    pionowy->setRange(0, DoInt(m_raport.LiczbaWierszy() - widocznych));

    // One cell more than the widest line: room for the caret after it.
    const qint64 szerokosc = qint64((m_raport.Najszerszy() + 1) * m_szerokoscZnaku) + 2 * kMargines;
    QScrollBar *poziomy = horizontalScrollBar();
    poziomy->setSingleStep(std::max(1, qRound(m_szerokoscZnaku)));
    poziomy->setPageStep(std::max(1, rozmiar.width()));
    poziomy->setRange(0, DoInt(szerokosc - rozmiar.width()));
}

void TRaportView::OdswiezWiersze(qint64 od, qint64 do_)
{
    if (!isVisible())
        return;
    const qint64 pierwszy = verticalScrollBar()->value();
    const qint64 widocznych = verticalScrollBar()->pageStep() + 1;
    od = std::max(od, pierwszy);
    do_ = std::min(do_, pierwszy + widocznych);
    if (od >= do_)
        return;
    const int y = kMargines + int(od - pierwszy) * m_wysokoscWiersza;
    OdswiezObszar(QRect(0, y, viewport()->width(), int(do_ - od) * m_wysokoscWiersza));
}

TRaportView::Pozycja TRaportView::PozycjaW(const QPoint &punkt) const
{
    const qint64 pierwszy = verticalScrollBar()->value();
    const int dy = punkt.y() - kMargines;
    const qint64 wiersz =
        pierwszy + (dy >= 0 ? dy / m_wysokoscWiersza : -1 - (-dy - 1) / m_wysokoscWiersza);
    if (wiersz < 0)
        return Pozycja{};
    if (wiersz >= m_raport.LiczbaWierszy())
        return m_raport.Koniec();

    const qreal kolumna =
        (punkt.x() + horizontalScrollBar()->value() - kMargines) / m_szerokoscZnaku;
    if (kolumna <= 0)
        return {wiersz, 0};
    const qint64 bajt = m_raport.BajtWKolumnie(wiersz, qint64(kolumna));
    const qint64 dlugosc = m_raport.DlugoscWiersza(wiersz);
    if (bajt >= dlugosc)
        return {wiersz, dlugosc};
    // Nearer to the right edge of the character: after it.
    const qint64 lewa = m_raport.KolumnaEkranu(wiersz, bajt);
    const qint64 prawa = m_raport.KolumnaEkranu(wiersz, bajt + 1);
    return {wiersz, kolumna * 2 > lewa + prawa ? bajt + 1 : bajt};
}

QRect TRaportView::cursorRect() const
{
    const qint64 pierwszy = verticalScrollBar()->value();
    const qint64 x =
        kMargines +
        qint64(m_raport.KolumnaEkranu(m_kursor.linia, m_kursor.kolumna) * m_szerokoscZnaku) -
        horizontalScrollBar()->value();
    const qint64 y = kMargines + (m_kursor.linia - pierwszy) * m_wysokoscWiersza;
    return QRect(DoWspolrzednej(x), DoWspolrzednej(y), 1, m_wysokoscWiersza);
}

void TRaportView::paintEvent(QPaintEvent *event)
{
    QPainter malarz(viewport());
    const QRect obszar = event->rect();
    malarz.fillRect(obszar, Qt::white);
    malarz.setFont(font());

    const auto &tablica = TRaportTekst::Znaki();
    // The selection keeps its colours when the area loses focus.
    const QColor tloZaznaczenia = palette().color(QPalette::Active, QPalette::Highlight);
    const QColor tekstZaznaczenia = palette().color(QPalette::Active, QPalette::HighlightedText);
    const QColor tekst = Qt::black;

    const qint64 pierwszy = verticalScrollBar()->value();
    const int przesuniecie = horizontalScrollBar()->value();
    const qreal x0 = kMargines - przesuniecie;
    const qint64 kolumnaOd =
        std::max<qint64>(0, qint64((przesuniecie - kMargines) / m_szerokoscZnaku));
    const qint64 kolumnaDo = kolumnaOd + qint64(viewport()->width() / m_szerokoscZnaku) + 2;

    Pozycja zOd = std::min(m_kotwica, m_kursor);
    Pozycja zDo = std::max(m_kotwica, m_kursor);
    const char *dane = m_raport.Bajty().constData();
    QString przebieg;

    for (qint64 w = pierwszy + std::max(0, (obszar.top() - kMargines) / m_wysokoscWiersza);
         w < m_raport.LiczbaWierszy(); ++w) {
        const int y = kMargines + int(w - pierwszy) * m_wysokoscWiersza;
        if (y > obszar.bottom())
            break;
        const qint64 poczatek = m_raport.PoczatekWiersza(w);
        const qint64 dlugosc = m_raport.DlugoscWiersza(w);

        // The selected part of the line: bytes [selOd, selDo), and the line
        // break after it when the selection goes on to the next line.
        qint64 selOd = 0, selDo = 0;
        if (zOd < zDo && zOd.linia <= w && w <= zDo.linia) {
            selOd = w == zOd.linia ? zOd.kolumna : 0;
            selDo = w == zDo.linia ? zDo.kolumna : dlugosc;
            qreal xa = x0 + m_raport.KolumnaEkranu(w, selOd) * m_szerokoscZnaku;
            qreal xb = x0 + m_raport.KolumnaEkranu(w, selDo) * m_szerokoscZnaku;
            if (w < zDo.linia)
                xb += m_szerokoscZnaku;
            malarz.fillRect(QRectF(xa, y, xb - xa, m_wysokoscWiersza), tloZaznaczenia);
        }

        // Only the bytes in view are decoded and drawn. Characters that fit
        // the font's cell go out in runs; others one by one in their cell.
        const qint64 bajtOd = m_raport.BajtWKolumnie(w, kolumnaOd);
        const qint64 bajtDo = std::min(dlugosc, m_raport.BajtWKolumnie(w, kolumnaDo) + 1);
        qint64 kolumna = m_raport.KolumnaEkranu(w, bajtOd);
        qint64 kolumnaPrzebiegu = kolumna;
        bool zaznaczonyPrzebieg = false;
        przebieg.clear();
        auto wypisz = [&] {
            if (przebieg.isEmpty())
                return;
            malarz.setPen(zaznaczonyPrzebieg ? tekstZaznaczenia : tekst);
            malarz.drawText(QPointF(x0 + kolumnaPrzebiegu * m_szerokoscZnaku, y + m_liniaBazowa),
                            przebieg);
            przebieg.clear();
        };
        for (qint64 i = bajtOd; i < bajtDo; ++i) {
            const auto b = static_cast<unsigned char>(dane[poczatek + i]);
            const bool zaznaczony = i >= selOd && i < selDo;
            if (zaznaczony != zaznaczonyPrzebieg || b == '\t' || m_pozaSiatka[b]) {
                wypisz();
                zaznaczonyPrzebieg = zaznaczony;
                kolumnaPrzebiegu = kolumna;
            }
            if (b == '\t') {
                kolumna = TRaportTekst::PoTabulatorze(kolumna);
                kolumnaPrzebiegu = kolumna;
                continue;
            }
            if (m_pozaSiatka[b]) {
                // Centred in its cell, whatever width the fallback font gives it.
                const QRectF komorka(x0 + kolumna * m_szerokoscZnaku, y, m_szerokoscZnaku,
                                     m_wysokoscWiersza);
                malarz.setPen(zaznaczony ? tekstZaznaczenia : tekst);
                malarz.drawText(komorka, Qt::AlignCenter, QString(tablica[b]));
                ++kolumna;
                kolumnaPrzebiegu = kolumna;
                continue;
            }
            przebieg.append(tablica[b]);
            ++kolumna;
        }
        wypisz();
    }
}

void TRaportView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    const bool kursorNaKoncu = !hasSelection() && m_kursor == m_raport.Koniec();
    UstawPaski();
    if (m_naKoniecPrzyPokazaniu && isVisible())
        PrzewinDoKonca();
    else if (kursorNaKoncu && isVisible())
        PokazKursor();
}

void TRaportView::showEvent(QShowEvent *event)
{
    QAbstractScrollArea::showEvent(event);
    UstawPaski();
    if (m_naKoniecPrzyPokazaniu)
        PrzewinDoKonca();
}

void TRaportView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        UstawCzcionke();
        UstawPaski();
        viewport()->update();
    }
}

void TRaportView::scrollContentsBy(int, int)
{
    OdswiezObszar();
}

void TRaportView::keyPressEvent(QKeyEvent *event)
{
    Komunikaty::Chron([&] {
        if (event->matches(QKeySequence::Copy)) {
            copy();
            return;
        }
        if (event->matches(QKeySequence::SelectAll)) {
            selectAll();
            return;
        }
        QScrollBar *pionowy = verticalScrollBar();
        QScrollBar *poziomy = horizontalScrollBar();
        const bool ctrl = event->modifiers() & Qt::ControlModifier;
        switch (event->key()) {
        case Qt::Key_Up:
            pionowy->triggerAction(QAbstractSlider::SliderSingleStepSub);
            break;
        case Qt::Key_Down:
            pionowy->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            break;
        case Qt::Key_PageUp:
            pionowy->triggerAction(QAbstractSlider::SliderPageStepSub);
            break;
        case Qt::Key_PageDown:
            pionowy->triggerAction(QAbstractSlider::SliderPageStepAdd);
            break;
        case Qt::Key_Left:
            poziomy->triggerAction(QAbstractSlider::SliderSingleStepSub);
            break;
        case Qt::Key_Right:
            poziomy->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            break;
        case Qt::Key_Home:
            if (ctrl)
                pionowy->triggerAction(QAbstractSlider::SliderToMinimum);
            poziomy->triggerAction(QAbstractSlider::SliderToMinimum);
            break;
        case Qt::Key_End:
            if (ctrl)
                pionowy->triggerAction(QAbstractSlider::SliderToMaximum);
            else
                poziomy->triggerAction(QAbstractSlider::SliderToMaximum);
            break;
        default:
            event->ignore();
            return;
        }
        event->accept();
    });
}

void TRaportView::mousePressEvent(QMouseEvent *event)
{
    Komunikaty::Chron([&] {
        if (event->button() != Qt::LeftButton) {
            event->ignore();
            return;
        }
        const Pozycja p = PozycjaW(event->position().toPoint());
        if (!(event->modifiers() & Qt::ShiftModifier))
            m_kotwica = p;
        m_kursor = p;
        m_zaznaczanie = true;
        viewport()->update();
        KursorZmieniony();
    });
}

void TRaportView::mouseMoveEvent(QMouseEvent *event)
{
    Komunikaty::Chron([&] {
        if (!m_zaznaczanie || !(event->buttons() & Qt::LeftButton))
            return;
        // Dragging past an edge scrolls a step for every move.
        const QPoint punkt = event->position().toPoint();
        if (punkt.y() < 0)
            verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        else if (punkt.y() >= viewport()->height())
            verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        if (punkt.x() < 0)
            horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        else if (punkt.x() >= viewport()->width())
            horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        m_kursor = PozycjaW(punkt);
        viewport()->update();
        KursorZmieniony();
    });
}

void TRaportView::mouseReleaseEvent(QMouseEvent *event)
{
    Komunikaty::Chron([&] {
        if (event->button() != Qt::LeftButton || !m_zaznaczanie)
            return;
        m_zaznaczanie = false;
        QClipboard *schowek = QApplication::clipboard();
        if (hasSelection() && schowek->supportsSelection())
            schowek->setText(selectedText(), QClipboard::Selection);
    });
}

void TRaportView::mouseDoubleClickEvent(QMouseEvent *event)
{
    Komunikaty::Chron([&] {
        if (event->button() != Qt::LeftButton)
            return;
        // The word under the pointer: letters, digits and "_".
        const Pozycja p = PozycjaW(event->position().toPoint());
        const auto &tablica = TRaportTekst::Znaki();
        const char *linia = m_raport.Bajty().constData() + m_raport.PoczatekWiersza(p.linia);
        const qint64 dlugosc = m_raport.DlugoscWiersza(p.linia);
        auto wSlowie = [&](qint64 i) {
            const QChar z = tablica[static_cast<unsigned char>(linia[i])];
            return z.isLetterOrNumber() || z == QLatin1Char('_');
        };
        qint64 od = p.kolumna;
        qint64 do_ = p.kolumna;
        while (od > 0 && wSlowie(od - 1))
            --od;
        while (do_ < dlugosc && wSlowie(do_))
            ++do_;
        if (od == do_ && do_ < dlugosc)
            ++do_; // not in a word: the character itself
        m_kotwica = {p.linia, od};
        m_kursor = {p.linia, do_};
        m_zaznaczanie = false;
        viewport()->update();
        KursorZmieniony();
    });
}

void TRaportView::contextMenuEvent(QContextMenuEvent *event)
{
    Komunikaty::Chron([&] {
        const auto akcje = m_menu->actions();
        akcje.at(0)->setEnabled(hasSelection());
        akcje.at(1)->setEnabled(!m_raport.Bajty().isEmpty());
        m_menu->popup(event->globalPos());
    });
}
