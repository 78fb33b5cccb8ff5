#include "Analiza.h"
#include "RaportView.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QtTest>

using Kawalki = QList<QByteArray>;
using Pozycja = TRaportView::Pozycja;

// The text area as the main window uses it: bytes in, bytes out, a
// Windows-1250 display divided into lines.
class TestRaportView : public QObject
{
    Q_OBJECT

private slots:
    void bajtyZachowaneKawalekPoKawalku_data();
    void bajtyZachowaneKawalekPoKawalku();
    void podzialNaLinie_data();
    void podzialNaLinie();
    void polskieLiteryWidoczne();
    void bajtyBezZnakuWidoczneIZachowane_data();
    void bajtyBezZnakuWidoczneIZachowane();
    void wyczyszczenieZapominaKoncoweCR();
    void duzyRaportZachowanyILiczony();
    void kursorNaKoncuIWidoczny();
    void kursorNaKoncuPoKawalkach_data();
    void kursorNaKoncuPoKawalkach();
    void ukrytePolePrzewijaPrzyPokazaniu();
    void zaznaczonyTekst_data();
    void zaznaczonyTekst();
    void kopiowanie_data();
    void kopiowanie();
    void zaznaczanieMysza_data();
    void zaznaczanieMysza();
    void pozycjaPodTabulatorem_data();
    void pozycjaPodTabulatorem();
    void przewijanieKlawiszami_data();
    void przewijanieKlawiszami();
    void tekstJakoRaport();
    void dostepnyJakPoleTekstowe();
    void liniaWokolPozycji_data();
    void liniaWokolPozycji();
    void ogloszeniaWPaczkach();
    void rysowanieWPaczkach();
};

namespace QTest {
template <> char *toString(const TRaportView::Pozycja &p)
{
    const QByteArray tekst = QByteArray::number(p.linia) + ":" + QByteArray::number(p.kolumna);
    return qstrdup(tekst.constData());
}
} // namespace QTest

static QByteArray LosoweBajty(int ile, quint32 ziarno, bool duzoKoncowLinii)
{
    QRandomGenerator los(ziarno);
    QByteArray wynik(ile, Qt::Uninitialized);
    for (char &b : wynik) {
        const quint32 r = los.bounded(256);
        if (duzoKoncowLinii && r < 64)
            b = (r & 1) ? '\r' : '\n';
        else
            b = char(los.bounded(256));
    }
    return wynik;
}

void TestRaportView::bajtyZachowaneKawalekPoKawalku_data()
{
    QTest::addColumn<QByteArray>("raport");
    QTest::addColumn<int>("kawalek");

    const QByteArray losowe = LosoweBajty(64 * 1024, 1250, false);
    const QByteArray liniowe = LosoweBajty(64 * 1024, 7, true);
    QTest::newRow("losowe po 1 bajcie") << losowe.left(8 * 1024) << 1;
    QTest::newRow("losowe po 7 bajtów") << losowe << 7;
    QTest::newRow("losowe po 4096 bajtów") << losowe << 4096;
    QTest::newRow("gęste CR i LF po 1 bajcie") << liniowe.left(8 * 1024) << 1;
    QTest::newRow("gęste CR i LF po 3 bajty") << liniowe << 3;
    QTest::newRow("gęste CR i LF w całości") << liniowe << int(liniowe.size());
    QTest::newRow("same NUL") << QByteArray(1000, '\0') << 13;
}

void TestRaportView::bajtyZachowaneKawalekPoKawalku()
{
    QFETCH(QByteArray, raport);
    QFETCH(int, kawalek);

    TRaportView pole;
    for (qsizetype i = 0; i < raport.size(); i += kawalek)
        pole.DodajBajty(raport.mid(i, kawalek));

    QCOMPARE(pole.Bajty(), raport);
    // The analysis steps through the same lines the area shows.
    QCOMPARE(pole.LiczbaLinii(), LiczbaLiniiRaportu(raport));

    // The same bytes in one piece give the same display: a split never adds
    // or loses a line break.
    TRaportView wCalosci;
    wCalosci.DodajBajty(raport);
    QCOMPARE(pole.toPlainText(), wCalosci.toPlainText());

    // And the lines the area indexed give the text a plain decoding of the
    // whole report gives.
    bool poCR = false;
    QCOMPARE(pole.toPlainText(), TRaportTekst::TekstDoPokazania(raport, poCR));
}

