// The settings file: reading and writing rules on real files, the bulk
// helpers and where the file lives.

#include "Komunikaty.h"
#include "Miejsca.h"
#include "Narzedzia.h"
#include "PlikIni.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

QByteArray czytajPlik(const QString &sciezka)
{
    QFile f(sciezka);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void zapiszPlik(const QString &sciezka, const QByteArray &zawartosc)
{
    QFile f(sciezka);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(zawartosc);
}

const QStringList siedemSekcji(7, QStringLiteral("konfig"));
const QStringList siedemKluczy = {QStringLiteral("obiekt"),    QStringLiteral("katalog"),
                                  QStringLiteral("autozapis"), QStringLiteral("mail"),
                                  QStringLiteral("port"),      QStringLiteral("synchro"),
                                  QStringLiteral("podglad")};

} // namespace

class TstIni : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void czytanie_data();
    void czytanie();
    void brakPlikuDajeDomyslna();
    void zapisNowegoPliku();
    void zapisZachowujeResztePlikuBajtPoBajcie_data();
    void zapisZachowujeResztePlikuBajtPoBajcie();
    void zapisanaWartoscWracaBezBlankow();
    void polskieLiteryWPliku();
    void odmowaZapisuNazywaPlikINieZmieniaGo_data();
    void odmowaZapisuNazywaPlikINieZmieniaGo();
    void czytanieZaKrotkichListPokazujeKomunikat();
    void miejscaObokProgramu();
    void miejscaUzytkownikaGdyObokNieMoznaPisac();
    void domyslnyKatalogZapisu_data();
    void domyslnyKatalogZapisu();

private:
    QTemporaryDir tmp;
    QString plik;
    QStringList komunikaty;
};

void TstIni::init()
{
    QVERIFY(tmp.isValid());
    plik = tmp.filePath(QStringLiteral("Vestibulomat.ini"));
    QFile::remove(plik);
    komunikaty.clear();
    Komunikaty::UstawHook([this](Komunikaty::Rodzaj, const QString &t) {
        komunikaty << t;
        return true;
    });
}

void TstIni::cleanup()
{
    Komunikaty::UstawHook({});
    QFile f(plik);
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}

