// Mail hand-off through xdg-email, and the mail command of the main window.

#include "Poczta.h"

#include "Cp1250.h"
#include "Komunikaty.h"
#include "OknaTestowe.h"
#include "RaportView.h"
#include "Zapis.h"
#include "konfiguracja.h"
#include "main.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <optional>

namespace {

// A stand-in xdg-email in its own directory, put alone on PATH. It records
// its arguments, NUL-separated, and ends with the given exit code.
class ZastepczyXdgEmail
{
public:
    explicit ZastepczyXdgEmail(const QString &polecenia)
    {
        staryPath = qgetenv("PATH");
        const QString skrypt = katalog.filePath(QStringLiteral("xdg-email"));
        QFile plik(skrypt);
        if (plik.open(QIODevice::WriteOnly)) {
            plik.write("#!/bin/sh\nprintf '%s\\0' \"$@\" > '" + zapis().toUtf8() + "'\n" +
                       polecenia.toUtf8() + "\n");
            plik.close();
        }
        plik.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", katalog.path().toLocal8Bit());
    }
    ~ZastepczyXdgEmail() { qputenv("PATH", staryPath); }

    QString zapis() const { return katalog.filePath(QStringLiteral("argumenty")); }

    QStringList argumenty() const
    {
        QFile plik(zapis());
        if (!plik.open(QIODevice::ReadOnly))
            return {};
        QStringList wynik;
        const QList<QByteArray> czesci = plik.readAll().split('\0');
        for (qsizetype i = 0; i + 1 < czesci.size(); ++i)
            wynik << QString::fromUtf8(czesci.at(i));
        return wynik;
    }

private:
    QTemporaryDir katalog;
    QByteArray staryPath;
};

WiadomoscPoczty Wiadomosc(const QString &adres)
{
    return {u"Obiekt: sala nr 2, Okres: 03-05-01 03-05-31"_qs, u"W załączeniu raporty.."_qs, adres,
            u"/tmp/temp/salaNr2_03-05-01_03-05-31.txt"_qs, u"salaNr2_03-05-01_03-05-31.txt"_qs};
}

const QByteArray raport("Odwiedziny w dniu: 03/05/01\r\n\xb9\0x\r\n", 35);

// A received report, as a download leaves it, optionally saved already.
void UmiescRaport(const QByteArray &bajty, bool zapisany)
{
    UmiescRaport(bajty);
    if (zapisany) {
        frmMain->NiezapisaneDane = false;
        frmMain->StanZapisany();
    }
}

QByteArray Zawartosc(const QString &sciezka)
{
    QFile plik(sciezka);
    return plik.open(QIODevice::ReadOnly) ? plik.readAll() : QByteArray("<missing>");
}

const QString nazwaRaportu = u"salaNr2_03-05-01_03-05-31.txt"_qs;

} // namespace

class TestPoczta : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void argumenty_data();
    void argumenty();
    void wynikProgramuPoczty_data();
    void wynikProgramuPoczty();
    void brakProgramuPoczty();
    void programWciazDzialaToPrzekazanie();
    void usuwanieStarychZalacznikow();

    void stanPoWyslaniu_data();
    void stanPoWyslaniu();
    void trescWiadomosci();
    void pierwszeWyslanieTworzyKatalogTemp();
    void zalacznikNieDoZapisania();
    void nieudanaKopiaAutomatyczna_data();
    void nieudanaKopiaAutomatyczna();
    void nieudanyZapisPoPytaniu();

private:
    QString temp() const { return okna->filePath(u"temp"_qs); }

    std::unique_ptr<OknaTestowe> okna; // the program directory with the windows
    QTemporaryDir katalogZapisu;
    QList<QString> komunikaty;
    QString odpowiedzDialogu;
    int pokazaniaDialogu = 0;
};

void TestPoczta::initTestCase()
{
    okna = std::make_unique<OknaTestowe>(
        [this](Komunikaty::Rodzaj, const QString &tekst) {
            komunikaty.append(tekst);
            return true;
        },
        [this](const QString &, const QString &) {
            ++pokazaniaDialogu;
            return odpowiedzDialogu;
        });
    QVERIFY(okna->isValid());
}

void TestPoczta::init()
{
    komunikaty.clear();
    pokazaniaDialogu = 0;
    odpowiedzDialogu.clear();
    QDir(temp()).removeRecursively();
    QFile::remove(temp());
    QDir(katalogZapisu.path()).removeRecursively();
    QDir().mkpath(katalogZapisu.path());
    frmKonfiguracja->ediNazwa->setText(u"sala nr 2"_qs);
    frmKonfiguracja->ediKatalog->setText(katalogZapisu.path());
    frmKonfiguracja->ediMail->setText(u"biuro@example.org"_qs);
    frmKonfiguracja->cobZapis->setCurrentIndex(0);
}

