#include "Analiza.h"
#include "RaportView.h"

#include <QRandomGenerator>
#include <QScrollBar>
#include <QTextBlock>
#include <QtTest>

using Kawalki = QList<QByteArray>;

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
};

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
}

void TestRaportView::podzialNaLinie()
{
    QFETCH(Kawalki, kawalki);
    QFETCH(QString, widok);
    QFETCH(int, linie);

    TRaportView pole;
    QByteArray razem;
    for (const QByteArray &k : kawalki) {
        pole.DodajBajty(k);
        razem += k;
    }
    QCOMPARE(pole.toPlainText(), widok);
    QCOMPARE(pole.LiczbaLinii(), linie);
    QCOMPARE(LiczbaLiniiRaportu(razem), linie);
    QCOMPARE(pole.Bajty(), razem);
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
    QCOMPARE(pole.document()->blockCount(), liczbaLinii + 1);
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

    QCOMPARE(pole.textCursor().position(), pole.document()->characterCount() - 1);
    QVERIFY(pole.verticalScrollBar()->maximum() > 0);
    QTRY_VERIFY(pole.viewport()->rect().contains(pole.cursorRect()));
}

QTEST_MAIN(TestRaportView)
#include "tst_raportview.moc"