void TstIni::czytanie_data()
{
    QTest::addColumn<QByteArray>("zawartosc");
    QTest::addColumn<QByteArray>("sekcja");
    QTest::addColumn<QByteArray>("klucz");
    QTest::addColumn<QByteArray>("wynik");

    const QByteArray d = "DOMYSLNA";
    QTest::newRow("plain") << QByteArray("[konfig]\r\nobiekt=Sklep\r\n") << QByteArray("konfig")
                           << QByteArray("obiekt") << QByteArray("Sklep");
    QTest::newRow("names ignore letter case")
        << QByteArray("[KONFIG]\r\nObIeKt=Sklep\r\n") << QByteArray("konfig")
        << QByteArray("obiekt") << QByteArray("Sklep");
    QTest::newRow("blanks around value and key dropped")
        << QByteArray("[konfig]\r\n  obiekt \t= \t Duzy sklep \t\r\n") << QByteArray("konfig")
        << QByteArray("obiekt") << QByteArray("Duzy sklep");
    QTest::newRow("double quotes removed")
        << QByteArray("[konfig]\nobiekt=\" a b \"\n") << QByteArray("konfig")
        << QByteArray("obiekt") << QByteArray(" a b ");
    QTest::newRow("single quotes removed")
        << QByteArray("[konfig]\nobiekt='x'\n") << QByteArray("konfig") << QByteArray("obiekt")
        << QByteArray("x");
    QTest::newRow("only one pair removed")
        << QByteArray("[konfig]\nobiekt=\"\"x\"\"\n") << QByteArray("konfig")
        << QByteArray("obiekt") << QByteArray("\"x\"");
    QTest::newRow("unmatched quotes kept")
        << QByteArray("[konfig]\nobiekt=\"x'\n") << QByteArray("konfig") << QByteArray("obiekt")
        << QByteArray("\"x'");
    QTest::newRow("lone quote kept") << QByteArray("[konfig]\nobiekt=\"\n") << QByteArray("konfig")
                                     << QByteArray("obiekt") << QByteArray("\"");
    QTest::newRow("equals sign inside value")
        << QByteArray("[konfig]\nmail=a=b\n") << QByteArray("konfig") << QByteArray("mail")
        << QByteArray("a=b");
    QTest::newRow("empty value is not missing")
        << QByteArray("[konfig]\nmail=\n") << QByteArray("konfig") << QByteArray("mail")
        << QByteArray();
    QTest::newRow("LF only, no final line end")
        << QByteArray("[inne]\nx=1\n[konfig]\nport=ttyUSB0") << QByteArray("konfig")
        << QByteArray("port") << QByteArray("ttyUSB0");
    QTest::newRow("CR LF value has no CR")
        << QByteArray("[konfig]\r\nport=COM3\r\n") << QByteArray("konfig") << QByteArray("port")
        << QByteArray("COM3");
    QTest::newRow("key of another section not read")
        << QByteArray("[inne]\r\nobiekt=Obcy\r\n[konfig]\r\n") << QByteArray("konfig")
        << QByteArray("obiekt") << d;
    QTest::newRow("missing section") << QByteArray("[inne]\r\nobiekt=Obcy\r\n")
                                     << QByteArray("konfig") << QByteArray("obiekt") << d;
    QTest::newRow("missing key") << QByteArray("[konfig]\r\nport=COM2\r\n") << QByteArray("konfig")
                                 << QByteArray("obiekt") << d;
    QTest::newRow("first of two equal keys")
        << QByteArray("[konfig]\nport=A\nPORT=B\n") << QByteArray("konfig") << QByteArray("port")
        << QByteArray("A");
    QTest::newRow("blanks inside brackets")
        << QByteArray("[ konfig ]\nport=A\n") << QByteArray("konfig") << QByteArray("port")
        << QByteArray("A");
    QTest::newRow("1023 bytes returned of a longer value")
        << QByteArray("[konfig]\nobiekt=" + QByteArray(1500, 'x') + "\n") << QByteArray("konfig")
        << QByteArray("obiekt") << QByteArray(1023, 'x');
    QTest::newRow("1023 bytes kept whole")
        << QByteArray("[konfig]\nobiekt=" + QByteArray(1023, 'y') + "\n") << QByteArray("konfig")
        << QByteArray("obiekt") << QByteArray(1023, 'y');
}

void TstIni::czytanie()
{
    QFETCH(QByteArray, zawartosc);
    QFETCH(QByteArray, sekcja);
    QFETCH(QByteArray, klucz);
    QFETCH(QByteArray, wynik);
    zapiszPlik(plik, zawartosc);
    QCOMPARE(TIniFile(plik).ReadString(sekcja, klucz, "DOMYSLNA"), wynik);
}

void TstIni::brakPlikuDajeDomyslna()
{
    QCOMPARE(TIniFile(plik).ReadString("konfig", "obiekt", "Obiekt"), QByteArray("Obiekt"));
    QStringList wartosci;
    CzytajIni(plik, siedemSekcji, siedemKluczy, wartosci,
              {QStringLiteral("Obiekt"), QStringLiteral("/k/"), QStringLiteral("1"), QString(),
               QStringLiteral("COM1"), QStringLiteral("False"), QStringLiteral("False")});
    QCOMPARE(wartosci, QStringList({QStringLiteral("Obiekt"), QStringLiteral("/k/"),
                                    QStringLiteral("1"), QString(), QStringLiteral("COM1"),
                                    QStringLiteral("False"), QStringLiteral("False")}));
    QVERIFY(!QFile::exists(plik));
    QVERIFY(komunikaty.isEmpty());
}

