#include "Analiza.h"
#include "RaportView.h"

#include <QtTest>

// Finding the first and the last day named in a received report.
class TestAnaliza : public QObject
{
    Q_OBJECT

private slots:
    void dniRaportu_data();
    void dniRaportu();
    void postepLiniaPoLinii_data();
    void postepLiniaPoLinii();
    void ponownaAnalizaPoDopisaniu();
    void duzyRaport();
};

void TestAnaliza::dniRaportu_data()
{
    QTest::addColumn<QByteArray>("raport");
    QTest::addColumn<QString>("odPrzed");
    QTest::addColumn<QString>("dataOd");
    QTest::addColumn<QString>("dataDo");
    QTest::addColumn<bool>("saDni");

    QTest::newRow("ukośniki stają się myślnikami")
        << QByteArray("Raport obiektu\r\nOdwiedziny w dniu:2003/05/12\r\n  wejscia 12\r\n")
        << QString() << QStringLiteral("2003-05-12") << QStringLiteral("2003-05-12") << true;
    QTest::newRow("odstęp po dwukropku zostaje")
        << QByteArray("Odwiedziny w dniu: 2003/05/12\r\n") << QString()
        << QStringLiteral(" 2003-05-12") << QStringLiteral(" 2003-05-12") << true;
    QTest::newRow("kilka dni: pierwszy i ostatni")
        << QByteArray("Odwiedziny w dniu: 01/05/03\r\nx\r\nOdwiedziny w dniu: 02/05/03\r\n"
                      "Odwiedziny w dniu: 03/05/03\r\nSuma\r\n")
        << QString() << QStringLiteral(" 01-05-03") << QStringLiteral(" 03-05-03") << true;
    QTest::newRow("dzień bez dwukropka nie ustawia początku")
        << QByteArray("Odwiedziny w dniu 1\r\nOdwiedziny w dniu:2003/05/13\r\n") << QString()
        << QStringLiteral("2003-05-13") << QStringLiteral("2003-05-13") << true;
    QTest::newRow("ostatni dzień bez dwukropka zeruje koniec")
        << QByteArray("Odwiedziny w dniu:2003/05/13\r\nOdwiedziny w dniu bez daty\r\n") << QString()
        << QStringLiteral("2003-05-13") << QString() << true;
    QTest::newRow("dwukropek na końcu linii")
        << QByteArray("Odwiedziny w dniu:\r\n") << QString() << QString() << QString() << true;
    QTest::newRow("dalsze dwukropki należą do dnia")
        << QByteArray("Odwiedziny w dniu: 2003/05/12 12:30:00\r\n") << QString()
        << QStringLiteral(" 2003-05-12 12:30:00") << QStringLiteral(" 2003-05-12 12:30:00") << true;
    QTest::newRow("fraza w środku linii")
        << QByteArray("** Odwiedziny w dniu nr 4: 12/05\r\n") << QString()
        << QStringLiteral(" 12-05") << QStringLiteral(" 12-05") << true;
    QTest::newRow("fraza małymi literami to nie dzień")
        << QByteArray("odwiedziny w dniu: 2003/05/12\r\nODWIEDZINY W DNIU: 1\r\n") << QString()
        << QString() << QString() << false;
    QTest::newRow("bez linii dni")
        << QByteArray("Licznik\r\n12\r\n") << QString() << QString() << QString() << false;
    QTest::newRow("pusty raport") << QByteArray() << QString() << QString() << QString() << false;
    QTest::newRow("polskie litery w dniu")
        << QByteArray("Odwiedziny w dniu: \x9Croda 12/05\r\n") << QString()
        << QStringLiteral(" środa 12-05") << QStringLiteral(" środa 12-05") << true;
    QTest::newRow("gołe CR dzieli linie")
        << QByteArray("Odwiedziny w dniu:1/1\rOdwiedziny w dniu:2/2\r") << QString()
        << QStringLiteral("1-1") << QStringLiteral("2-2") << true;
    QTest::newRow("gołe LF dzieli linie")
        << QByteArray("Odwiedziny w dniu:1/1\nOdwiedziny w dniu:2/2") << QString()
        << QStringLiteral("1-1") << QStringLiteral("2-2") << true;
    QTest::newRow("wcześniejszy początek zostaje")
        << QByteArray("Odwiedziny w dniu:2003/05/12\r\n") << QStringLiteral("2003-05-01")
        << QStringLiteral("2003-05-01") << QStringLiteral("2003-05-12") << true;
}

