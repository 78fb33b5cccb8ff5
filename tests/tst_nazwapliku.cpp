// The report file name: words joined, dates normalised, never a path.

#include "NazwaPliku.h"

#include <QTest>

class TestNazwaPliku : public QObject
{
    Q_OBJECT

private slots:
    void nazwaZObiektu_data();
    void nazwaZObiektu();
    void literaPoSpacji_data();
    void literaPoSpacji();
    void daty_data();
    void daty();
    void nazwaNieWychodziZKatalogu_data();
    void nazwaNieWychodziZKatalogu();
    void przycinanieZnakowSterujacych_data();
    void przycinanieZnakowSterujacych();
};

void TestNazwaPliku::nazwaZObiektu_data()
{
    QTest::addColumn<QString>("obiekt");
    QTest::addColumn<QString>("nazwa");

    QTest::newRow("spaces around and inside") << u"  sala nr 2 "_qs << u"salaNr2"_qs;
    QTest::newRow("polish letter after a space") << u"pokój źródeł"_qs << u"pokójŹródeł"_qs;
    QTest::newRow("only the letter after the space") << u"hol ęł"_qs << u"holĘł"_qs;
    QTest::newRow("one space") << u"ab c"_qs << u"abC"_qs;
    QTest::newRow("two spaces keep the second") << u"a  b"_qs << u"a b"_qs;
    QTest::newRow("three spaces") << u"a   b"_qs << u"a B"_qs;
    QTest::newRow("capital stays") << u"a B"_qs << u"aB"_qs;
    QTest::newRow("first letter keeps its case") << u"sala"_qs << u"sala"_qs;
    QTest::newRow("one character") << u"x"_qs << u"x"_qs;
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("spaces only") << u"   "_qs << QString();
    QTest::newRow("tab inside is not a space, and no character of the name")
        << u"a\tb"_qs << u"a-b"_qs;
    QTest::newRow("digit after a space") << u"sala 12a"_qs << u"sala12a"_qs;
}

void TestNazwaPliku::nazwaZObiektu()
{
    QFETCH(QString, obiekt);
    QFETCH(QString, nazwa);
    QString od = u"03-05-01"_qs;
    QString do_ = u"03-05-31"_qs;
    QCOMPARE(NazwaPliku(obiekt, od, do_), nazwa + u"_03-05-01_03-05-31.txt"_qs);
}

void TestNazwaPliku::literaPoSpacji_data()
{
    QTest::addColumn<QChar>("mala");
    QTest::addColumn<QChar>("wielka");

    const QString male = u"aząćęłńóśźżéü1.ĄX"_qs;
    const QString wielkie = u"AZĄĆĘŁŃÓŚŹŻéü1.ĄX"_qs;
    for (qsizetype i = 0; i < male.size(); ++i)
        QTest::addRow("%s", QString(male.at(i)).toUtf8().constData())
            << male.at(i) << wielkie.at(i);
}

void TestNazwaPliku::literaPoSpacji()
{
    QFETCH(QChar, mala);
    QFETCH(QChar, wielka);
    QString od, do_;
    QCOMPARE(NazwaPliku(u"w "_qs + mala, od, do_), u"w"_qs + wielka + u"__.txt"_qs);
}

void TestNazwaPliku::daty_data()
{
    QTest::addColumn<QString>("od");
    QTest::addColumn<QString>("do_");
    QTest::addColumn<QString>("nazwa");
    QTest::addColumn<QString>("odPo");
    QTest::addColumn<QString>("doPo");

    QTest::newRow("no day found") << QString() << QString() << u"sala__.txt"_qs << QString()
                                  << QString();
    QTest::newRow("leading space stays in the field")
        << u" 03-05-01"_qs << u"03-05-31 "_qs << u"sala_03-05-01_03-05-31.txt"_qs << u" 03-05-01"_qs
        << u"03-05-31 "_qs;
    QTest::newRow("slashes stored back as dashes")
        << u"03/05/01"_qs << u"03/05/31"_qs << u"sala_03-05-01_03-05-31.txt"_qs << u"03-05-01"_qs
        << u"03-05-31"_qs;
}