void TstIni::zapisNowegoPliku()
{
    ZapiszIni(plik, siedemSekcji, siedemKluczy,
              {QStringLiteral("Sklep"), QStringLiteral("/dane/"), QStringLiteral("-1"), QString(),
               QStringLiteral("ttyS0"), QStringLiteral("True"), QStringLiteral("False")});
    QCOMPARE(czytajPlik(plik), QByteArray("[konfig]\r\n"
                                          "obiekt=Sklep\r\n"
                                          "katalog=/dane/\r\n"
                                          "autozapis=-1\r\n"
                                          "mail=\r\n"
                                          "port=ttyS0\r\n"
                                          "synchro=True\r\n"
                                          "podglad=False\r\n"));
    // No sibling file is left behind by the replacement.
    QCOMPARE(QDir(tmp.path()).entryList(QDir::Files),
             QStringList{QStringLiteral("Vestibulomat.ini")});
}

void TstIni::zapisZachowujeResztePlikuBajtPoBajcie_data()
{
    QTest::addColumn<QByteArray>("przed");
    QTest::addColumn<QByteArray>("klucz");
    QTest::addColumn<QByteArray>("po");

    QTest::newRow("value replaced in place, other lines kept")
        << QByteArray("; uwaga\r\n[Inne]\r\nx = 1 \r\n\r\n[KONFIG]\r\nPort=COM1\r\nobiekt=A\r\n"
                      "[reszta]\r\ny=2")
        << QByteArray("port")
        << QByteArray("; uwaga\r\n[Inne]\r\nx = 1 \r\n\r\n[KONFIG]\r\nPort=NOWA\r\nobiekt=A\r\n"
                      "[reszta]\r\ny=2");
    QTest::newRow("new key after the last line of its section")
        << QByteArray("[konfig]\nobiekt=A\n\n[inne]\nx=1\n") << QByteArray("mail")
        << QByteArray("[konfig]\nobiekt=A\nmail=NOWA\n\n[inne]\nx=1\n");
    QTest::newRow("new key in a last section without final line end")
        << QByteArray("[konfig]\nobiekt=A") << QByteArray("mail")
        << QByteArray("[konfig]\nobiekt=A\nmail=NOWA\n");
    QTest::newRow("new section at the end")
        << QByteArray("[inne]\r\nx=1") << QByteArray("mail")
        << QByteArray("[inne]\r\nx=1\r\n[konfig]\r\nmail=NOWA\r\n");
    QTest::newRow("key of same name in another section untouched")
        << QByteArray("[inne]\nmail=stary\n[konfig]\n") << QByteArray("mail")
        << QByteArray("[inne]\nmail=stary\n[konfig]\nmail=NOWA\n");
    QTest::newRow("bytes outside ASCII kept")
        << QByteArray("[inne]\nx=\xb9\xff\x81\n[konfig]\nmail=a\n") << QByteArray("mail")
        << QByteArray("[inne]\nx=\xb9\xff\x81\n[konfig]\nmail=NOWA\n");
}

void TstIni::zapisZachowujeResztePlikuBajtPoBajcie()
{
    QFETCH(QByteArray, przed);
    QFETCH(QByteArray, klucz);
    QFETCH(QByteArray, po);
    zapiszPlik(plik, przed);
    TIniFile(plik).WriteString("konfig", klucz, "NOWA");
    QCOMPARE(czytajPlik(plik), po);
}

void TstIni::zapisanaWartoscWracaBezBlankow()
{
    // Stored as typed, read back as the reading rules give it.
    TIniFile ini(plik);
    ini.WriteString("konfig", "obiekt", "  Sklep  ");
    QVERIFY(czytajPlik(plik).contains("obiekt=  Sklep  \r\n"));
    QCOMPARE(ini.ReadString("konfig", "obiekt", ""), QByteArray("Sklep"));
    // A line break cannot split the line and make a key of its own.
    ini.WriteString("konfig", "mail", "a\r\nport=zly");
    QCOMPARE(ini.ReadString("konfig", "port", "brak"), QByteArray("brak"));
}