void TestRaportView::podzialNaLinie_data()
{
    QTest::addColumn<Kawalki>("kawalki");
    QTest::addColumn<QString>("widok");
    QTest::addColumn<int>("linie");

    QTest::newRow("pusto") << Kawalki{} << QString() << 0;
    QTest::newRow("linia bez końca") << Kawalki{"abc"} << QStringLiteral("abc") << 1;
    QTest::newRow("CR LF") << Kawalki{"a\r\nb\r\n"} << QStringLiteral("a\nb\n") << 2;
    QTest::newRow("CR | LF w dwóch kawałkach")
        << Kawalki{"a\r", "\nb\r\n"} << QStringLiteral("a\nb\n") << 2;
    QTest::newRow("CR | LF | LF") << Kawalki{"a\r", "\n", "\n"} << QStringLiteral("a\n\n") << 2;
    QTest::newRow("samo CR LF") << Kawalki{"\r", "\n"} << QStringLiteral("\n") << 1;
    QTest::newRow("gołe CR") << Kawalki{"a\rb\r"} << QStringLiteral("a\nb\n") << 2;
    QTest::newRow("gołe LF") << Kawalki{"a\nb"} << QStringLiteral("a\nb") << 2;
    QTest::newRow("LF CR to dwa końce") << Kawalki{"a\n\rb"} << QStringLiteral("a\n\nb") << 3;
    QTest::newRow("CR CR LF") << Kawalki{"a\r\r\nb"} << QStringLiteral("a\n\nb") << 3;
    QTest::newRow("CR, pusty kawałek, LF")
        << Kawalki{"a\r", "", "\nb"} << QStringLiteral("a\nb") << 2;
    QTest::newRow("puste linie") << Kawalki{"\r\n\r\n\r\n"} << QStringLiteral("\n\n\n") << 3;
    QTest::newRow("CR | LF CR | LF")
        << Kawalki{"a\r", "\n\r", "\nb"} << QStringLiteral("a\n\nb") << 3;
    QTest::newRow("LF | CR to dwa końce") << Kawalki{"a\n", "\rb"} << QStringLiteral("a\n\nb") << 3;
    QTest::newRow("linia przez trzy kawałki")
        << Kawalki{"ab", "cd", "e\r\nf"} << QStringLiteral("abcde\nf") << 2;
    QTest::newRow("tabulator zostaje") << Kawalki{"a\tb\r\n"} << QStringLiteral("a\tb\n") << 1;
    QTest::newRow("polskie litery, gołe CR i LF") << Kawalki{"\xB3\xF3"
                                                             "d\x9F\r",
                                                             "\nx\ry\n"}
                                                  << QStringLiteral("łódź\nx\ny\n") << 3;
    QTest::newRow("długie linie") << Kawalki{"0123456789abcdefghij\r\n0123456\r\n"}
                                  << QStringLiteral("0123456789abcdefghij\n0123456\n") << 2;
    QTest::newRow("koniec linii w środku ośmiu bajtów")
        << Kawalki{"abcdefghijk\rlmnopqrstuvwxyz01\n"}
        << QStringLiteral("abcdefghijk\nlmnopqrstuvwxyz01\n") << 2;
    QTest::newRow("długi CR | LF") << Kawalki{"abcdefghijklmnopqrstuvw\r", "\nxyz0123456789"}
                                   << QStringLiteral("abcdefghijklmnopqrstuvw\nxyz0123456789") << 2;
    QTest::newRow("tabulator po długim tekście")
        << Kawalki{"abcdefghijklmnop\tq\r\n"} << QStringLiteral("abcdefghijklmnop\tq\n") << 1;
}

void TestRaportView::podzialNaLinie()
{
    QFETCH(Kawalki, kawalki);
    QFETCH(QString, widok);
    QFETCH(int, linie);

    // The report's text with no window, as the area and its accessible
    // interface both read it.
    TRaportTekst raport;
    QByteArray razem;
    for (const QByteArray &k : kawalki) {
        raport.Dodaj(k);
        razem += k;
    }
    QCOMPARE(raport.Tekst(Pozycja{}, raport.Koniec()), widok);
    QCOMPARE(raport.LiczbaLinii(), linie);
    QCOMPARE(LiczbaLiniiRaportu(razem), linie);
    QCOMPARE(raport.Bajty(), razem);
    // The widest line sets the sideways scrolling (tabs aside: they widen).
    if (!widok.contains(u'\t')) {
        qsizetype najszerszy = 0;
        for (const QString &l : widok.split(u'\n'))
            najszerszy = std::max(najszerszy, l.size());
        QCOMPARE(raport.Najszerszy(), najszerszy);
    }

    // A screen reader counts the same characters, and every character's
    // place leads back to it.
    QCOMPARE(raport.LiczbaZnakow(), widok.size());
    QCOMPARE(raport.TekstZnakow(0, raport.LiczbaZnakow()), widok);
    for (qint64 znak = 0; znak <= raport.LiczbaZnakow(); ++znak)
        QCOMPARE(raport.ZnakPozycji(raport.PozycjaZnaku(znak)), znak);
}