void TestPoczta::cleanupTestCase()
{
    okna.reset();
}

void TestPoczta::argumenty_data()
{
    QTest::addColumn<QString>("adres");
    QTest::addColumn<QStringList>("koniec");

    QTest::newRow("plain address")
        << u"biuro@example.org"_qs << QStringList{u"biuro@example.org"_qs};
    QTest::newRow("address read as an option is passed as a URL")
        << u"--help@example.org"_qs << QStringList{u"mailto:--help@example.org"_qs};
    QTest::newRow("URL-special characters are escaped")
        << u"-a?b&c@x"_qs << QStringList{u"mailto:-a%3Fb%26c@x"_qs};
    QTest::newRow("empty address leaves the recipient to the user") << QString() << QStringList();
}

void TestPoczta::argumenty()
{
    QFETCH(QString, adres);
    QFETCH(QStringList, koniec);
    const WiadomoscPoczty w = Wiadomosc(adres);
    const QStringList oczekiwane =
        QStringList{u"--utf8"_qs,   u"--subject"_qs,    w.temat, u"--body"_qs, w.tresc,
                    u"--attach"_qs, w.sciezkaZalacznika} +
        koniec;
    QCOMPARE(ArgumentyPoczty(w), oczekiwane);
}

void TestPoczta::wynikProgramuPoczty_data()
{
    QTest::addColumn<QString>("polecenia");
    QTest::addColumn<int>("wynik");

    QTest::newRow("handed over") << u"exit 0"_qs << 0;
    QTest::newRow("client refused") << u"exit 3"_qs << 3;
    QTest::newRow("action failed") << u"exit 5"_qs << 5;
    QTest::newRow("killed by a signal") << u"kill -9 $$"_qs << int(PocztaBladUruchomienia);
}

void TestPoczta::wynikProgramuPoczty()
{
    QFETCH(QString, polecenia);
    QFETCH(int, wynik);
    ZastepczyXdgEmail xdg(polecenia);
    const WiadomoscPoczty w = Wiadomosc(u"biuro@example.org"_qs);

    QCOMPARE(WyslijPoczte(w), wynik);
    // The texts arrive unchanged, Polish letters included, without a shell.
    QCOMPARE(xdg.argumenty(), ArgumentyPoczty(w));
}

void TestPoczta::brakProgramuPoczty()
{
    QTemporaryDir pusty;
    const QByteArray staryPath = qgetenv("PATH");
    qputenv("PATH", pusty.path().toLocal8Bit());
    const int wynik = WyslijPoczte(Wiadomosc(u"a@b"_qs));
    qputenv("PATH", staryPath);
    QCOMPARE(wynik, int(PocztaBrakProgramu));
}

void TestPoczta::programWciazDzialaToPrzekazanie()
{
    // A client that keeps xdg-email waiting has the message: handed over.
    ZastepczyXdgEmail xdg(u"exec /bin/sleep 30 <&- >&- 2>&-"_qs);
    const int stary = CzasOczekiwaniaPoczty();
    UstawCzasOczekiwaniaPoczty(100);
    const int wynik = WyslijPoczte(Wiadomosc(u"a@b"_qs));
    UstawCzasOczekiwaniaPoczty(stary);
    QCOMPARE(wynik, int(PocztaPrzekazana));
}

void TestPoczta::usuwanieStarychZalacznikow()
{
    QTemporaryDir temp;
    QDir katalog(temp.path());
    for (const char *nazwa : {"a_1_2.txt", ".ukryty.txt", "inny.dat"}) {
        QFile plik(katalog.filePath(QString::fromLatin1(nazwa)));
        QVERIFY(plik.open(QIODevice::WriteOnly));
    }
    QVERIFY(katalog.mkdir(u"folder.txt"_qs));

    UsunStareZalaczniki(temp.path());

    QCOMPARE(katalog.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{u"folder.txt"_qs, u"inny.dat"_qs}));
    // A folder that does not exist yet is no error.
    UsunStareZalaczniki(katalog.filePath(u"brak"_qs));
}