void TstIni::polskieLiteryWPliku()
{
    const QString nazwa = QStringLiteral("Żółć łąka Ś");
    ZapiszIni(plik, {QStringLiteral("konfig")}, {QStringLiteral("obiekt")}, {nazwa});
    QVERIFY(czytajPlik(plik).contains("obiekt=\xaf\xf3\xb3\xe6 \xb3\xb9ka \x8c\r\n"));
    QStringList w;
    CzytajIni(plik, {QStringLiteral("konfig")}, {QStringLiteral("OBIEKT")}, w, {QString()});
    QCOMPARE(w, QStringList{nazwa});
}

void TstIni::odmowaZapisuNazywaPlikINieZmieniaGo_data()
{
    QTest::addColumn<QString>("rodzaj");
    QTest::newRow("read-only file") << QStringLiteral("tylko do odczytu");
    QTest::newRow("directory in the file's place") << QStringLiteral("katalog");
    QTest::newRow("missing directory") << QStringLiteral("brak katalogu");
}

void TstIni::odmowaZapisuNazywaPlikINieZmieniaGo()
{
    QFETCH(QString, rodzaj);
    QString cel = plik;
    const QByteArray przed = "[konfig]\r\nobiekt=Stary\r\n";
    if (rodzaj == QLatin1String("tylko do odczytu")) {
        zapiszPlik(cel, przed);
        QVERIFY(QFile::setPermissions(cel, QFile::ReadOwner | QFile::ReadGroup));
    } else if (rodzaj == QLatin1String("katalog")) {
        cel = tmp.filePath(QStringLiteral("jako_katalog.ini"));
        QVERIFY(QDir().mkpath(cel));
    } else {
        cel = tmp.filePath(QStringLiteral("brak/Vestibulomat.ini"));
    }

    bool rzucono = false;
    try {
        ZapiszIni(cel, siedemSekcji, siedemKluczy, QStringList(7, QStringLiteral("Nowy")));
    } catch (const BladPlikuIni &e) {
        rzucono = true;
        QVERIFY2(QString::fromUtf8(e.what()).contains(cel), e.what());
        QCOMPARE(e.Plik(), cel);
    }
    QVERIFY(rzucono);
    if (rodzaj == QLatin1String("tylko do odczytu"))
        QCOMPARE(czytajPlik(cel), przed);
    QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral(".ini.")),
             QStringList());
}

void TstIni::czytanieZaKrotkichListPokazujeKomunikat()
{
    zapiszPlik(plik, "[konfig]\nobiekt=A\n");
    QStringList w = {QStringLiteral("bez zmian")};
    CzytajIni(plik, siedemSekcji, {QStringLiteral("obiekt")}, w, {QString()});
    QCOMPARE(komunikaty,
             QStringList{QStringLiteral("Nieprawidłowa ilość parametrów wczytywanych!")});
    QCOMPARE(w, QStringList{QStringLiteral("bez zmian")});
}

void TstIni::miejscaObokProgramu()
{
    const QString katalog = tmp.path() + u'/';
    QCOMPARE(PlikUstawienDoOdczytu(katalog), katalog + QStringLiteral("Vestibulomat.ini"));
    QCOMPARE(PlikUstawienDoZapisu(katalog), katalog + QStringLiteral("Vestibulomat.ini"));
    QCOMPARE(KatalogTymczasowy(katalog), katalog + QStringLiteral("temp"));
}