void TestRaportView::polskieLiteryWidoczne()
{
    // ą ę ł ś ż ź ć ń ó, a blank, then the capitals, as the device sends them.
    const QByteArray bajty("\xB9\xEA\xB3\x9C\xBF\x9F\xE6\xF1\xF3 "
                           "\xA5\xCA\xA3\x8C\xAF\x8F\xC6\xD1\xD3\r\n");
    TRaportView pole;
    pole.DodajBajty(bajty.left(5));
    pole.DodajBajty(bajty.mid(5));
    QCOMPARE(pole.toPlainText(), QStringLiteral("ąęłśżźćńó ĄĘŁŚŻŹĆŃÓ\n"));
    QCOMPARE(pole.Bajty(), bajty);
}

void TestRaportView::bajtyBezZnakuWidoczneIZachowane_data()
{
    QTest::addColumn<QByteArray>("bajt");

    QTest::newRow("NUL") << QByteArray(1, '\0');
    QTest::newRow("SOH") << QByteArray("\x01");
    QTest::newRow("ESC") << QByteArray("\x1B");
    QTest::newRow("DEL") << QByteArray("\x7F");
    QTest::newRow("nieprzypisany 0x81") << QByteArray("\x81");
    QTest::newRow("nieprzypisany 0x98") << QByteArray("\x98");
}

void TestRaportView::bajtyBezZnakuWidoczneIZachowane()
{
    QFETCH(QByteArray, bajt);

    TRaportView pole;
    const QByteArray raport = "a" + bajt + "b";
    pole.DodajBajty(raport);
    QCOMPARE(pole.Bajty(), raport);
    const QString widok = pole.toPlainText();
    QCOMPARE(widok.size(), 3);
    QVERIFY2(widok.at(1).isPrint(), qPrintable(QString::number(widok.at(1).unicode(), 16)));
    QCOMPARE(pole.LiczbaLinii(), 1);
}

void TestRaportView::wyczyszczenieZapominaKoncoweCR()
{
    TRaportView pole;
    pole.DodajBajty("stary raport\r");
    pole.Wyczysc();
    QVERIFY(pole.Bajty().isEmpty());
    QCOMPARE(pole.LiczbaLinii(), 0);
    QVERIFY(pole.toPlainText().isEmpty());

    // An LF that opens the new report is a line break of its own, not the
    // end of the old report's CR.
    pole.DodajBajty("\nnowy");
    QCOMPARE(pole.toPlainText(), QStringLiteral("\nnowy"));
    QCOMPARE(pole.LiczbaLinii(), 2);
}

void TestRaportView::duzyRaportZachowanyILiczony()
{
    QByteArray linia = "Licznik 01   wejscia 000123   wyjscia 000120\r\n";
    QByteArray raport;
    const int liczbaLinii = 200000;
    raport.reserve(linia.size() * liczbaLinii);
    for (int i = 0; i < liczbaLinii; ++i)
        raport += linia;

    TRaportView pole;
    for (qsizetype i = 0; i < raport.size(); i += 4093)
        pole.DodajBajty(raport.mid(i, 4093));
    pole.KursorNaKoniec();

    QCOMPARE(pole.Bajty().size(), raport.size());
    QVERIFY(pole.Bajty() == raport);
    QCOMPARE(pole.LiczbaLinii(), liczbaLinii);
    // The caret waits on the empty line after the last line break.
    QCOMPARE(pole.kursor(), (Pozycja{liczbaLinii, 0}));
}

void TestRaportView::kursorNaKoncuIWidoczny()
{
    TRaportView pole;
    pole.resize(300, 120);
    pole.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pole));

    for (int i = 0; i < 300; ++i)
        pole.DodajBajty(QByteArray("linia ") + QByteArray::number(i) + "\r\n");
    pole.KursorNaKoniec();

    QCOMPARE(pole.kursor(), (Pozycja{300, 0}));
    QVERIFY(!pole.hasSelection());
    QVERIFY(pole.verticalScrollBar()->maximum() > 0);
    QCOMPARE(pole.verticalScrollBar()->value(), pole.verticalScrollBar()->maximum());
    QTRY_VERIFY(pole.viewport()->rect().contains(pole.cursorRect()));

    // A long last line scrolls sideways to its end.
    pole.DodajBajty(QByteArray(500, 'x'));
    pole.KursorNaKoniec();
    QCOMPARE(pole.kursor(), (Pozycja{300, 500}));
    QVERIFY(pole.horizontalScrollBar()->value() > 0);
    QVERIFY(pole.viewport()->rect().contains(pole.cursorRect()));
}

