// The settings file: reading and writing rules on real files, the bulk
// helpers and where the file lives.

#include "Dziennik.h"
#include "FolderWlasny.h"
#include "Komunikaty.h"
#include "Miejsca.h"
#include "Narzedzia.h"
#include "PlikIni.h"
#include "Poczta.h"
#include "Pomocnicze.h"
#include "Potomek.h"
#include "UjscieTestowe.h"
#include "Ustawienia.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

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

const QByteArray bom = "\xEF\xBB\xBF";

QByteArray utf8(const char16_t *tekst)
{
    return QString::fromUtf16(tekst).toUtf8();
}

// Runs the check as an ordinary user: root may write into any folder, so
// folder permissions are only tested without its privileges. As root the
// check runs in a child process that has become "nobody"; the text it
// returns comes back through a pipe. Empty when the switch is impossible.
QString jakoZwyklyUzytkownik(const std::function<QString()> &sprawdzenie, bool &udalo)
{
    udalo = true;
    if (::geteuid() != 0)
        return sprawdzenie();
    int rura[2];
    if (::pipe(rura) != 0)
        return udalo = false, QString();
    const pid_t dziecko = ::fork();
    if (dziecko == 0) {
        ::close(rura[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        const QByteArray wynik = sprawdzenie().toUtf8();
        const bool ok = ::write(rura[1], wynik.constData(), size_t(wynik.size())) == wynik.size();
        ::_exit(ok ? 0 : 3);
    }
    ::close(rura[1]);
    QByteArray wynik;
    char bufor[512];
    ssize_t n;
    while ((n = ::read(rura[0], bufor, sizeof bufor)) > 0)
        wynik.append(bufor, n);
    ::close(rura[0]);
    int stan = 0;
    ::waitpid(dziecko, &stan, 0);
    udalo = WIFEXITED(stan) && WEXITSTATUS(stan) == 0;
    return QString::fromUtf8(wynik);
}

mode_t tryb(const QString &sciezka)
{
    struct stat st;
    return ::lstat(QFile::encodeName(sciezka).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// A fresh home with the XDG defaults under it, and an installed copy (bin/
// beside share/vestibulomat/) that keeps its files in the per-user places.
struct NowyDom
{
    QTemporaryDir korzen;
    QString dom = korzen.filePath(QStringLiteral("dom"));
    QString program = korzen.filePath(QStringLiteral("usr/bin/"));
    QByteArray stary = qgetenv("HOME");
    NowyDom()
    {
        QDir().mkpath(dom);
        QDir().mkpath(korzen.filePath(QStringLiteral("usr/share/vestibulomat")));
        qputenv("HOME", QFile::encodeName(dom));
        for (const char *z : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
            qunsetenv(z);
    }
    ~NowyDom() { qputenv("HOME", stary); }
};

// What the program does at its first start, send and confirmation that
// makes a folder.
enum class Uzycie { Ustawienia, Dziennik, Zalacznik };

void uzyj(Uzycie uzycie, const QString &program)
{
    switch (uzycie) {
    case Uzycie::Ustawienia:
        ZapiszIni(PlikUstawienDoZapisu(program), {QStringLiteral("konfig")},
                  {QStringLiteral("obiekt")}, {QStringLiteral("x")});
        break;
    case Uzycie::Dziennik: {
        // The first chunk of a report makes the state folder.
        TDziennik dziennik(KatalogStanu());
        dziennik.Rozpocznij(
            {QStringLiteral("x"), QStringLiteral("COM1"), QDateTime::currentDateTime()},
            QByteArrayLiteral("x"));
        dziennik.Usun();
        break;
    }
    case Uzycie::Zalacznik:
        NowyKatalogWysylki(KatalogTymczasowy(program));
        break;
    }
}

} // namespace

Q_DECLARE_METATYPE(Uzycie)

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
    void tekstySpozaCp1250WracajaDokladnie_data();
    void tekstySpozaCp1250WracajaDokladnie();
    void odmowaZapisuNazywaPlikINieZmieniaGo_data();
    void odmowaZapisuNazywaPlikINieZmieniaGo();
    void czytanieZaKrotkichListPokazujeKomunikat();
    void siedemUstawienZPliku_data();
    void siedemUstawienZPliku();
    void plikUstawienNieDoUzycia_data();
    void plikUstawienNieDoUzycia();
    void miejscaObokProgramu();
    void miejscaUzytkownikaGdyObokNieMoznaPisac();
    void domyslnyKatalogZapisu_data();
    void domyslnyKatalogZapisu();
    void plikUstawienZawszeGdziesZapisany_data();
    void plikUstawienZawszeGdziesZapisany();
    void folderyProgramuSaTylkoUzytkownika_data();
    void folderyProgramuSaTylkoUzytkownika();
    void istniejacyFolderProgramu_data();
    void istniejacyFolderProgramu();
    void folderInnegoUzytkownikaNieJestUzywany_data();
    void folderInnegoUzytkownikaNieJestUzywany();
    void plikUstawienKtoryZmieniaInny_data();
    void plikUstawienKtoryZmieniaInny();

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
    NagrywajKomunikaty([this](Komunikaty::Rodzaj, const QString &t) {
        komunikaty << t;
        return true;
    });
}

void TstIni::cleanup()
{
    NagrywajKomunikaty({});
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
    QCOMPARE(CzytajPlik(plik), QByteArray("[konfig]\r\n"
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
    QCOMPARE(CzytajPlik(plik), po);
}

void TstIni::zapisanaWartoscWracaBezBlankow()
{
    // Stored as typed, read back as the reading rules give it.
    TIniFile ini(plik);
    ini.WriteString("konfig", "obiekt", "  Sklep  ");
    QVERIFY(CzytajPlik(plik).contains("obiekt=  Sklep  \r\n"));
    QCOMPARE(ini.ReadString("konfig", "obiekt", ""), QByteArray("Sklep"));
    // A line break cannot split the line and make a key of its own.
    ini.WriteString("konfig", "mail", "a\r\nport=zly");
    QCOMPARE(ini.ReadString("konfig", "port", "brak"), QByteArray("brak"));
}

void TstIni::polskieLiteryWPliku()
{
    const QString nazwa = QStringLiteral("Żółć łąka Ś");
    ZapiszIni(plik, {QStringLiteral("konfig")}, {QStringLiteral("obiekt")}, {nazwa});
    QVERIFY(CzytajPlik(plik).contains("obiekt=\xaf\xf3\xb3\xe6 \xb3\xb9ka \x8c\r\n"));
    QStringList w;
    CzytajIni(plik, {QStringLiteral("konfig")}, {QStringLiteral("OBIEKT")}, w, {QString()});
    QCOMPARE(w, QStringList{nazwa});
}

void TstIni::tekstySpozaCp1250WracajaDokladnie_data()
{
    QTest::addColumn<QByteArray>("przed");
    QTest::addColumn<QString>("katalog");
    QTest::addColumn<QByteArray>("po");

    const QString cyrylica = QStringLiteral("/home/jan/отчёты/");
    const QByteArray staryPlik =
        "[inne]\r\nx=\xb3\xb9ka \x81\r\n[konfig]\r\nobiekt=\xaf\xf3\xb3w\r\n"
        "katalog=/dane/\r\n";
    QTest::newRow("Cyrillic folder in a new file")
        << QByteArray() << cyrylica
        << bom + "[konfig]\r\nkatalog=" + utf8(u"/home/jan/отчёты/") + "\r\n";
    QTest::newRow("Chinese folder in a new file")
        << QByteArray() << QStringLiteral("/srv/报告 2024")
        << bom + "[konfig]\r\nkatalog=" + utf8(u"/srv/报告 2024") + "\r\n";
    QTest::newRow("old file with Polish letters becomes UTF-8 whole")
        << staryPlik << cyrylica
        << bom + utf8(u"[inne]\r\nx=łąka \u0081\r\n[konfig]\r\nobiekt=Żółw\r\nkatalog=") +
               utf8(u"/home/jan/отчёты/") + "\r\n";
    QTest::newRow("old file written back unchanged")
        << staryPlik << QStringLiteral("/dane/") << staryPlik;
    QTest::newRow("UTF-8 file back in Windows-1250 once all fits")
        << bom + utf8(u"[konfig]\nobiekt=Żółw\nkatalog=/отчёты\n") << QStringLiteral("/dane/")
        << QByteArray("[konfig]\nobiekt=\xaf\xf3\xb3w\nkatalog=/dane/\n");
    QTest::newRow("UTF-8 file stays UTF-8 while a value needs it")
        << bom + utf8(u"[konfig]\nobiekt=Сибирь\nkatalog=/\n") << QStringLiteral("/dane/")
        << bom + utf8(u"[konfig]\nobiekt=Сибирь\nkatalog=/dane/\n");
    QTest::newRow("bytes that are not UTF-8 kept in a UTF-8 file")
        << bom + "[inne]\nx=\xff\xfe\n[konfig]\nkatalog=/\n"
        << QStringLiteral("/dane/") << bom + "[inne]\nx=\xff\xfe\n[konfig]\nkatalog=/dane/\n";
}

void TstIni::tekstySpozaCp1250WracajaDokladnie()
{
    QFETCH(QByteArray, przed);
    QFETCH(QString, katalog);
    QFETCH(QByteArray, po);
    if (!przed.isEmpty())
        zapiszPlik(plik, przed);

    ZapiszIni(plik, {QStringLiteral("konfig")}, {QStringLiteral("katalog")}, {katalog});
    QCOMPARE(CzytajPlik(plik), po);
    QStringList w;
    CzytajIni(plik, {QStringLiteral("konfig")}, {QStringLiteral("katalog")}, w, {QString()});
    QCOMPARE(w, QStringList{katalog});
    QVERIFY(komunikaty.isEmpty());

    // The 1023-character limit counts characters, not the bytes of UTF-8.
    const QString dluga(1500, QChar(u'ж'));
    ZapiszIni(plik, {QStringLiteral("konfig")}, {QStringLiteral("obiekt")}, {dluga});
    CzytajIni(plik, {QStringLiteral("konfig")}, {QStringLiteral("obiekt")}, w, {QString()});
    QCOMPARE(w, QStringList{dluga.left(1023)});
}

void TstIni::odmowaZapisuNazywaPlikINieZmieniaGo_data()
{
    QTest::addColumn<QString>("rodzaj");
    QTest::addColumn<QString>("powod"); // "…": the system's description of the error
    QTest::addColumn<QString>("szczegol");
    QTest::newRow("read-only file")
        << QStringLiteral("tylko do odczytu") << QStringLiteral("plik jest tylko do odczytu")
        << QStringLiteral("EACCES");
    QTest::newRow("directory in the file's place")
        << QStringLiteral("katalog") << QStringLiteral("…") << QStringLiteral("EISDIR");
    QTest::newRow("missing directory")
        << QStringLiteral("brak katalogu") << QStringLiteral("…") << QStringLiteral("ENOENT");
}

void TstIni::odmowaZapisuNazywaPlikINieZmieniaGo()
{
    QFETCH(QString, rodzaj);
    QFETCH(QString, powod);
    QFETCH(QString, szczegol);
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
        // What happened, why, and what to do, in Polish; the errno in the details.
        QVERIFY2(ZgodnyZWzorem(e.TekstUzytkownika(),
                               QStringLiteral("Nie udało się zapisać ustawień w pliku %1 (%2). "
                                              "…Sprawdź uprawnienia…")
                                   .arg(cel, powod)),
                 e.what());
        QVERIFY2(e.Szczegoly().contains(szczegol), qPrintable(e.Szczegoly()));
    }
    QVERIFY(rzucono);
    if (rodzaj == QLatin1String("tylko do odczytu"))
        QCOMPARE(CzytajPlik(cel), przed);
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

void TstIni::siedemUstawienZPliku_data()
{
    QTest::addColumn<QByteArray>("zawartosc"); // null: no file
    QTest::addColumn<QStringList>("teksty");   // as they are written back
    QTest::addColumn<QString>("blad");

    // The program's folder holds the file: its own folder is the default.
    const QString program = tmp.path() + u'/';
    const QStringList domyslne{u"Obiekt"_qs, program,     u"1"_qs,    QString(),
                               u"COM1"_qs,   u"False"_qs, u"False"_qs};
    QTest::newRow("no file gives the defaults") << QByteArray() << domyslne << QString();
    QTest::newRow("another section is not read")
        << QByteArray("[inne]\r\nobiekt=Sklep\r\nport=ttyS1\r\n") << domyslne << QString();
    QTest::newRow("all seven keys")
        << QByteArray("[konfig]\r\nobiekt=Sala\r\nkatalog=/dane\r\nautozapis=2\r\n"
                      "mail=a@b.pl\r\nport=ttyUSB0\r\nsynchro=True\r\npodglad=True\r\n")
        << QStringList{u"Sala"_qs,    u"/dane"_qs, u"2"_qs,   u"a@b.pl"_qs,
                       u"ttyUSB0"_qs, u"True"_qs,  u"True"_qs}
        << QString();
    QTest::newRow("only the exact True is true")
        << QByteArray("[KONFIG]\nSYNCHRO=true\npodglad=TRUE\n")
        << QStringList{u"Obiekt"_qs, program,     u"1"_qs,    QString(),
                       u"COM1"_qs,   u"False"_qs, u"False"_qs}
        << QString();
    QTest::newRow("hexadecimal save policy")
        << QByteArray("[konfig]\nautozapis=$0\n")
        << QStringList{u"Obiekt"_qs, program,     u"0"_qs,    QString(),
                       u"COM1"_qs,   u"False"_qs, u"False"_qs}
        << QString();
    QTest::newRow("save policy in letters")
        << QByteArray("[konfig]\nautozapis=dwa\nport=ttyS1\n")
        << QStringList{u"Obiekt"_qs, program,     u"-1"_qs,   QString(),
                       u"ttyS1"_qs,  u"False"_qs, u"False"_qs}
        << u"Wartość \"dwa\" klucza \"autozapis\" nie jest liczbą całkowitą."_qs;
    QTest::newRow("empty save policy")
        << QByteArray("[konfig]\nautozapis=\n")
        << QStringList{u"Obiekt"_qs, program,     u"-1"_qs,   QString(),
                       u"COM1"_qs,   u"False"_qs, u"False"_qs}
        << u"Wartość \"\" klucza \"autozapis\" nie jest liczbą całkowitą."_qs;
    QTest::newRow("Windows-1250 file")
        << QByteArray("[konfig]\r\nobiekt=Sala g\xB3\xF3wna\r\n")
        << QStringList{u"Sala główna"_qs, program,     u"1"_qs,    QString(),
                       u"COM1"_qs,        u"False"_qs, u"False"_qs}
        << QString();
    QTest::newRow("UTF-8 file behind the mark")
        << QByteArray("\xEF\xBB\xBF[konfig]\r\nkatalog=/dane/\xD0\x97\xD0\xB0\xD0\xBB\r\n")
        << QStringList{u"Obiekt"_qs, u"/dane/Зал"_qs, u"1"_qs,    QString(),
                       u"COM1"_qs,   u"False"_qs,     u"False"_qs}
        << QString();
}

void TstIni::siedemUstawienZPliku()
{
    QFETCH(QByteArray, zawartosc);
    QFETCH(QStringList, teksty);
    QFETCH(QString, blad);
    if (!zawartosc.isNull())
        zapiszPlik(plik, zawartosc);
    const QString program = tmp.path() + u'/';

    const Ustawienia::Wartosci w = Ustawienia::Czytaj(program);
    QCOMPARE(w.plik, plik);
    QCOMPARE(Ustawienia::Teksty(w), teksty);
    QCOMPARE(w.bladAutozapisu, blad);
    QVERIFY(komunikaty.isEmpty());
    QCOMPARE(QFile::exists(plik), !zawartosc.isNull());

    // What is written reads back the same.
    Ustawienia::Zapisz(program, w);
    QCOMPARE(Ustawienia::Teksty(Ustawienia::Czytaj(program)), teksty);
}

void TstIni::plikUstawienNieDoUzycia_data()
{
    QTest::addColumn<QString>("rodzaj");
    QTest::addColumn<QString>("powod"); // in the box; empty: the file is read
    QTest::newRow("FIFO without a writer") << u"fifo"_qs << u"nie jest zwykłym plikiem"_qs;
    QTest::newRow("link to /dev/zero") << u"zero"_qs << u"nie jest zwykłym plikiem"_qs;
    QTest::newRow("20 MB of line ends") << u"duzy"_qs << u"jest za duży"_qs;
    QTest::newRow("a folder") << u"folder"_qs << u"nie jest zwykłym plikiem"_qs;
    QTest::newRow("link to a regular file is followed") << u"dowiazanie"_qs << QString();
}

void TstIni::plikUstawienNieDoUzycia()
{
    QFETCH(QString, rodzaj);
    QFETCH(QString, powod);
    const QByteArray p = QFile::encodeName(plik);
    if (rodzaj == u"fifo"_qs)
        QCOMPARE(::mkfifo(p.constData(), 0600), 0);
    else if (rodzaj == u"zero"_qs)
        QVERIFY(QFile::link(u"/dev/zero"_qs, plik));
    else if (rodzaj == u"folder"_qs)
        QVERIFY(QDir().mkdir(plik));
    else if (rodzaj == u"duzy"_qs)
        zapiszPlik(plik, "[konfig]\nobiekt=Sklep\n" + QByteArray(20 << 20, '\n'));
    else {
        const QString cel = tmp.filePath(u"dotfiles.ini"_qs);
        zapiszPlik(cel, "[konfig]\nobiekt=Sklep\n");
        QVERIFY(QFile::link(cel, plik));
    }
    // In a child under a watchdog: a read that blocks fails the row.
    const WynikPotomka w = UruchomWPotomku([&]() -> QString {
        QStringList w;
        CzytajIni(plik, {u"konfig"_qs}, {u"obiekt"_qs}, w, {u"Obiekt"_qs});
        return w.join(u',') + u'|' + komunikaty.join(u',');
    });
    if (rodzaj == u"folder"_qs)
        QDir().rmdir(plik);
    else
        QFile::remove(plik);
    QVERIFY2(w.naCzas, "reading the settings file blocked");
    QVERIFY2(w.ok, qPrintable(w.tekst));
    if (powod.isEmpty()) {
        QCOMPARE(w.tekst, u"Sklep|"_qs);
        return;
    }
    // The defaults, and one box that names the file and what is wrong.
    QVERIFY2(w.tekst.startsWith(u"Obiekt|Plik \""_qs + plik + u'"') && w.tekst.contains(powod) &&
                 !w.tekst.contains(u"Nieprawidłowa"_qs),
             qPrintable(w.tekst));
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
    QCOMPARE(CzytajPlik(wlasny), CzytajPlik(plik));
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

void TstIni::plikUstawienZawszeGdziesZapisany_data()
{
    QTest::addColumn<bool>("folderZapisywalny");
    QTest::addColumn<bool>("plikZapisywalny");
    QTest::addColumn<bool>("obok");
    QTest::addColumn<bool>("obcy"); // the file beside the program is another user's

    QTest::newRow("writable folder: beside the program") << true << true << true << false;
    QTest::newRow("writable file in a folder that is not: in place")
        << false << true << true << false;
    QTest::newRow("neither: the per-user file") << false << false << false << false;
    QTest::newRow("another user's 0666 file in a writable folder: read, never written")
        << true << true << false << true;
}

void TstIni::plikUstawienZawszeGdziesZapisany()
{
    QFETCH(bool, folderZapisywalny);
    QFETCH(bool, plikZapisywalny);
    QFETCH(bool, obok);
    QFETCH(bool, obcy);
    if (obcy && ::geteuid() != 0)
        QSKIP("a file of another user's needs root");

    // Everything lies where the ordinary user may look; only the program
    // folder and the file carry the permissions of the row.
    QTemporaryDir baza;
    QVERIFY(baza.isValid());
    QVERIFY(QFile::setPermissions(baza.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                   QFile::ExeOwner | QFile::ReadOther |
                                                   QFile::ExeOther));
    const QString program = baza.filePath(QStringLiteral("program/"));
    const QString config = baza.filePath(QStringLiteral("config"));
    QVERIFY(QDir().mkpath(program) && QDir().mkpath(config));
    const auto wszyscy = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                         QFile::WriteOther | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(config, wszyscy));
    const QString obokProgramu = program + QStringLiteral("Vestibulomat.ini");
    zapiszPlik(obokProgramu, "[konfig]\r\nobiekt=Stary\r\n");
    QVERIFY(QFile::setPermissions(obokProgramu, plikZapisywalny
                                                    ? QFile::ReadOwner | QFile::WriteOwner |
                                                          QFile::ReadOther | QFile::WriteOther
                                                    : QFile::ReadOwner | QFile::ReadOther));
    // The check runs as nobody when the test is root: the file is then
    // nobody's own unless the row gives it to another user (root).
    if (::geteuid() == 0 && !obcy)
        QCOMPARE(::chown(QFile::encodeName(obokProgramu).constData(), 65534, 65534), 0);
    QVERIFY(QFile::setPermissions(program, folderZapisywalny
                                               ? wszyscy
                                               : QFile::ReadOwner | QFile::ExeOwner |
                                                     QFile::ReadOther | QFile::ExeOther));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    const QString wlasny = config + QStringLiteral("/Vestibulomat/Vestibulomat.ini");

    struct stat przed;
    QCOMPARE(::stat(QFile::encodeName(obokProgramu).constData(), &przed), 0);
    bool udalo = false;
    const QString wynik = jakoZwyklyUzytkownik(
        [&]() -> QString {
            const QString cel = PlikUstawienDoZapisu(program);
            try {
                ZapiszIni(cel, {QStringLiteral("konfig")}, {QStringLiteral("obiekt")},
                          {QStringLiteral("Nowy")});
            } catch (const std::exception &e) {
                return cel + u'\n' + QString::fromUtf8(e.what());
            }
            // Where the next start reads.
            return cel + u'\n' + PlikUstawienDoOdczytu(program);
        },
        udalo);
    qunsetenv("XDG_CONFIG_HOME");
    QFile::setPermissions(program, wszyscy);
    if (!udalo && wynik.isEmpty())
        QSKIP("cannot run the check as an ordinary user here");
    QVERIFY(udalo);

    // The confirmation is stored, and read from where it was stored.
    const QString cel = obok ? obokProgramu : wlasny;
    QCOMPARE(wynik, cel + u'\n' + cel);
    QCOMPARE(TIniFile(cel).ReadString("konfig", "obiekt", ""), QByteArray("Nowy"));
    struct stat po;
    QCOMPARE(::stat(QFile::encodeName(obokProgramu).constData(), &po), 0);
    if (obok && !folderZapisywalny)
        QCOMPARE(po.st_ino, przed.st_ino); // rewritten in place, not replaced
    if (!obok)
        QCOMPARE(TIniFile(obokProgramu).ReadString("konfig", "obiekt", ""), QByteArray("Stary"));
    QCOMPARE(QDir(program).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("Vestibulomat.ini")});
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

void TstIni::folderyProgramuSaTylkoUzytkownika_data()
{
    QTest::addColumn<Uzycie>("uzycie");
    QTest::addColumn<QStringList>("foldery"); // every one made, under the home folder

    QTest::newRow("settings") << Uzycie::Ustawienia
                              << QStringList{u".config"_qs, u".config/Vestibulomat"_qs};
    QTest::newRow("journal") << Uzycie::Dziennik
                             << QStringList{u".local"_qs, u".local/state"_qs,
                                            u".local/state/Vestibulomat"_qs};
    QTest::newRow("attachments") << Uzycie::Zalacznik
                                 << QStringList{u".cache"_qs, u".cache/Vestibulomat"_qs,
                                                u".cache/Vestibulomat/temp"_qs};
}

void TstIni::folderyProgramuSaTylkoUzytkownika()
{
    QFETCH(Uzycie, uzycie);
    QFETCH(QStringList, foldery);
    NowyDom d;
    QVERIFY(QFile::setPermissions(d.dom, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                             QFile::ReadOther | QFile::ExeOther));
    const mode_t maska = ::umask(0);
    uzyj(uzycie, d.program);
    ::umask(maska);

    for (const QString &folder : foldery)
        QCOMPARE(QString::number(tryb(d.dom + u'/' + folder), 8), u"700"_qs);
    QCOMPARE(QString::number(tryb(d.dom), 8), u"705"_qs); // the home is not the program's
    if (uzycie == Uzycie::Zalacznik) {
        const QStringList wysylki =
            QDir(d.dom + u'/' + foldery.constLast()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(wysylki.size(), 1);
        QCOMPARE(tryb(d.dom + u'/' + foldery.constLast() + u'/' + wysylki.constFirst()), 0700u);
    }
}

void TstIni::istniejacyFolderProgramu_data()
{
    QTest::addColumn<QString>("folder"); // made 0777 before, under a fresh folder
    QTest::addColumn<int>("wlasnych");
    QTest::addColumn<QString>("zawezony"); // the folders 0700 afterwards
    QTest::addColumn<QString>("bezZmian"); // a folder still 0777

    QTest::newRow("the program's folder open to all")
        << u"state/Vestibulomat"_qs << 1 << u"state/Vestibulomat"_qs << u"state"_qs;
    QTest::newRow("its temp folder too")
        << u"cache/Vestibulomat/temp"_qs << 2 << u"cache/Vestibulomat/temp"_qs << u"cache"_qs;
    QTest::newRow("a base folder open to all is not the program's")
        << u"config"_qs << 1 << u"config/Vestibulomat"_qs << u"config"_qs;
}

void TstIni::istniejacyFolderProgramu()
{
    QFETCH(QString, folder);
    QFETCH(int, wlasnych);
    QFETCH(QString, zawezony);
    QFETCH(QString, bezZmian);
    QTemporaryDir baza;
    QStringList czesci;
    for (const QString &czesc : folder.split(u'/')) {
        czesci << czesc;
        const QString sciezka = baza.filePath(czesci.join(u'/'));
        QVERIFY(QDir().mkdir(sciezka));
        QCOMPARE(::chmod(QFile::encodeName(sciezka).constData(), 0777), 0);
    }
    const QString cel = baza.filePath(zawezony);
    const FolderWlasny w = UtworzFolderWlasny(cel, wlasnych);
    QVERIFY2(w.Gotowy(), qPrintable(w.Szczegoly()));
    for (QString f = cel; f != baza.filePath(bezZmian); f = QFileInfo(f).path())
        QCOMPARE(QString::number(tryb(f), 8), u"700"_qs);
    QCOMPARE(QString::number(tryb(baza.filePath(bezZmian)), 8), u"777"_qs);
}

void TstIni::folderInnegoUzytkownikaNieJestUzywany_data()
{
    QTest::addColumn<Uzycie>("uzycie");
    QTest::addColumn<QString>("folder");  // under the home folder
    QTest::addColumn<bool>("dowiazanie"); // another user's link to a folder of the user's

    QTest::newRow("settings") << Uzycie::Ustawienia << u".config/Vestibulomat"_qs << false;
    QTest::newRow("settings through a link")
        << Uzycie::Ustawienia << u".config/Vestibulomat"_qs << true;
    QTest::newRow("journal") << Uzycie::Dziennik << u".local/state/Vestibulomat"_qs << false;
    QTest::newRow("attachments") << Uzycie::Zalacznik << u".cache/Vestibulomat/temp"_qs << false;
}

void TstIni::folderInnegoUzytkownikaNieJestUzywany()
{
    QFETCH(Uzycie, uzycie);
    QFETCH(QString, folder);
    QFETCH(bool, dowiazanie);
    if (::geteuid() != 0)
        QSKIP("only root can give a folder to another user");
    NowyDom d;
    const QString sciezka = d.dom + u'/' + folder;
    const QByteArray nazwa = QFile::encodeName(sciezka);
    QVERIFY(QDir().mkpath(sciezka));
    // Another user (nobody, 65534) owns the folder, open to all as the
    // program's earlier versions left it under umask 000.
    QCOMPARE(::chmod(nazwa.constData(), 0777), 0);
    if (dowiazanie) {
        QVERIFY(QDir().rename(sciezka, sciezka + u"-cel"_qs));
        QCOMPARE(::symlink(QFile::encodeName(sciezka + u"-cel"_qs).constData(), nazwa.constData()),
                 0);
    }
    QCOMPARE(::lchown(nazwa.constData(), 65534, 65534), 0);
    const QString odmowa = u"Folder „"_qs + sciezka +
                           u"” należy do innego użytkownika (nobody); program go nie używa. "
                           u"Poproś administratora o usunięcie tego folderu"_qs;

    // What the window says once at its start: this folder, and no other.
    QStringList obce;
    for (const FolderWlasny &f : ObceFolderyProgramu(d.program))
        obce << f.Komunikat();
    QCOMPARE(obce, QStringList{odmowa});

    QString komunikat;
    try {
        uzyj(uzycie, d.program);
    } catch (const EFolderWlasny &e) {
        komunikat = e.TekstUzytkownika();
    }
    // Nothing is written into it; the journal and the attachment go on
    // without it, the settings are refused with the reason.
    QCOMPARE(QDir(sciezka).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
             QStringList());
    QCOMPARE(tryb(dowiazanie ? sciezka + u"-cel"_qs : sciezka), 0777u);
    if (uzycie == Uzycie::Ustawienia) {
        QCOMPARE(komunikat, odmowa);
        QCOMPARE(PlikUstawienDoOdczytu(d.program), d.program + u"Vestibulomat.ini"_qs);
    } else {
        QCOMPARE(komunikat, QString());
    }
    if (uzycie == Uzycie::Dziennik) {
        // A journal planted there is never offered, nor touched.
        const QString podrzucony = sciezka + u"/raport-20260101-080000-00000000.dziennik"_qs;
        const QByteArray tresc =
            ZapiszNaglowek({u"x"_qs, u"COM1"_qs, QDateTime::currentDateTime()}) + "podrobiony";
        zapiszPlik(podrzucony, tresc);
        TDziennik dziennik(KatalogStanu());
        QVERIFY(dziennik.Pozostawione().empty());
        dziennik.ZwolnijPozostawione();
        QCOMPARE(QDir(sciezka).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QFileInfo(podrzucony).fileName()});
    }
}

namespace {

// The per-user settings file as found, for the table below.
enum class Uklad {
    ObcegoPlik,          // another user's file, 0600
    ObcegoPlikDlaWszyst, // another user's file, 0666
    ObcegoDowiazanie,    // another user's link to a file of the user's
    WlasnyDlaWszystkich, // the user's own file, 0666: narrowed
    WlasnyNaTylkoDoOdcz, // the user's own 0666 file on a read-only mount: cannot be narrowed
    WlasneDowiazanie,    // the user's own link to a file of the user's, 0600
    ObokObcego,          // no per-user file; another user's file beside the program (portable)
};

} // namespace

Q_DECLARE_METATYPE(Uklad)

void TstIni::plikUstawienKtoryZmieniaInny_data()
{
    QTest::addColumn<Uklad>("uklad");
    QTest::addColumn<QString>("kto");    // who may change it, as the message says; empty: used
    QTest::addColumn<QString>("trybPo"); // the file's mode after the look

    QTest::newRow("another user's file") << Uklad::ObcegoPlik << u"nobody"_qs << u"600"_qs;
    QTest::newRow("another user's file open to all")
        << Uklad::ObcegoPlikDlaWszyst << u"nobody"_qs << u"666"_qs;
    QTest::newRow("another user's link") << Uklad::ObcegoDowiazanie << u"nobody"_qs << u"600"_qs;
    QTest::newRow("the user's own file open to all: narrowed without a word")
        << Uklad::WlasnyDlaWszystkich << QString() << u"644"_qs;
    QTest::newRow("the user's own file open to all that cannot be narrowed")
        << Uklad::WlasnyNaTylkoDoOdcz << u"każdy użytkownik"_qs << u"666"_qs;
    QTest::newRow("the user's own link to the user's own file")
        << Uklad::WlasneDowiazanie << QString() << u"600"_qs;
    QTest::newRow("another user's file beside a portable program: the installation's")
        << Uklad::ObokObcego << QString() << u"644"_qs;
}

void TstIni::plikUstawienKtoryZmieniaInny()
{
    QFETCH(Uklad, uklad);
    QFETCH(QString, kto);
    QFETCH(QString, trybPo);
    if (::geteuid() != 0)
        QSKIP("only root can give a file to another user");
    NowyDom d;
    // A portable copy: the program folder without share/vestibulomat.
    const QString program =
        uklad == Uklad::ObokObcego ? d.korzen.filePath(u"przenosny/"_qs) : d.program;
    QVERIFY(QDir().mkpath(program));
    const QString folder = d.dom + u"/.config/Vestibulomat"_qs;
    QVERIFY(QDir().mkpath(folder));
    QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0700), 0);
    const QString wlasny = folder + u"/Vestibulomat.ini"_qs;
    const QString obok = program + u"Vestibulomat.ini"_qs;
    const QString cel = d.dom + u"/ustawienia.ini"_qs; // where a link leads
    const QByteArray stare = "[konfig]\r\nmail=obcy@example.org\r\n";
    const QByteArray w = QFile::encodeName(wlasny);
    switch (uklad) {
    case Uklad::ObcegoDowiazanie:
    case Uklad::WlasneDowiazanie:
        zapiszPlik(cel, stare);
        QCOMPARE(::chmod(QFile::encodeName(cel).constData(), 0600), 0);
        QCOMPARE(::symlink(QFile::encodeName(cel).constData(), w.constData()), 0);
        break;
    case Uklad::ObokObcego:
        zapiszPlik(obok, stare);
        QCOMPARE(::chmod(QFile::encodeName(obok).constData(), 0644), 0);
        QCOMPARE(::chown(QFile::encodeName(obok).constData(), 65534, 65534), 0);
        break;
    default:
        zapiszPlik(wlasny, stare);
        QCOMPARE(::chmod(w.constData(), uklad == Uklad::ObcegoPlik ? 0600 : 0666), 0);
        break;
    }
    if (uklad == Uklad::ObcegoPlik || uklad == Uklad::ObcegoPlikDlaWszyst ||
        uklad == Uklad::ObcegoDowiazanie)
        QCOMPARE(::lchown(w.constData(), 65534, 65534), 0);
    const QString czytany = PlikUstawienDoOdczytu(program);
    QCOMPARE(czytany, uklad == Uklad::ObokObcego ? obok : wlasny);

    // In a child: a read-only mount stays its own.
    const WynikPotomka wynik = UruchomWPotomku([&]() -> QString {
        if (uklad == Uklad::WlasnyNaTylkoDoOdcz) {
            const QByteArray f = QFile::encodeName(folder);
            if (!WlasnePunktyMontowania() ||
                ::mount(f.constData(), f.constData(), nullptr, MS_BIND, nullptr) != 0 ||
                ::mount(nullptr, f.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                        nullptr) != 0)
                return u"SKIP"_qs;
        }
        // The settings as the program reads them: a refused file gives the
        // defaults, never its mail address.
        const Ustawienia::Wartosci ust = Ustawienia::Czytaj(program);
        const QString powod = ust.bladPliku;
        if (powod != PowodNieufnosci(czytany) || (!powod.isEmpty() && !ust.mail.isEmpty()))
            return u"read anyway: "_qs + ust.mail;
        struct stat st; // of the file a link leads to
        if (::stat(QFile::encodeName(czytany).constData(), &st) != 0)
            return u"?"_qs;
        return powod + u'|' + QString::number(st.st_mode & 07777, 8);
    });
    QVERIFY2(wynik.ok, qPrintable(wynik.tekst));
    if (wynik.tekst == u"SKIP"_qs)
        QSKIP("needs a private mount namespace");
    const QString powod = kto.isEmpty()
                              ? QString()
                              : u"Zły właściciel albo uprawnienia pliku ustawień „"_qs + czytany +
                                    u"”: może go zmieniać inny użytkownik ("_qs + kto +
                                    u"). Program używa ustawień domyślnych"_qs;
    QCOMPARE(wynik.tekst, powod + u'|' + trybPo);

    // "Potwierdź": a file refused so is replaced by a fresh one of the
    // user's, never written into; one that is used keeps what it holds.
    ZapiszIni(PlikUstawienDoZapisu(program), {u"konfig"_qs}, {u"obiekt"_qs}, {u"Nowy"_qs});
    const QString zapisany = uklad == Uklad::ObokObcego ? wlasny : czytany;
    QFileInfo info(zapisany);
    if (kto.isEmpty() || uklad == Uklad::WlasnyNaTylkoDoOdcz)
        return;
    QVERIFY(!info.isSymLink());
    QCOMPARE(info.ownerId(), ::geteuid());
    QCOMPARE(QString::number(tryb(zapisany), 8), u"600"_qs);
    QCOMPARE(TIniFile(zapisany).ReadString("konfig", "obiekt", ""), QByteArray("Nowy"));
    QCOMPARE(TIniFile(zapisany).ReadString("konfig", "mail", ""), QByteArray());
    if (uklad == Uklad::ObcegoDowiazanie)
        QCOMPARE(CzytajPlik(cel), stare); // the link's target is left alone
    QCOMPARE(PowodNieufnosci(zapisany), QString());
}

#include "tst_ini.moc"