void TestPoczta::stanPoWyslaniu_data()
{
    // How the mail program ends: "exit N", or "none" when there is none.
    QTest::addColumn<QString>("poczta");
    QTest::addColumn<int>("ustawienie"); // cobZapis: 0 Zawsze, 1 Pytaj, 2 Nigdy, -1 none
    QTest::addColumn<bool>("zapisany");  // the report was saved before
    QTest::addColumn<bool>("potwierdz"); // the user confirms the offered save
    QTest::addColumn<bool>("niezapisanePo");
    QTest::addColumn<int>("obrazekMail");
    QTest::addColumn<int>("obrazekZapisz");
    QTest::addColumn<bool>("plikWKatalogu");

    const int wyslany = obrMailWyslany, mail = obrMail, zapisany = obrZapisany, zapisz = obrZapisz;
    // clang-format off
    QTest::newRow("sent, Zawsze")          << u"exit 0"_qs << 0 << false << false << false << wyslany << zapisany << true;
    QTest::newRow("sent, Pytaj, saved")    << u"exit 0"_qs << 1 << false << true  << false << wyslany << zapisany << true;
    QTest::newRow("sent, Pytaj, cancel")   << u"exit 0"_qs << 1 << false << false << false << wyslany << zapisz   << false;
    QTest::newRow("sent, Nigdy")           << u"exit 0"_qs << 2 << false << false << false << wyslany << zapisz   << false;
    QTest::newRow("sent, no setting")      << u"exit 0"_qs << -1 << false << false << false << wyslany << zapisz  << false;
    QTest::newRow("sent, already saved")   << u"exit 0"_qs << 0 << true  << false << false << wyslany << zapisany << false;
    QTest::newRow("refused, Zawsze")       << u"exit 3"_qs << 0 << false << false << false << mail    << zapisany << true;
    QTest::newRow("failed, Pytaj, saved")  << u"exit 5"_qs << 1 << false << true  << false << mail    << zapisany << true;
    QTest::newRow("failed, Pytaj, cancel") << u"exit 5"_qs << 1 << false << false << true  << mail    << zapisz   << false;
    QTest::newRow("failed, Nigdy")         << u"exit 1"_qs << 2 << false << false << true  << mail    << zapisz   << false;
    QTest::newRow("failed, already saved") << u"exit 3"_qs << 2 << true  << false << false << mail    << zapisany << false;
    QTest::newRow("no mail program, Zawsze") << u"none"_qs << 0 << false << false << false << mail    << zapisany << true;
    QTest::newRow("no mail program, Nigdy")  << u"none"_qs << 2 << false << false << true  << mail    << zapisz   << false;
    // clang-format on
}

void TestPoczta::stanPoWyslaniu()
{
    QFETCH(QString, poczta);
    QFETCH(int, ustawienie);
    QFETCH(bool, zapisany);
    QFETCH(bool, potwierdz);
    QFETCH(bool, niezapisanePo);
    QFETCH(int, obrazekMail);
    QFETCH(int, obrazekZapisz);
    QFETCH(bool, plikWKatalogu);

    QTemporaryDir pusty;
    const QByteArray staryPath = qgetenv("PATH");
    std::optional<ZastepczyXdgEmail> xdg;
    if (poczta == u"none"_qs)
        qputenv("PATH", pusty.path().toLocal8Bit());
    else
        xdg.emplace(poczta);

    frmKonfiguracja->cobZapis->setCurrentIndex(ustawienie);
    const QString zapis = SciezkaWKatalogu(katalogZapisu.path(), nazwaRaportu);
    odpowiedzDialogu = potwierdz ? zapis : QString();
    UmiescRaport(raport, zapisany);

    frmMain->tobMail->click();
    qputenv("PATH", staryPath);

    QCOMPARE(frmMain->NiezapisaneDane, niezapisanePo);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobMail), obrazekMail);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobZapisz), obrazekZapisz);
    QCOMPARE(QFile::exists(zapis), plikWKatalogu);
    if (plikWKatalogu)
        QCOMPARE(Zawartosc(zapis), raport);
    QCOMPARE(pokazaniaDialogu, ustawienie == 1 && !zapisany ? 1 : 0);
    QVERIFY(komunikaty.isEmpty());
    QVERIFY(frmMain->tobMail->isEnabled());
    QVERIFY(frmMain->tobZapisz->isEnabled());
}