void TestRaportView::kursorNaKoncuPoKawalkach_data()
{
    QTest::addColumn<Kawalki>("kawalki");
    QTest::addColumn<Pozycja>("koniec");

    QTest::newRow("pusto") << Kawalki{} << Pozycja{0, 0};
    QTest::newRow("linia bez końca") << Kawalki{"ab", "c"} << Pozycja{0, 3};
    QTest::newRow("CR czeka na LF") << Kawalki{"ab\r"} << Pozycja{1, 0};
    QTest::newRow("CR | LF") << Kawalki{"ab\r", "\n"} << Pozycja{1, 0};
    QTest::newRow("CR | LF, dalej tekst") << Kawalki{"ab\r", "\ncd"} << Pozycja{1, 2};
    QTest::newRow("CR | CR") << Kawalki{"ab\r", "\r"} << Pozycja{2, 0};
    QTest::newRow("LF | LF") << Kawalki{"\n", "\n"} << Pozycja{2, 0};
}

void TestRaportView::kursorNaKoncuPoKawalkach()
{
    QFETCH(Kawalki, kawalki);
    QFETCH(Pozycja, koniec);

    // The caret is moved after every chunk, as while a report arrives.
    TRaportView pole;
    for (const QByteArray &k : kawalki) {
        pole.DodajBajty(k);
        pole.KursorNaKoniec();
    }
    QCOMPARE(pole.kursor(), koniec);
    QCOMPARE(pole.kotwica(), koniec);
}

void TestRaportView::ukrytePolePrzewijaPrzyPokazaniu()
{
    // No live preview: the area fills while hidden and is shown at the end.
    TRaportView pole;
    pole.resize(300, 120);
    for (int i = 0; i < 1000; ++i)
        pole.DodajBajty(QByteArray("linia ") + QByteArray::number(i) + "\r\n");
    pole.KursorNaKoniec();
    QVERIFY(!pole.isVisible());

    pole.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pole));
    QVERIFY(pole.verticalScrollBar()->maximum() > 900);
    QCOMPARE(pole.verticalScrollBar()->value(), pole.verticalScrollBar()->maximum());
    QVERIFY(pole.viewport()->rect().contains(pole.cursorRect()));

    pole.Wyczysc();
    QCOMPARE(pole.verticalScrollBar()->maximum(), 0);
    QCOMPARE(pole.kursor(), (Pozycja{0, 0}));
}

void TestRaportView::zaznaczonyTekst_data()
{
    QTest::addColumn<Kawalki>("kawalki");
    QTest::addColumn<Pozycja>("kotwica");
    QTest::addColumn<Pozycja>("kursor");
    QTest::addColumn<QString>("tekst");

    const Kawalki trzy{"ab\r", "\ncd\r\n", "ef"};
    QTest::newRow("nic") << trzy << Pozycja{1, 1} << Pozycja{1, 1} << QString();
    QTest::newRow("w linii") << trzy << Pozycja{1, 0} << Pozycja{1, 2} << QStringLiteral("cd");
    QTest::newRow("przez CR | LF")
        << trzy << Pozycja{0, 1} << Pozycja{1, 1} << QStringLiteral("b\nc");
    QTest::newRow("wstecz") << trzy << Pozycja{2, 1} << Pozycja{0, 1} << QStringLiteral("b\ncd\ne");
    QTest::newRow("cała linia z końcem")
        << trzy << Pozycja{1, 0} << Pozycja{2, 0} << QStringLiteral("cd\n");
    QTest::newRow("poza końcem linii")
        << trzy << Pozycja{0, 1} << Pozycja{0, 99} << QStringLiteral("b");
    QTest::newRow("poza ostatnią linią")
        << trzy << Pozycja{2, 0} << Pozycja{9, 9} << QStringLiteral("ef");
    QTest::newRow("puste linie") << Kawalki{"a\r\r\n\nb"} << Pozycja{0, 0} << Pozycja{3, 1}
                                 << QStringLiteral("a\n\n\nb");
    QTest::newRow("polskie litery") << Kawalki{"x\xB9\xEA\r\n\xB3y"} << Pozycja{0, 1}
                                    << Pozycja{1, 1} << QStringLiteral("ąę\nł");
    QTest::newRow("bajt bez znaku") << Kawalki{QByteArray("a\0b", 3)} << Pozycja{0, 0}
                                    << Pozycja{0, 3} << QStringLiteral("a\u2400b");
}