void TestAnaliza::dniRaportu()
{
    QFETCH(QByteArray, raport);
    QFETCH(QString, odPrzed);
    QFETCH(QString, dataOd);
    QFETCH(QString, dataDo);
    QFETCH(bool, saDni);

    QString od = odPrzed;
    QString doDnia = QStringLiteral("poprzedni");
    if (!saDni)
        doDnia.clear();
    QCOMPARE(AnalizujRaport(raport, od, doDnia), saDni);
    QCOMPARE(od, dataOd);
    QCOMPARE(doDnia, dataDo);
}

void TestAnaliza::postepLiniaPoLinii_data()
{
    QTest::addColumn<QByteArray>("raport");
    QTest::addColumn<int>("linie");

    QTest::newRow("pusty") << QByteArray() << 0;
    QTest::newRow("jedna bez końca") << QByteArray("a") << 1;
    QTest::newRow("jedna z CR LF") << QByteArray("a\r\n") << 1;
    QTest::newRow("druga bez końca") << QByteArray("a\r\nb") << 2;
    QTest::newRow("puste linie") << QByteArray("\r\n\r\n\r\n") << 3;
    QTest::newRow("mieszane końce") << QByteArray("a\rb\nc\r\nd\n\r") << 5;
    QTest::newRow("dni nie zatrzymują")
        << QByteArray("Odwiedziny w dniu:1\r\nOdwiedziny w dniu:2\r\nkoniec\r\n") << 3;
}

void TestAnaliza::postepLiniaPoLinii()
{
    QFETCH(QByteArray, raport);
    QFETCH(int, linie);

    QList<int> kroki;
    QString od, doDnia;
    AnalizujRaport(raport, od, doDnia, [&](int linia) { kroki << linia; });

    QList<int> oczekiwane;
    for (int i = 0; i < linie; ++i)
        oczekiwane << i;
    QCOMPARE(kroki, oczekiwane);
    QCOMPARE(LiczbaLiniiRaportu(raport), linie);
}

void TestAnaliza::ponownaAnalizaPoDopisaniu()
{
    // Bytes arriving after a quiet half second are appended to the same area
    // and the whole text is analysed again.
    TRaportView pole;
    QString od, doDnia;
    pole.DodajBajty("Odwiedziny w dniu: 2003/05/12\r\nOdwiedziny w dniu: 2003/05/13\r");
    QVERIFY(AnalizujRaport(pole.Bajty(), od, doDnia));
    QCOMPARE(od, QStringLiteral(" 2003-05-12"));
    QCOMPARE(doDnia, QStringLiteral(" 2003-05-13"));

    pole.DodajBajty("\nOdwiedziny w dniu: 2003/05/14\r\n");
    int kroki = 0;
    QVERIFY(AnalizujRaport(pole.Bajty(), od, doDnia, [&](int) { ++kroki; }));
    QCOMPARE(od, QStringLiteral(" 2003-05-12"));
    QCOMPARE(doDnia, QStringLiteral(" 2003-05-14"));
    // The CR and LF split between the chunks still make one line break.
    QCOMPARE(kroki, pole.LiczbaLinii());
    QCOMPARE(kroki, 3);
}

void TestAnaliza::duzyRaport()
{
    // About 10 MB in 200000 lines, a day every hundred lines.
    QByteArray raport;
    raport.reserve(11 * 1024 * 1024);
    const QByteArray zwykla(48, 'x');
    for (int i = 0; i < 200000; ++i) {
        if (i % 100 == 0)
            raport += "Odwiedziny w dniu: 2003/05/" + QByteArray::number(i / 100) + "\r\n";
        else
            raport += zwykla + "\r\n";
    }

    QString od, doDnia;
    int ostatni = -1;
    int krokow = 0;
    QVERIFY(AnalizujRaport(raport, od, doDnia, [&](int linia) {
        ostatni = linia;
        ++krokow;
    }));
    QCOMPARE(od, QStringLiteral(" 2003-05-0"));
    QCOMPARE(doDnia, QStringLiteral(" 2003-05-1999"));
    QCOMPARE(krokow, 200000);
    QCOMPARE(ostatni, 199999);
}

QTEST_MAIN(TestAnaliza)
#include "tst_analiza.moc"