void TestPoczta::trescWiadomosci()
{
    ZastepczyXdgEmail xdg(u"exit 0"_qs);
    frmKonfiguracja->ediMail->setText(u"  biuro@example.org \t"_qs);
    frmKonfiguracja->cobZapis->setCurrentIndex(2);
    UmiescRaport(raport, false);
    frmMain->DataOd = u" 03/05/01"_qs;
    frmMain->DataDo = u" 03-05-31"_qs;

    frmMain->tobMail->click();

    // The subject keeps the name as typed and the dates as stored (after
    // "/" became "-"); the file name joins the words and drops the blanks.
    const QString zalacznik = temp() + u'/' + nazwaRaportu;
    QCOMPARE(xdg.argumenty(), (QStringList{u"--utf8"_qs, u"--subject"_qs,
                                           u"Obiekt: sala nr 2, Okres:  03-05-01  03-05-31"_qs,
                                           u"--body"_qs, u"W załączeniu raporty.."_qs,
                                           u"--attach"_qs, zalacznik, u"biuro@example.org"_qs}));
    // The attachment stays for the mail client to read; the next start
    // removes it.
    QCOMPARE(Zawartosc(zalacznik), raport);
}

void TestPoczta::pierwszeWyslanieTworzyKatalogTemp()
{
    ZastepczyXdgEmail xdg(u"exit 0"_qs);
    QVERIFY(!QFile::exists(temp()));
    UmiescRaport(raport, false);

    frmMain->tobMail->click();

    QVERIFY(QFileInfo(temp()).isDir());
    QVERIFY(komunikaty.isEmpty());
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobMail), int(obrMailWyslany));
}

void TestPoczta::zalacznikNieDoZapisania()
{
    ZastepczyXdgEmail xdg(u"exit 0"_qs);
    QFile zawada(temp()); // a file where the folder should be
    QVERIFY(zawada.open(QIODevice::WriteOnly));
    zawada.close();
    UmiescRaport(raport, false);

    frmMain->tobMail->click();

    QCOMPARE(komunikaty,
             QList<QString>{u"Błąd podczas zapisu pliku: "_qs + temp() + u'/' + nazwaRaportu +
                            u" (to nie jest folder). Raport nie został wysłany."_qs});
    QVERIFY(Komunikaty::OstatnieSzczegoly().contains(u"ENOTDIR"_qs));
    QVERIFY(xdg.argumenty().isEmpty()); // nothing was handed over
    QVERIFY(frmMain->NiezapisaneDane);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobMail), int(obrMail));
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobZapisz), int(obrZapisz));
    QVERIFY(QDir(katalogZapisu.path()).isEmpty());
}

void TestPoczta::nieudanaKopiaAutomatyczna_data()
{
    QTest::addColumn<QString>("poczta");
    QTest::addColumn<bool>("niezapisanePo");
    QTest::addColumn<int>("obrazekMail");

    QTest::newRow("sent") << u"exit 0"_qs << false << int(obrMailWyslany);
    QTest::newRow("not sent") << u"exit 3"_qs << true << int(obrMail);
}

void TestPoczta::nieudanaKopiaAutomatyczna()
{
    QFETCH(QString, poczta);
    QFETCH(bool, niezapisanePo);
    QFETCH(int, obrazekMail);
    ZastepczyXdgEmail xdg(poczta);
    // The save directory is a file: the copy cannot arrive.
    const QString plik = katalogZapisu.filePath(u"plik"_qs);
    QFile zawada(plik);
    QVERIFY(zawada.open(QIODevice::WriteOnly));
    zawada.close();
    frmKonfiguracja->ediKatalog->setText(plik);
    UmiescRaport(raport, false);

    frmMain->tobMail->click();

    QCOMPARE(komunikaty,
             QList<QString>{u"Błąd podczas zapisu pliku: "_qs + plik + u'/' + nazwaRaportu +
                            u" (to nie jest folder). Raport nie został zapisany; "
                            "zapisz go przyciskiem \"Zapisz\"."_qs});
    QCOMPARE(frmMain->NiezapisaneDane, niezapisanePo);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobMail), obrazekMail);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobZapisz), int(obrZapisz));
}

void TestPoczta::nieudanyZapisPoPytaniu()
{
    ZastepczyXdgEmail xdg(u"exit 0"_qs);
    frmKonfiguracja->cobZapis->setCurrentIndex(1);
    odpowiedzDialogu = u"/dev/full"_qs;
    UmiescRaport(raport, false);

    frmMain->tobMail->click();

    // The save error ends the command: the report stays unsaved and the mail
    // button unmarked, though the message went out.
    QCOMPARE(komunikaty, QList<QString>{u"Nie udało się zapisać pliku \"/dev/full\": brak miejsca "
                                        "na dysku. Zwolnij miejsce na dysku lub wybierz inny "
                                        "folder."_qs});
    QVERIFY(frmMain->NiezapisaneDane);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobMail), int(obrMail));
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobZapisz), int(obrZapisz));
}

QTEST_MAIN(TestPoczta)
#include "tst_poczta.moc"