void TestRaportView::zaznaczonyTekst()
{
    QFETCH(Kawalki, kawalki);
    QFETCH(Pozycja, kotwica);
    QFETCH(Pozycja, kursor);
    QFETCH(QString, tekst);

    TRaportView pole;
    for (const QByteArray &k : kawalki)
        pole.DodajBajty(k);
    pole.UstawZaznaczenie(kotwica, kursor);
    QCOMPARE(pole.selectedText(), tekst);

    // Assistive technology sees the same selection, and a selection it
    // makes is the area's.
    QAccessibleTextInterface *dostep =
        QAccessible::queryAccessibleInterface(&pole)->textInterface();
    QCOMPARE(dostep->selectionCount(), tekst.isEmpty() ? 0 : 1);
    if (tekst.isEmpty())
        return;
    int od = -1, do_ = -1;
    dostep->selection(0, &od, &do_);
    QCOMPARE(dostep->text(od, do_), tekst);
    dostep->removeSelection(0);
    QVERIFY(!pole.hasSelection());
    dostep->setSelection(0, od, do_);
    QCOMPARE(pole.selectedText(), tekst);
    QCOMPARE(dostep->cursorPosition(), do_);
}

void TestRaportView::kopiowanie_data()
{
    QTest::addColumn<QString>("sposob");

    QTest::newRow("Ctrl+C") << QStringLiteral("klawisz");
    QTest::newRow("menu Kopiuj") << QStringLiteral("menu");
}

void TestRaportView::kopiowanie()
{
    QFETCH(QString, sposob);

    TRaportView pole;
    pole.DodajBajty("Odwiedziny w dniu: 03/05/01\r\nSala \xB9\r\n");
    QClipboard *schowek = QApplication::clipboard();
    schowek->setText(QStringLiteral("przedtem"));

    auto kopiuj = [&] {
        if (sposob == QLatin1String("klawisz")) {
            QTest::keyClick(&pole, Qt::Key_C, Qt::ControlModifier);
        } else {
            auto *akcja = pole.findChild<QAction *>(QStringLiteral("Kopiuj1"));
            QVERIFY(akcja);
            QCOMPARE(akcja->text(), QStringLiteral("Kopiuj"));
            akcja->trigger();
        }
    };

    // Nothing selected: the clipboard keeps what it had.
    kopiuj();
    QCOMPARE(schowek->text(), QStringLiteral("przedtem"));

    pole.UstawZaznaczenie({0, 13}, {1, 6});
    kopiuj();
    QCOMPARE(schowek->text(), QStringLiteral("dniu: 03/05/01\nSala ą"));

    QTest::keyClick(&pole, Qt::Key_A, Qt::ControlModifier);
    kopiuj();
    QCOMPARE(schowek->text(), QStringLiteral("Odwiedziny w dniu: 03/05/01\nSala ą\n"));
}

void TestRaportView::zaznaczanieMysza_data()
{
    QTest::addColumn<Pozycja>("nacisniecie");
    QTest::addColumn<Pozycja>("puszczenie");
    QTest::addColumn<Pozycja>("zShiftem"); // {-1, -1}: no Shift+click
    QTest::addColumn<QString>("tekst");

    const Pozycja bez{-1, -1};
    QTest::newRow("w przód") << Pozycja{0, 2} << Pozycja{1, 3} << bez
                             << QStringLiteral("nia 0\nlin");
    QTest::newRow("wstecz") << Pozycja{1, 3} << Pozycja{0, 2} << bez
                            << QStringLiteral("nia 0\nlin");
    QTest::newRow("Shift+klik rozszerza")
        << Pozycja{1, 0} << Pozycja{1, 2} << Pozycja{2, 5} << QStringLiteral("linia 1\nlinia");
    QTest::newRow("Shift+klik przed kotwicą")
        << Pozycja{1, 2} << Pozycja{1, 4} << Pozycja{0, 6} << QStringLiteral("0\nli");
    QTest::newRow("za końcem linii")
        << Pozycja{0, 40} << Pozycja{1, 40} << bez << QStringLiteral("\nlinia 1");
}

void TestRaportView::zaznaczanieMysza()
{
    QFETCH(Pozycja, nacisniecie);
    QFETCH(Pozycja, puszczenie);
    QFETCH(Pozycja, zShiftem);
    QFETCH(QString, tekst);

    TRaportView pole;
    pole.resize(400, 200);
    pole.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pole));
    pole.DodajBajty("linia 0\r\nlinia 1\r\nlinia 2\r\n");

    // A point just right of the left edge of a character's cell: the caret
    // goes before that character. A column past a line's end is after its
    // last character.
    const qreal szerokosc = QFontMetricsF(pole.font()).horizontalAdvance(QLatin1Char('M'));
    auto punkt = [&](Pozycja p) {
        pole.UstawZaznaczenie({p.linia, 0}, {p.linia, 0});
        const QRect poczatek = pole.cursorRect();
        return QPoint(poczatek.x() + qRound(p.kolumna * szerokosc) + 1, poczatek.center().y());
    };
    auto *vp = pole.viewport();
    const QPoint od = punkt(nacisniecie);
    const QPoint do_ = punkt(puszczenie);
    const QPoint zShiftemPunkt = zShiftem.linia >= 0 ? punkt(zShiftem) : QPoint();
    QTest::mousePress(vp, Qt::LeftButton, {}, od);
    QMouseEvent ruch(QEvent::MouseMove, do_, vp->mapToGlobal(do_), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(vp, &ruch);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, do_);
    if (zShiftem.linia >= 0)
        QTest::mouseClick(vp, Qt::LeftButton, Qt::ShiftModifier, zShiftemPunkt);
    QCOMPARE(pole.selectedText(), tekst);
}