void TestNazwaPliku::daty()
{
    QFETCH(QString, od);
    QFETCH(QString, do_);
    QFETCH(QString, nazwa);
    QFETCH(QString, odPo);
    QFETCH(QString, doPo);

    QCOMPARE(NazwaPliku(u"sala"_qs, od, do_), nazwa);
    QCOMPARE(od, odPo);
    QCOMPARE(do_, doPo);
    // Nothing is cached: the same inputs give the same name again.
    QCOMPARE(NazwaPliku(u"sala"_qs, od, do_), nazwa);
}

void TestNazwaPliku::nazwaNieWychodziZKatalogu_data()
{
    QTest::addColumn<QString>("obiekt");
    QTest::addColumn<QString>("od");
    QTest::addColumn<QString>("nazwa");

    QTest::newRow("slash in the object") << u"sala 1/2"_qs << u"d"_qs << u"sala1-2_d_d.txt"_qs;
    QTest::newRow("parent directory") << u"../../etc"_qs << u"d"_qs << u"..-..-etc_d_d.txt"_qs;
    QTest::newRow("NUL in the object") << QString(u"a\0b"_qs) << u"d"_qs << u"a-b_d_d.txt"_qs;
    QTest::newRow("NUL in a date") << u"x"_qs << QString(u"0\0 1"_qs) << u"x_0- 1_0- 1.txt"_qs;
    QTest::newRow("backslash is an ordinary character")
        << u"a\\b"_qs << u"d"_qs << u"a\\b_d_d.txt"_qs;
    // What reaches the name must not reach a terminal as an escape sequence
    // when the saved path is printed.
    QTest::newRow("ESC in the object") << u"sala\x1b[2J"_qs << u"d"_qs << u"sala-[2J_d_d.txt"_qs;
    QTest::newRow("BEL in the object") << u"sa\x07la"_qs << u"d"_qs << u"sa-la_d_d.txt"_qs;
    QTest::newRow("DEL in the object") << u"sa\x7fla"_qs << u"d"_qs << u"sa-la_d_d.txt"_qs;
    QTest::newRow("C1 control in the object") << u"sa\u009bla"_qs << u"d"_qs << u"sa-la_d_d.txt"_qs;
    QTest::newRow("BEL and NUL in a date")
        << u"x"_qs << QString(u"01\x07\0z"_qs) << u"x_01--z_01--z.txt"_qs;
    QTest::newRow("line break inside a date")
        << u"x"_qs << u"01\r\n02"_qs << u"x_01--02_01--02.txt"_qs;
    // The day of "Odwiedziny w dniu: 2026/12/01\e[2J\e]0;x" is the text after
    // the colon, a terminal's clear-screen and set-title sequence included.
    QTest::newRow("escape sequences in a day line")
        << u"sala"_qs << u" 2026/12/01\x1b[2J\x1b]0;x"_qs
        << u"sala_2026-12-01-[2J-]0;x_2026-12-01-[2J-]0;x.txt"_qs;
}

void TestNazwaPliku::nazwaNieWychodziZKatalogu()
{
    QFETCH(QString, obiekt);
    QFETCH(QString, od);
    QFETCH(QString, nazwa);
    QString do_ = od;
    const QString wynik = NazwaPliku(obiekt, od, do_);
    QCOMPARE(wynik, nazwa);
    QVERIFY(!wynik.contains(u'/'));
    for (const QChar znak : wynik)
        QVERIFY2(znak.unicode() >= 0x20 && (znak.unicode() < 0x7f || znak.unicode() > 0x9f),
                 qPrintable(QString::number(znak.unicode(), 16)));
}

void TestNazwaPliku::przycinanieZnakowSterujacych_data()
{
    QTest::addColumn<QString>("tekst");
    QTest::addColumn<QString>("wynik");

    QTest::newRow("control characters at both ends")
        << QString(u"\x01\t\r\n a b \x1f\0"_qs) << u"a b"_qs;
    QTest::newRow("no-break space is kept") << u"\u00a0a\u00a0"_qs << u"\u00a0a\u00a0"_qs;
    QTest::newRow("only blanks") << u" \t "_qs << QString();
}

void TestNazwaPliku::przycinanieZnakowSterujacych()
{
    QFETCH(QString, tekst);
    QFETCH(QString, wynik);
    QCOMPARE(PrzytnijTekst(tekst), wynik);
}

QTEST_GUILESS_MAIN(TestNazwaPliku)
#include "tst_nazwapliku.moc"