void TstIni::miejscaUzytkownikaGdyObokNieMoznaPisac()
{
    QTemporaryDir dom;
    QVERIFY(dom.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dom.filePath(QStringLiteral("config"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dom.filePath(QStringLiteral("cache"))));
    const QString wlasny = dom.filePath(QStringLiteral("config/Vestibulomat/Vestibulomat.ini"));

    // A program directory that cannot be written: the settings file beside
    // it has no write permission, and neither has the temp folder.
    const QString katalog = tmp.path() + u'/';
    zapiszPlik(plik, "[konfig]\r\nobiekt=Fabryczny\r\n[wlasne]\r\nx=1\r\n");
    QVERIFY(QFile::setPermissions(plik, QFile::ReadOwner));
    QVERIFY(QDir().mkpath(katalog + QStringLiteral("temp")));
    QVERIFY(QFile::setPermissions(katalog + QStringLiteral("temp"),
                                  QFile::ReadOwner | QFile::ExeOwner));

    // Until the per-user file exists, the one beside the program is read.
    QCOMPARE(PlikUstawienDoOdczytu(katalog), plik);
    QCOMPARE(PlikUstawienDoZapisu(katalog), wlasny);
    // It starts as a copy, so hand-added sections survive.
    QCOMPARE(czytajPlik(wlasny), czytajPlik(plik));
    ZapiszIni(wlasny, {QStringLiteral("konfig")}, {QStringLiteral("obiekt")},
              {QStringLiteral("Moj")});
    QCOMPARE(PlikUstawienDoOdczytu(katalog), wlasny);
    QCOMPARE(TIniFile(wlasny).ReadString("wlasne", "x", ""), QByteArray("1"));
    QCOMPARE(TIniFile(plik).ReadString("konfig", "obiekt", ""), QByteArray("Fabryczny"));
    QCOMPARE(KatalogTymczasowy(katalog), dom.filePath(QStringLiteral("cache/Vestibulomat/temp")));

    QFile::setPermissions(katalog + QStringLiteral("temp"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_CACHE_HOME");
}

QTEST_GUILESS_MAIN(TstIni)
void TstIni::domyslnyKatalogZapisu_data()
{
    // The program directory (relative to a fresh folder), the folders made
    // beside it, and the expected default save folder, relative to the home
    // folder ("~/") or to the fresh folder.
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("katalogi");
    QTest::addColumn<bool>("tylkoDoOdczytu");
    QTest::addColumn<QString>("oczekiwany");

    QTest::newRow("portable copy: its own folder")
        << u"przenosna/"_qs << QStringList{u"dom/Documents"_qs} << false << u"przenosna/"_qs;
    QTest::newRow("a bin folder without installed data is a portable copy")
        << u"bin/"_qs << QStringList{} << false << u"bin/"_qs;
    QTest::newRow("installed copy: the documents folder")
        << u"usr/bin/"_qs << QStringList{u"usr/share/vestibulomat"_qs, u"dom/Documents"_qs} << false
        << u"~/Documents/"_qs;
    QTest::newRow("installed copy without a documents folder: home")
        << u"usr/bin/"_qs << QStringList{u"usr/share/vestibulomat"_qs} << false << u"~/"_qs;
    QTest::newRow("copy in a folder that cannot be written: the documents folder")
        << u"tylko/"_qs << QStringList{u"dom/Documents"_qs} << true << u"~/Documents/"_qs;
}

void TstIni::domyslnyKatalogZapisu()
{
    QFETCH(QString, program);
    QFETCH(QStringList, katalogi);
    QFETCH(bool, tylkoDoOdczytu);
    QFETCH(QString, oczekiwany);
    if (tylkoDoOdczytu && geteuid() == 0)
        QSKIP("root may write into any folder");

    QTemporaryDir korzen;
    QVERIFY(korzen.isValid());
    const QString baza = korzen.path() + u'/';
    QVERIFY(QDir().mkpath(baza + program));
    QVERIFY(QDir().mkpath(baza + u"dom"_qs));
    for (const QString &k : katalogi)
        QVERIFY(QDir().mkpath(baza + k));
    if (tylkoDoOdczytu)
        QVERIFY(QFile::setPermissions(baza + program, QFile::ReadOwner | QFile::ExeOwner));

    // A fresh home whose documents folder is the default ~/Documents.
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(baza + u"dom"_qs));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(baza + u"dom/.config"_qs));
    const QString wynik = DomyslnyKatalogZapisu(baza + program);
    qputenv("HOME", home);
    qunsetenv("XDG_CONFIG_HOME");
    QFile::setPermissions(baza + program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const QString pelny = oczekiwany.startsWith(u'~')
                              ? QString(baza + u"dom/"_qs + oczekiwany.mid(2))
                              : QString(baza + oczekiwany);
    QCOMPARE(wynik, pelny);
}

#include "tst_ini.moc"