void TestRaportView::pozycjaPodTabulatorem_data()
{
    QTest::addColumn<Kawalki>("kawalki");
    QTest::addColumn<int>("kolumna"); // display column clicked (left part of the cell)
    QTest::addColumn<int>("bajt");

    // "a\tb": the tab reaches column 8, where "b" stands.
    const Kawalki zamknieta{"a\tb\r\n"};
    QTest::newRow("a") << zamknieta << 0 << 0;
    QTest::newRow("początek tabulatora") << zamknieta << 1 << 1;
    QTest::newRow("środek tabulatora, bliżej początku") << zamknieta << 3 << 1;
    QTest::newRow("środek tabulatora, bliżej końca") << zamknieta << 6 << 2;
    QTest::newRow("b") << zamknieta << 8 << 2;
    QTest::newRow("za b") << zamknieta << 9 << 3;
    QTest::newRow("daleko za końcem") << zamknieta << 50 << 3;
    // The line still arriving, its tab in an earlier chunk.
    const Kawalki otwarta{"a\t", "b"};
    QTest::newRow("ostatnia linia: b") << otwarta << 8 << 2;
    QTest::newRow("ostatnia linia: za b") << otwarta << 9 << 3;
    QTest::newRow("tabulator w linii przed ostatnią") << Kawalki{"a\t", "b\r", "\nxyz"} << 8 << 2;
}

void TestRaportView::pozycjaPodTabulatorem()
{
    QFETCH(Kawalki, kawalki);
    QFETCH(int, kolumna);
    QFETCH(int, bajt);

    TRaportView pole;
    pole.resize(600, 100);
    pole.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pole));
    for (const QByteArray &k : kawalki)
        pole.DodajBajty(k);
    const qreal szerokosc = QFontMetricsF(pole.font()).horizontalAdvance(QLatin1Char('M'));
    const QRect poczatek = pole.cursorRect(); // caret at the start of line 0
    const QPoint punkt(poczatek.x() + qRound(kolumna * szerokosc) + 1, poczatek.center().y());
    QCOMPARE(pole.PozycjaW(punkt), (Pozycja{0, bajt}));

    // The caret is drawn where the character is.
    pole.UstawZaznaczenie({0, bajt}, {0, bajt});
    const int oczekiwana = bajt == 0 ? 0 : bajt == 1 ? 1 : bajt == 2 ? 8 : 9;
    QVERIFY(qAbs(pole.cursorRect().x() - (poczatek.x() + oczekiwana * szerokosc)) <= 1.0);
}

void TestRaportView::przewijanieKlawiszami_data()
{
    QTest::addColumn<int>("klawisz");
    QTest::addColumn<int>("modyfikatory");
    QTest::addColumn<QString>("gdzie"); // "0", "1", "strona", "koniec"

    QTest::newRow("strzałka w dół") << int(Qt::Key_Down) << 0 << QStringLiteral("1");
    QTest::newRow("strona w dół") << int(Qt::Key_PageDown) << 0 << QStringLiteral("strona");
    QTest::newRow("Ctrl+End") << int(Qt::Key_End) << int(Qt::ControlModifier)
                              << QStringLiteral("koniec");
    QTest::newRow("strzałka w górę na początku") << int(Qt::Key_Up) << 0 << QStringLiteral("0");
}

void TestRaportView::przewijanieKlawiszami()
{
    QFETCH(int, klawisz);
    QFETCH(int, modyfikatory);
    QFETCH(QString, gdzie);

    TRaportView pole;
    pole.resize(300, 150);
    pole.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pole));
    for (int i = 0; i < 200; ++i)
        pole.DodajBajty(QByteArray("linia ") + QByteArray::number(i) + "\r\n");
    QScrollBar *pasek = pole.verticalScrollBar();
    QCOMPARE(pasek->value(), 0);

    QTest::keyClick(&pole, Qt::Key(klawisz), Qt::KeyboardModifiers(modyfikatory));
    const int oczekiwana = gdzie == QLatin1String("1")        ? 1
                           : gdzie == QLatin1String("strona") ? pasek->pageStep()
                           : gdzie == QLatin1String("koniec") ? pasek->maximum()
                                                              : 0;
    QCOMPARE(pasek->value(), oczekiwana);
    QTest::keyClick(&pole, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(pasek->value(), 0);
}

void TestRaportView::tekstJakoRaport()
{
    // Text put in as a whole is kept as the device would have sent it.
    TRaportView pole;
    pole.DodajBajty("stary");
    pole.setPlainText(QStringLiteral("Sala ą\nb"));
    QCOMPARE(pole.Bajty(), QByteArray("Sala \xB9\r\nb"));
    QCOMPARE(pole.toPlainText(), QStringLiteral("Sala ą\nb"));
    QCOMPARE(pole.LiczbaLinii(), 2);
}

void TestRaportView::dostepnyJakPoleTekstowe()
{
    TRaportView pole;
    pole.DodajBajty("ab\r\ncd");
    QAccessibleInterface *dostep = QAccessible::queryAccessibleInterface(&pole);
    QVERIFY(dostep);
    QCOMPARE(dostep->role(), QAccessible::EditableText);
    QVERIFY(dostep->state().readOnly);
    QVERIFY(dostep->state().multiLine);
    QVERIFY(!dostep->text(QAccessible::Name).isEmpty());
    // Hidden while a report arrives without the live preview: not showing.
    QVERIFY(dostep->state().invisible);
    pole.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pole));
    QVERIFY(!dostep->state().invisible);

    // The character under a point is the one whose cell holds it.
    QAccessibleTextInterface *tekst = dostep->textInterface();
    const QRect c = tekst->characterRect(4);
    QVERIFY(c.top() > tekst->characterRect(1).top());
    QCOMPARE(tekst->offsetAtPoint(c.topLeft() + QPoint(1, c.height() / 2)), 4);
}

void TestRaportView::liniaWokolPozycji_data()
{
    QTest::addColumn<Kawalki>("kawalki");
    QTest::addColumn<int>("znak");
    QTest::addColumn<int>("gdzie"); // -1 the line before, 0 the line at, 1 the line after
    QTest::addColumn<QString>("linia");
    QTest::addColumn<int>("poczatek");

    const Kawalki trzy{"ab\r", "\ncd\r\n", "ef"};
    QTest::newRow("środek linii") << trzy << 4 << 0 << QStringLiteral("cd\n") << 3;
    QTest::newRow("na końcu linii") << trzy << 2 << 0 << QStringLiteral("ab\n") << 0;
    QTest::newRow("ostatnia bez końca") << trzy << 8 << 0 << QStringLiteral("ef") << 6;
    QTest::newRow("linia przed") << trzy << 4 << -1 << QStringLiteral("ab\n") << 0;
    QTest::newRow("linia po") << trzy << 4 << 1 << QStringLiteral("ef") << 6;
    QTest::newRow("polskie litery, gołe CR") << Kawalki{"x\r\xB3\xF3"
                                                        "d\x9F\ry"}
                                             << 3 << 0 << QStringLiteral("łódź\n") << 2;

    // Line n of "0000\r\n0001\r\n..." starts at character 5 n.
    QByteArray duzy;
    for (int i = 0; i < 5000; ++i)
        duzy += QByteArray::number(i).rightJustified(4, '0') + "\r\n";
    QTest::newRow("głęboko w dużym raporcie")
        << Kawalki{duzy} << 5 * 4321 + 2 << 0 << QStringLiteral("4321\n") << 5 * 4321;
}

void TestRaportView::liniaWokolPozycji()
{
    QFETCH(Kawalki, kawalki);
    QFETCH(int, znak);
    QFETCH(int, gdzie);
    QFETCH(QString, linia);
    QFETCH(int, poczatek);

    TRaportView pole;
    for (const QByteArray &k : kawalki)
        pole.DodajBajty(k);
    QAccessibleTextInterface *tekst = QAccessible::queryAccessibleInterface(&pole)->textInterface();
    int od = -1, do_ = -1;
    const auto granica = QAccessible::LineBoundary;
    const QString wynik = gdzie < 0   ? tekst->textBeforeOffset(znak, granica, &od, &do_)
                          : gdzie > 0 ? tekst->textAfterOffset(znak, granica, &od, &do_)
                                      : tekst->textAtOffset(znak, granica, &od, &do_);
    QCOMPARE(wynik, linia);
    QCOMPARE(od, poczatek);
    QCOMPARE(do_, poczatek + linia.size());
}

void TestRaportView::ogloszeniaWPaczkach()
{
    // What a screen reader is told while a report of 10,000 chunks arrives:
    // each chunk a line with "ł", its CR at the end of one chunk and its LF
    // at the start of the next, the event loop running between chunks.
    struct Ogloszenie
    {
        QAccessible::Event rodzaj;
        int pozycja;
        QString tekst;
    };
    QList<Ogloszenie> ogloszenia;
    TRaportView::UstawSluchaczaDostepnosci([&](QAccessibleEvent *z) {
        Ogloszenie o{z->type(), -1, QString()};
        if (z->type() == QAccessible::TextInserted) {
            auto *w = static_cast<QAccessibleTextInsertEvent *>(z);
            o.pozycja = w->changePosition();
            o.tekst = w->textInserted();
        } else if (z->type() == QAccessible::TextRemoved) {
            auto *u = static_cast<QAccessibleTextRemoveEvent *>(z);
            o.pozycja = u->changePosition();
            o.tekst = u->textRemoved();
        } else if (z->type() == QAccessible::TextCaretMoved) {
            o.pozycja = static_cast<QAccessibleTextCursorEvent *>(z)->cursorPosition();
        }
        ogloszenia.append(o);
    });
    auto koniecSluchania = qScopeGuard([] { TRaportView::UstawSluchaczaDostepnosci({}); });

    TRaportView pole;
    QString oczekiwany;
    constexpr int kKawalkow = 10000;
    for (int i = 0; i < kKawalkow; ++i) {
        pole.DodajBajty((i ? "\n\xB3" : "\xB3") + QByteArray::number(i) + "\r");
        pole.KursorNaKoniec();
        oczekiwany += u'ł' + QString::number(i) + u'\n';
        QCoreApplication::processEvents();
    }
    QTRY_VERIFY(!ogloszenia.isEmpty() && ogloszenia.last().rodzaj == QAccessible::TextCaretMoved &&
                ogloszenia.last().pozycja == oczekiwany.size());

    // Batches, not one announcement per chunk; together they are the text,
    // each going on where the one before ended.
    QString wstawiony;
    int wstawien = 0;
    for (const Ogloszenie &o : ogloszenia) {
        if (o.rodzaj != QAccessible::TextInserted)
            continue;
        QCOMPARE(o.pozycja, wstawiony.size());
        wstawiony += o.tekst;
        ++wstawien;
    }
    QCOMPARE(wstawiony, oczekiwany);
    QVERIFY2(ogloszenia.size() < kKawalkow / 50, qPrintable(QString::number(ogloszenia.size())));
    QVERIFY(wstawien >= 1);

    // Emptying the area for the next report takes back what was told.
    ogloszenia.clear();
    pole.Wyczysc();
    QCOMPARE(ogloszenia.size(), 1);
    QCOMPARE(ogloszenia[0].rodzaj, QAccessible::TextRemoved);
    QCOMPARE(ogloszenia[0].pozycja, 0);
    QCOMPARE(ogloszenia[0].tekst, oczekiwany);
}

QTEST_MAIN(TestRaportView)
void TestRaportView::rysowanieWPaczkach()
{
    // A report arriving in many small chunks, the event loop running between
    // them: the area is painted far fewer times than chunks came.
    TRaportView pole;
    pole.resize(300, 120);
    pole.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pole));

    struct Licznik : QObject
    {
        int rysowan = 0;
        bool eventFilter(QObject *, QEvent *e) override
        {
            rysowan += e->type() == QEvent::Paint;
            return false;
        }
    } licznik, pasek;
    pole.viewport()->installEventFilter(&licznik);
    pole.verticalScrollBar()->installEventFilter(&pasek);

    constexpr int kKawalkow = 2000;
    for (int i = 0; i < kKawalkow; ++i) {
        pole.DodajBajty("linia " + QByteArray::number(i) + "\r\n");
        pole.KursorNaKoniec();
        QCoreApplication::processEvents();
    }
    QVERIFY2(licznik.rysowan < kKawalkow / 2, qPrintable(QString::number(licznik.rysowan)));

    // What the last chunks held back is painted without anything else
    // happening, and the scroll bar keeps showing where the text is.
    pole.DodajBajty("przedostatnia\r\n");
    pole.DodajBajty("ostatnia");
    pole.KursorNaKoniec();
    const int przed = licznik.rysowan;
    QTRY_VERIFY(licznik.rysowan > przed);
    QVERIFY(pole.viewport()->rect().contains(pole.cursorRect()));
    QCOMPARE(pole.verticalScrollBar()->value(), pole.verticalScrollBar()->maximum());
    QVERIFY(pole.verticalScrollBar()->maximum() > kKawalkow / 2);
    QTRY_VERIFY(pasek.rysowan > 0);
}

#include "tst_raportview.moc"
