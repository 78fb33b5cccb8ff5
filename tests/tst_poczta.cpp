// Mail hand-off through xdg-email, and the mail command of the main window.

#include "Poczta.h"

#include "Cp1250.h"
#include "Dziennik.h"
#include "Komunikaty.h"
#include "Miejsca.h"
#include "OknaTestowe.h"
#include "Pomocnicze.h"
#include "RaportView.h"
#include "Zapis.h"
#include "konfiguracja.h"
#include "main.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <tuple>

#include <signal.h>
#include <unistd.h>

namespace {

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

const QString nazwaRaportu = u"salaNr2_03-05-01_03-05-31.txt"_qs;

// A send folder as the program names it: the date and time of the send.
const QString wzorWysylki = uR"(\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d(_\d+)?)"_qs;

// The n-th report of a run, different for every send.
QByteArray RaportNr(int n)
{
    return QByteArray("Odwiedziny w dniu: 03/05/01\r\nwysy\xb3ka ") + QByteArray::number(n);
}

// The program as a user runs it, in a process of its own: it starts, cleans
// up as every start does, mails the report "wyslania" times with automatic
// saving "Zawsze", closes its window and ends. Its exit code is the number
// of boxes it showed. Settings come from the environment.
int ProgramWysylajacy()
{
    int argc = 1;
    char nazwa[] = "vestibulomat";
    char *argv[] = {nazwa, nullptr};
    QApplication app(argc, argv);
    TfrmMain::UstawKatalogProgramu(qEnvironmentVariable("TST_KATALOG_PROGRAMU"));
    int komunikaty = 0;
    NagrywajKomunikaty([&komunikaty](Komunikaty::Rodzaj, const QString &tekst) {
        std::fprintf(stderr, "box: %s\n", qPrintable(tekst));
        ++komunikaty;
        return false;
    });
    UtworzOkna();
    UsunStareZalaczniki(KatalogTymczasowy(frmMain->KatalogProgramu));
    frmKonfiguracja->ediNazwa->setText(qEnvironmentVariable("TST_OBIEKT"));
    frmKonfiguracja->ediKatalog->setText(qEnvironmentVariable("TST_KATALOG_ZAPISU"));
    frmKonfiguracja->ediMail->setText(u"jan+raporty@przykład.pl"_qs);
    frmKonfiguracja->cobZapis->setCurrentIndex(0);
    const int wyslania = qEnvironmentVariableIntValue("TST_WYSLANIA");
    for (int n = 1; n <= wyslania; ++n) {
        UmiescRaport(RaportNr(n));
        frmMain->tobMail->click();
    }
    frmMain->close();
    UsunOkna();
    NagrywajKomunikaty({});
    return komunikaty;
}

// A home folder whose default mail client is a stand-in named thunderbird,
// reached through the real xdg-email. The stand-in records each -compose
// argument and checks the attachment value as the client does: the value
// ends at the next quote and is split at commas, and each part must be an
// existing file. For call k it writes compose<k>, zalaczniki<k> (one line
// "ok PATH" or "brak PATH" per part, put in place last) and pid<k>. While the file "zostan"
// exists it keeps running, as a client that stays open does.
class KlientPoczty
{
public:
    KlientPoczty()
    {
        QDir(dom()).mkpath(u".config"_qs);
        QDir(dom()).mkpath(u".local/share/applications"_qs);
        QDir(dom()).mkpath(u"bin"_qs);
        QDir().mkpath(log());
        Zapisz(dom() + u"/bin/thunderbird"_qs,
               "#!/bin/sh\n"
               "exec </dev/null >/dev/null 2>&1\n"
               "log='" +
                   QFile::encodeName(log()) +
                   "'\n"
                   "k=1; while [ -e \"$log/compose$k\" ]; do k=$((k+1)); done\n"
                   "echo $$ > \"$log/pid$k\"\n"
                   "printf '%s' \"$2\" > \"$log/compose$k\"\n"
                   "q=\"'\"; v=${2#*attachment=$q}; v=${v%%$q*}\n"
                   "set -f; IFS=,\n"
                   "for f in $v; do\n"
                   "  if [ -f \"$f\" ]; then echo \"ok $f\"; else echo \"brak $f\"; fi\n"
                   "done > \"$log/.zalaczniki$k\"\n"
                   "mv \"$log/.zalaczniki$k\" \"$log/zalaczniki$k\"\n"
                   "[ -e \"$log/zostan\" ] && exec sleep 600\n"
                   "exit 0\n");
        QFile::setPermissions(dom() + u"/bin/thunderbird"_qs,
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        Zapisz(dom() + u"/.local/share/applications/thunderbird.desktop"_qs,
               "[Desktop Entry]\nType=Application\nName=Poczta\nExec=" + QFile::encodeName(dom()) +
                   "/bin/thunderbird %u\nMimeType=x-scheme-handler/mailto;\n");
        Zapisz(dom() + u"/.config/mimeapps.list"_qs,
               "[Default Applications]\nx-scheme-handler/mailto=thunderbird.desktop\n");
    }
    ~KlientPoczty()
    {
        // A stand-in left running belongs to this test: end it (and only it,
        // should its number have been given to another process since).
        for (qint64 pid : pidy()) {
            const QString cmdline = u"/proc/"_qs + QString::number(pid) + u"/cmdline"_qs;
            if (CzytajPlik(cmdline).startsWith("sleep"))
                ::kill(pid_t(pid), SIGTERM);
        }
    }

    QString dom() const { return m_katalog.filePath(u"dom"_qs); }
    QString log() const { return m_katalog.filePath(u"log"_qs); }
    // Calls whose check is complete: its result appears last, whole.
    int wywolania() const { return int(QDir(log()).entryList({u"zalaczniki*"_qs}).size()); }
    QStringList zalaczniki(int k) const
    {
        return QString::fromUtf8(CzytajPlik(log() + u"/zalaczniki"_qs + QString::number(k)))
            .split(u'\n', Qt::SkipEmptyParts);
    }
    QList<qint64> pidy() const
    {
        QList<qint64> wynik;
        for (int k = 1; k <= wywolania(); ++k)
            wynik << CzytajPlik(log() + u"/pid"_qs + QString::number(k)).trimmed().toLongLong();
        return wynik;
    }

    // The environment of a desktop session with this home and no desktop
    // of a known kind, so xdg-email asks the default mailto handler.
    QProcessEnvironment srodowisko() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *zmienna :
             {"MAILER", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID",
              "DESKTOP_SESSION", "XDG_CONFIG_DIRS", "XDG_DATA_DIRS"})
            env.remove(QString::fromLatin1(zmienna));
        env.insert(u"XDG_CURRENT_DESKTOP"_qs, u"X-Generic"_qs);
        env.insert(u"HOME"_qs, dom());
        env.insert(u"XDG_CONFIG_HOME"_qs, dom() + u"/.config"_qs);
        env.insert(u"XDG_DATA_HOME"_qs, dom() + u"/.local/share"_qs);
        env.insert(u"XDG_CACHE_HOME"_qs, dom() + u"/.cache"_qs);
        return env;
    }

private:
    static void Zapisz(const QString &sciezka, const QByteArray &tresc)
    {
        QFile plik(sciezka);
        if (plik.open(QIODevice::WriteOnly))
            plik.write(tresc);
    }

    QTemporaryDir m_katalog;
};

// Whether a process still runs (a zombie has ended).
bool Dziala(qint64 pid)
{
    const QByteArray stan = CzytajPlik(u"/proc/"_qs + QString::number(pid) + u"/stat"_qs);
    const qsizetype nawias = stan.lastIndexOf(')');
    return nawias > 0 && stan.size() > nawias + 2 && stan.at(nawias + 2) != 'Z';
}

} // namespace

class TestPoczta : public QObject
{
    Q_OBJECT

public:
    // Run before the test's own application: the program started by
    // doKlientaPoczty runs in this same executable.
    static void initMain()
    {
        if (qEnvironmentVariableIsSet("TST_KATALOG_PROGRAMU"))
            std::exit(ProgramWysylajacy());
    }

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
    void usuwanieStarychZalacznikow_data();
    void usuwanieStarychZalacznikow();
    void doKlientaPoczty_data();
    void doKlientaPoczty();

    void stanPoWyslaniu_data();
    void stanPoWyslaniu();
    void trescWiadomosci();
    void pierwszeWyslanieTworzyKatalogTemp();
    void nieudanyZapisPrzyWysylaniu_data();
    void nieudanyZapisPrzyWysylaniu();
    void zlyAdresNieUruchamiaKlienta();
    void kopiaZawszeObokPlikuObcego_data();
    void kopiaZawszeObokPlikuObcego();
    void poznyBladPoczty_data();
    void poznyBladPoczty();

private:
    QString dziennik() const { return okna->PlikDziennika(); }
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
    QTest::addColumn<QString>("adres");      // as typed in the settings
    QTest::addColumn<QString>("przekazany"); // the last argument; empty: none
    QTest::addColumn<QString>("powod");      // why it is refused; empty: it is not

    // clang-format off
    QTest::newRow("plain address")
        << u"biuro@example.org"_qs << u"mailto:biuro@example.org"_qs << QString();
    QTest::newRow("blanks around are dropped")
        << u" \tbiuro@example.org  "_qs << u"mailto:biuro@example.org"_qs << QString();
    QTest::newRow("plus-addressing and a subdomain")
        << u"jan+raporty@biuro.example.org"_qs << u"mailto:jan%2Braporty@biuro.example.org"_qs << QString();
    QTest::newRow("international letters")
        << u"żaneta@przykład.pl"_qs << u"mailto:%C5%BCaneta@przyk%C5%82ad.pl"_qs << QString();
    QTest::newRow("address read as an option")
        << u"--help@example.org"_qs << u"mailto:--help@example.org"_qs << QString();
    QTest::newRow("empty address leaves the recipient to the user")
        << QString() << QString() << QString();
    QTest::newRow("mailto: with an attachment and a hidden recipient")
        << u"mailto:kierownik@example.org?attach=/home/uzytkownik/.ssh/id_ed25519&bcc=obcy@example.org"_qs
        << QString() << u"Adres nie może zaczynać się od „mailto:”"_qs;
    QTest::newRow("parameters without mailto:")
        << u"kierownik@example.org?attach=/etc/passwd"_qs << QString() << u"Adres zawiera niedozwolony znak „?”"_qs;
    QTest::newRow("hidden recipient after &")
        << u"a@example.org&bcc=obcy@example.org"_qs << QString() << u"Adres zawiera niedozwolony znak „&”"_qs;
    QTest::newRow("quote ending the client's argument")
        << u"a@example.org',attachment='/etc/passwd"_qs << QString() << u"Adres zawiera niedozwolony znak „'”"_qs;
    QTest::newRow("double quote")
        << u"a\"b@example.org"_qs << QString() << u"Adres zawiera niedozwolony znak „\"”"_qs;
    QTest::newRow("percent escape")
        << u"a%27b@example.org"_qs << QString() << u"Adres zawiera niedozwolony znak „%”"_qs;
    QTest::newRow("asterisk")
        << u"a*b@example.org"_qs << QString() << u"Adres zawiera niedozwolony znak „*”"_qs;
    QTest::newRow("backslash")
        << u"a\\b@example.org"_qs << QString() << u"Adres zawiera niedozwolony znak „\\”"_qs;
    QTest::newRow("name in angle brackets")
        << u"<jan@example.org>"_qs << QString() << u"Adres zawiera niedozwolony znak „<”"_qs;
    QTest::newRow("two recipients, comma")
        << u"a@example.org,b@example.org"_qs << QString() << u"Adres zawiera niedozwolony znak „,”"_qs;
    QTest::newRow("two recipients, semicolon")
        << u"a@example.org;b@example.org"_qs << QString() << u"Adres zawiera niedozwolony znak „;”"_qs;
    QTest::newRow("space inside")
        << u"jan kowalski@example.org"_qs << QString() << u"Adres zawiera odstęp"_qs;
    QTest::newRow("line feed inside")
        << u"a@example.org\nbcc@example.org"_qs << QString() << u"Adres zawiera znak sterujący"_qs;
    QTest::newRow("no @") << u"example.org"_qs << QString() << u"Brak znaku „@”"_qs;
    QTest::newRow("two @") << u"a@b@example.org"_qs << QString() << u"Adres zawiera więcej niż jeden znak „@”"_qs;
    QTest::newRow("nothing before @") << u"@example.org"_qs << QString() << u"Brak nazwy przed znakiem „@”"_qs;
    QTest::newRow("nothing after @") << u"a@"_qs << QString() << u"Brak domeny po znaku „@”"_qs;
    QTest::newRow("empty part of the domain")
        << u"a@example..org"_qs << QString() << u"Domena „example..org” jest niepełna"_qs;
    // clang-format on
}

void TestPoczta::argumenty()
{
    QFETCH(QString, adres);
    QFETCH(QString, przekazany);
    QFETCH(QString, powod);
    ZastepczyXdgEmail xdg(u"exit 0"_qs);
    WiadomoscPoczty w = Wiadomosc(adres);

    QCOMPARE(PowodBleduAdresu(adres), powod);
    const int wynik = WyslijPoczte(w);
    if (!powod.isEmpty()) {
        // Refused before anything starts.
        QCOMPARE(wynik, int(PocztaZlyAdres));
        QVERIFY(xdg.argumenty().isEmpty());
        return;
    }
    QCOMPARE(wynik, int(PocztaPrzekazana));
    // Exactly these arguments, texts unchanged (Polish letters included), no shell.
    QStringList oczekiwane{u"--utf8"_qs,
                           u"--subject"_qs,
                           u"Obiekt: sala nr 2, Okres: 03-05-01 03-05-31"_qs,
                           u"--body"_qs,
                           u"W załączeniu raporty.."_qs,
                           u"--attach"_qs,
                           u"/tmp/temp/salaNr2_03-05-01_03-05-31.txt"_qs};
    if (!przekazany.isEmpty())
        oczekiwane << przekazany;
    QCOMPARE(xdg.argumenty(), oczekiwane);
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
    QCOMPARE(wynik, int(PocztaWToku));
    QVERIFY(PocztaOddana(wynik));
}

void TestPoczta::usuwanieStarychZalacznikow_data()
{
    QTest::addColumn<QString>("plik"); // inside the attachment folder
    QTest::addColumn<int>("wiek");     // hours since it was last written
    QTest::addColumn<bool>("zostaje");
    // A link of this name in the attachment folder leads to the file's
    // first folder (or the file) elsewhere; what it leads to must stay.
    QTest::addColumn<QString>("dowiazanie");

    // clang-format off
    QTest::newRow("send folder, an hour old")       << u"2003-05-31_10-00-00/a_1_2.txt"_qs << 1 << true << QString();
    QTest::newRow("send folder, six days old")      << u"2003-05-31_10-00-00_2/a.txt"_qs << 144 << true << QString();
    QTest::newRow("send folder, eight days old")    << u"2003-05-31_10-00-00/a_1_2.txt"_qs << 192 << false << QString();
    QTest::newRow("earlier layout, eight days old") << u"a_1_2.txt"_qs << 192 << false << QString();
    QTest::newRow("earlier layout, hidden, old")    << u".ukryty.txt"_qs << 192 << false << QString();
    QTest::newRow("earlier layout, an hour old")    << u"a_1_2.txt"_qs << 1 << true << QString();
    QTest::newRow("not a report, old")              << u"inny.dat"_qs << 192 << true << QString();
    QTest::newRow("folder not made by a send, old") << u"zdjecia/a.txt"_qs << 192 << true << QString();
    QTest::newRow("old file behind a link")         << u"a.txt"_qs << 192 << true << u"stary.txt"_qs;
    QTest::newRow("send folder that is a link")     << u"w/a.txt"_qs << 192 << true << u"2003-05-31_10-00-00"_qs;
    // clang-format on
}

void TestPoczta::usuwanieStarychZalacznikow()
{
    QFETCH(QString, plik);
    QFETCH(int, wiek);
    QFETCH(bool, zostaje);
    QFETCH(QString, dowiazanie);
    QTemporaryDir temp, gdzieIndziej;
    const QString sciezka = (dowiazanie.isEmpty() ? temp : gdzieIndziej).filePath(plik);
    QVERIFY(QDir().mkpath(QFileInfo(sciezka).absolutePath()));
    QFile f(sciezka);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600LL * wiek),
                          QFileDevice::FileModificationTime));
    f.close();
    if (!dowiazanie.isEmpty())
        QVERIFY(QFile::link(gdzieIndziej.filePath(plik.section(u'/', 0, 0)),
                            temp.filePath(dowiazanie)));

    UsunStareZalaczniki(temp.path());

    QCOMPARE(QFile::exists(sciezka), zostaje);
    if (!dowiazanie.isEmpty())
        return;
    // A send folder emptied goes with its file; the attachment folder stays.
    QCOMPARE(QFileInfo::exists(QFileInfo(sciezka).absolutePath()), zostaje || !plik.contains(u'/'));
    // A folder that does not exist yet is no error.
    UsunStareZalaczniki(temp.filePath(u"brak"_qs));
}

void TestPoczta::doKlientaPoczty_data()
{
    QTest::addColumn<QString>("obiekt");
    QTest::addColumn<QString>("katalog"); // the program's folder
    QTest::addColumn<int>("wyslania");    // sends in the last run
    QTest::addColumn<QList<int>>(
        "poprzednie");                       // earlier runs, their attachments this many hours old
    QTest::addColumn<bool>("klientZostaje"); // the client stays open while the program closes
    QTest::addColumn<QString>("zalacznik");  // the attachment's name in the client
    QTest::addColumn<QString>("kopia");      // the automatic copy's name

    const QString zwykly = u"salaNr2_03-05-01_03-05-31.txt"_qs;
    // clang-format off
    QTest::newRow("object name with a comma")
        << u"Sala 1, parter"_qs << u"program"_qs << 1 << QList<int>{} << false
        << u"Sala1-Parter_03-05-01_03-05-31.txt"_qs << u"Sala1,Parter_03-05-01_03-05-31.txt"_qs;
    QTest::newRow("object name with a quote and a backslash")
        << u"hol 'A'\\b"_qs << u"program"_qs << 1 << QList<int>{} << false
        << u"hol-A--b_03-05-01_03-05-31.txt"_qs << u"hol'A'\\b_03-05-01_03-05-31.txt"_qs;
    QTest::newRow("program folder with a comma")
        << u"sala nr 2"_qs << u"Programy, stare/vestibulomat"_qs << 1 << QList<int>{} << false
        << zwykly << zwykly;
    QTest::newRow("two sends in a row")
        << u"sala nr 2"_qs << u"program"_qs << 2 << QList<int>{} << false << zwykly << zwykly;
    QTest::newRow("restart after sends an hour and eight days ago")
        << u"sala nr 2"_qs << u"program"_qs << 1 << QList<int>{1, 192} << false << zwykly << zwykly;
    QTest::newRow("client still running when the program closes")
        << u"sala nr 2"_qs << u"program"_qs << 1 << QList<int>{} << true << zwykly << zwykly;
    // clang-format on
}

void TestPoczta::doKlientaPoczty()
{
    QFETCH(QString, obiekt);
    QFETCH(QString, katalog);
    QFETCH(int, wyslania);
    QFETCH(QList<int>, poprzednie);
    QFETCH(bool, klientZostaje);
    QFETCH(QString, zalacznik);
    QFETCH(QString, kopia);
    QVERIFY2(!QStandardPaths::findExecutable(u"xdg-email"_qs).isEmpty(),
             "xdg-email (package xdg-utils) is needed");

    KlientPoczty klient;
    QTemporaryDir miejsce;
    const QString katalogProgramu = miejsce.filePath(katalog);
    const QString katalogZapisu = miejsce.filePath(u"raporty"_qs);
    QVERIFY(QDir().mkpath(katalogProgramu));
    QVERIFY(QDir().mkpath(katalogZapisu));

    // One run of the program with n sends; the stand-in's calls it made.
    const auto uruchom = [&](int n) {
        QProcess program;
        QProcessEnvironment env = klient.srodowisko();
        env.insert(u"TST_KATALOG_PROGRAMU"_qs, katalogProgramu);
        env.insert(u"TST_OBIEKT"_qs, obiekt);
        env.insert(u"TST_KATALOG_ZAPISU"_qs, katalogZapisu);
        env.insert(u"TST_WYSLANIA"_qs, QString::number(n));
        program.setProcessEnvironment(env);
        // A file, not a pipe: a client left running holds it open.
        program.setStandardOutputFile(miejsce.filePath(u"wyjscie"_qs), QIODevice::Append);
        program.setStandardErrorFile(miejsce.filePath(u"wyjscie"_qs), QIODevice::Append);
        const int przed = klient.wywolania();
        program.start(QCoreApplication::applicationFilePath(), {});
        // Only a guard against a hang: the program must end by itself.
        const bool skonczyl = program.waitForFinished(120000);
        if (!skonczyl)
            program.kill();
        return std::make_tuple(
            skonczyl, program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            przed);
    };
    const auto wyjscie = [&] { return CzytajPlik(miejsce.filePath(u"wyjscie"_qs)); };
    // The attachment the client got in call k, after checking it as the
    // client does.
    const auto otrzymany = [&](int k) -> QString {
        const QStringList czesci = klient.zalaczniki(k);
        if (czesci.size() != 1 || !czesci.constFirst().startsWith(u"ok "_qs))
            return u"client found: "_qs + czesci.join(u" | "_qs);
        return czesci.constFirst().mid(3);
    };

    QStringList wczesniejsze;
    for (int godziny : poprzednie) {
        const auto [skonczyl, kod, przed] = uruchom(1);
        QVERIFY2(skonczyl && kod == 0, wyjscie().constData());
        // On a busy machine xdg-email may call the client after the program's
        // bound, and so after the program has ended.
        QTRY_COMPARE_WITH_TIMEOUT(klient.wywolania(), przed + 1, 60000);
        const QString sciezka = otrzymany(przed + 1);
        QVERIFY2(QFileInfo(sciezka).isFile(), qPrintable(sciezka));
        QFile plik(sciezka);
        QVERIFY2(plik.open(QIODevice::ReadWrite), qPrintable(sciezka));
        QVERIFY(plik.setFileTime(QDateTime::currentDateTime().addSecs(-3600LL * godziny),
                                 QFileDevice::FileModificationTime));
        wczesniejsze << sciezka;
    }

    if (klientZostaje)
        QVERIFY(QDir(klient.log()).mkdir(u"zostan"_qs));
    const auto [skonczyl, kod, przed] = uruchom(wyslania);
    QVERIFY2(skonczyl, "the program did not end while the mail client stayed open");
    QVERIFY2(kod == 0, wyjscie().constData());
    QTRY_COMPARE_WITH_TIMEOUT(klient.wywolania(), przed + wyslania, 60000);

    // The address reaches the client whole, decoded from the program's URL.
    const QByteArray compose =
        CzytajPlik(klient.log() + u"/compose"_qs + QString::number(przed + 1));
    QVERIFY2(compose.startsWith("to='jan+raporty@przyk\xc5\x82"
                                "ad.pl"),
             compose.constData());

    // Each send in a folder of its own, so the file an earlier compose window
    // will send still holds its own report. (The calls may come in any order.)
    QList<QByteArray> tresci, oczekiwane;
    for (int n = 1; n <= wyslania; ++n) {
        const QString sciezka = otrzymany(przed + n);
        QCOMPARE(QFileInfo(sciezka).fileName(), zalacznik);
        tresci << CzytajPlik(sciezka);
        oczekiwane << RaportNr(n);
    }
    std::sort(tresci.begin(), tresci.end());
    QCOMPARE(tresci, oczekiwane);
    QCOMPARE(CzytajPlik(QDir(katalogZapisu).filePath(kopia)), RaportNr(wyslania));

    // The start removed what a week-old compose window cannot send anyway.
    // A send within the same second may give its emptied folder's name to a
    // new attachment, so the old file is told by its time.
    const QDateTime przedGodzina = QDateTime::currentDateTime().addSecs(-1800);
    for (qsizetype i = 0; i < wczesniejsze.size(); ++i) {
        const QFileInfo plik(wczesniejsze.at(i));
        const bool staryJest = plik.exists() && plik.lastModified() < przedGodzina;
        QVERIFY2(staryJest == (poprzednie.at(i) < 7 * 24),
                 qPrintable(plik.filePath() + u" changed "_qs +
                            plik.lastModified().toString(Qt::ISODate)));
    }

    if (klientZostaje) {
        const qint64 pid = klient.pidy().constLast();
        QVERIFY2(Dziala(pid), "closing the program ended the mail client");
        // Outside the session of whoever started the program: a hang-up of
        // its terminal does not reach the client either.
        QVERIFY(::getsid(pid_t(pid)) != ::getsid(0));
    }
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
        QCOMPARE(CzytajPlik(zapis, "<missing>"), raport);
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
    // The attachment lies in a folder of this send's own.
    QStringList argumenty = xdg.argumenty();
    const QString zalacznik = argumenty.value(6);
    QVERIFY2(zalacznik.contains(
                 QRegularExpression(u'^' + QRegularExpression::escape(temp()) + u'/' + wzorWysylki +
                                    u'/' + QRegularExpression::escape(nazwaRaportu) + u'$')),
             qPrintable(zalacznik));
    argumenty[6] = u"<attachment>"_qs;
    QCOMPARE(argumenty, (QStringList{u"--utf8"_qs, u"--subject"_qs,
                                     u"Obiekt: sala nr 2, Okres:  03-05-01  03-05-31"_qs,
                                     u"--body"_qs, u"W załączeniu raporty.."_qs, u"--attach"_qs,
                                     u"<attachment>"_qs, u"mailto:biuro@example.org"_qs}));
    // The attachment stays for the mail client to read.
    QCOMPARE(CzytajPlik(zalacznik, "<missing>"), raport);
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

void TestPoczta::nieudanyZapisPrzyWysylaniu_data()
{
    QTest::addColumn<QString>("zawada"); // a file where this folder should be
    QTest::addColumn<int>("zapis");
    QTest::addColumn<QString>("poczta");
    QTest::addColumn<QString>("wybrany"); // the save dialog's answer
    QTest::addColumn<QString>("wzor");    // the box; "…": any text
    QTest::addColumn<QString>("blad");    // the errno name in the details
    QTest::addColumn<bool>("przekazany"); // the mail client was started
    QTest::addColumn<bool>("niezapisane");
    QTest::addColumn<int>("obrazekMail");

    const QString kopia = katalogZapisu.filePath(u"plik"_qs);
    QTest::newRow("attachment cannot be written: nothing handed over")
        << temp() << 0 << u"exit 0"_qs << QString()
        << u"Błąd podczas zapisu pliku: "_qs + temp() + u"/…/"_qs + nazwaRaportu +
               u" (…). Raport nie został wysłany."_qs
        << u"ENOTDIR"_qs << false << true << int(obrMail);
    const QString bezKopii = u"Błąd podczas zapisu pliku: "_qs + kopia + u'/' + nazwaRaportu +
                             u" (…). Raport nie został zapisany; zapisz go przyciskiem "
                             "\"Zapisz\"."_qs;
    QTest::newRow("Zawsze copy cannot arrive, sent")
        << kopia << 0 << u"exit 0"_qs << QString() << bezKopii << u"ENOTDIR"_qs << true << false
        << int(obrMailWyslany);
    QTest::newRow("Zawsze copy cannot arrive, not sent")
        << kopia << 0 << u"exit 3"_qs << QString() << bezKopii << u"ENOTDIR"_qs << true << true
        << int(obrMail);
    // The save error ends the command: the report stays unsaved and the mail
    // button unmarked, though the message went out.
    QTest::newRow("saving after the question fails")
        << QString() << 1 << u"exit 0"_qs << u"/dev/full"_qs
        << u"Nie udało się zapisać pliku \"/dev/full\": …. Zwolnij miejsce na dysku lub wybierz "
           "inny folder."_qs
        << u"ENOSPC"_qs << true << true << int(obrMail);
}

void TestPoczta::nieudanyZapisPrzyWysylaniu()
{
    QFETCH(QString, zawada);
    QFETCH(int, zapis);
    QFETCH(QString, poczta);
    QFETCH(QString, wybrany);
    QFETCH(QString, wzor);
    QFETCH(QString, blad);
    QFETCH(bool, przekazany);
    QFETCH(bool, niezapisane);
    QFETCH(int, obrazekMail);
    ZastepczyXdgEmail xdg(poczta);
    if (!zawada.isEmpty()) {
        QFile plik(zawada);
        QVERIFY(plik.open(QIODevice::WriteOnly));
    }
    if (zawada.startsWith(katalogZapisu.path()))
        frmKonfiguracja->ediKatalog->setText(zawada);
    frmKonfiguracja->cobZapis->setCurrentIndex(zapis);
    odpowiedzDialogu = wybrany;
    UmiescRaport(raport, false);

    frmMain->tobMail->click();

    QCOMPARE(komunikaty.size(), 1);
    QVERIFY2(ZgodnyZWzorem(komunikaty.constFirst(), wzor), qPrintable(komunikaty.constFirst()));
    QVERIFY(OstatnieSzczegoly().contains(blad));
    QCOMPARE(!xdg.argumenty().isEmpty(), przekazany);
    QCOMPARE(frmMain->NiezapisaneDane, niezapisane);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobMail), obrazekMail);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobZapisz), int(obrZapisz));
    if (!przekazany)
        QVERIFY(QDir(katalogZapisu.path()).isEmpty());
}

void TestPoczta::zlyAdresNieUruchamiaKlienta()
{
    // A value put into the settings file by hand.
    ZastepczyXdgEmail xdg(u"exit 0"_qs);
    frmKonfiguracja->ediMail->setText(u"mailto:a@example.org?attach=/etc/passwd"_qs);
    UmiescRaport(raport, false);

    frmMain->tobMail->click();

    QCOMPARE(komunikaty,
             QList<QString>{u"Adres e-mail „mailto:a@example.org?attach=/etc/passwd” jest "
                            "nieprawidłowy: wpisz jeden adres w postaci nazwa@domena. Adres nie "
                            "może zaczynać się od „mailto:”. Popraw go w oknie Konfiguracja, na "
                            "karcie „Wysyłanie”."_qs});
    QVERIFY(xdg.argumenty().isEmpty());
    QVERIFY(!QFile::exists(temp()));
    QVERIFY(QDir(katalogZapisu.path()).isEmpty());
    QVERIFY(frmMain->NiezapisaneDane);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobMail), int(obrMail));
}

void TestPoczta::kopiaZawszeObokPlikuObcego_data()
{
    QTest::addColumn<int>("obcych");       // another user's 0666 files: the name, " (2)", ...
    QTest::addColumn<QString>("zapisany"); // where the copy goes

    QTest::newRow("another user's file under the name: the copy goes under (2)")
        << 1 << u"salaNr2_03-05-01_03-05-31 (2).txt"_qs;
    QTest::newRow("another user's files under the name and (2): the copy goes under (3)")
        << 2 << u"salaNr2_03-05-01_03-05-31 (3).txt"_qs;
}

void TestPoczta::kopiaZawszeObokPlikuObcego()
{
    QFETCH(int, obcych);
    QFETCH(QString, zapisany);
    if (::geteuid() != 0)
        QSKIP("a file of another user's needs root");
    // A sticky shared folder: root could replace the file, an ordinary user
    // would be refused the rename and could rewrite it in place.
    const QByteArray folder = QFile::encodeName(katalogZapisu.path());
    QCOMPARE(::chmod(folder.constData(), 01777), 0);
    QStringList obce{nazwaRaportu, u"salaNr2_03-05-01_03-05-31 (2).txt"_qs};
    for (int i = 0; i < obcych; ++i) {
        const QString sciezka = katalogZapisu.filePath(obce.at(i));
        QFile plik(sciezka);
        QVERIFY(plik.open(QIODevice::WriteOnly));
        plik.write("cudzy raport");
        plik.close();
        QCOMPARE(::chown(QFile::encodeName(sciezka).constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(QFile::encodeName(sciezka).constData(), 0666), 0);
    }
    ZastepczyXdgEmail xdg(u"exit 0"_qs);
    frmKonfiguracja->cobZapis->setCurrentIndex(0);
    UmiescRaport(raport, false);

    frmMain->tobMail->click();

    QVERIFY2(komunikaty.isEmpty(), qPrintable(komunikaty.join(u'\n')));
    const QString kopia = katalogZapisu.filePath(zapisany);
    QCOMPARE(CzytajPlik(kopia, "<missing>"), raport);
    QCOMPARE(QFileInfo(kopia).ownerId(), ::geteuid());
    for (int i = 0; i < obcych; ++i) {
        QCOMPARE(CzytajPlik(katalogZapisu.filePath(obce.at(i))), QByteArray("cudzy raport"));
        QCOMPARE(QFileInfo(katalogZapisu.filePath(obce.at(i))).ownerId(), 65534u);
    }
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobZapisz), int(obrZapisany));
    QVERIFY(!frmMain->NiezapisaneDane);
    QCOMPARE(frmMain->TekstPanelu(3), u"Raport zapisano jako „"_qs + kopia + u"”: „"_qs +
                                          nazwaRaportu + u"” należy do innego użytkownika"_qs);
    frmMain->UstawPanel(3, QString());
}

void TestPoczta::poznyBladPoczty_data()
{
    QTest::addColumn<int>("kod");        // the stand-in's status, 3 s after it started
    QTest::addColumn<int>("ustawienie"); // cobZapis
    QTest::addColumn<QString>("potem");  // meanwhile: "" nothing, "nowy" another report, "zamknij"
    QTest::addColumn<bool>("niezapisanePo");
    QTest::addColumn<int>("obrazekMail");
    QTest::addColumn<bool>("dziennikZostaje");

    const int wyslany = obrMailWyslany, mail = obrMail;
    // clang-format off
    QTest::newRow("fails, Nigdy: unmailed again")      << 3 << 2 << QString()     << true  << mail    << true;
    QTest::newRow("fails, Zawsze: saved, not mailed")  << 3 << 0 << QString()     << false << mail    << false;
    QTest::newRow("fails after another report came")   << 4 << 2 << u"nowy"_qs    << false << mail    << true;
    QTest::newRow("ends well: the journal goes")       << 0 << 2 << QString()     << false << wyslany << false;
    QTest::newRow("program closed while client runs")  << 0 << 2 << u"zamknij"_qs << false << wyslany << false;
    // clang-format on
}

void TestPoczta::poznyBladPoczty()
{
    QFETCH(int, kod);
    QFETCH(int, ustawienie);
    QFETCH(QString, potem);
    QFETCH(bool, niezapisanePo);
    QFETCH(int, obrazekMail);
    QFETCH(bool, dziennikZostaje);
    // A client that dies while starting, after the program stopped waiting.
    ZastepczyXdgEmail xdg(u"/bin/sleep 3; : > \"$0.koniec\"; exit "_qs + QString::number(kod));
    const QString koniec = QFileInfo(xdg.zapis()).path() + u"/xdg-email.koniec"_qs;
    frmKonfiguracja->cobZapis->setCurrentIndex(ustawienie);
    UmiescRaport(raport, false);
    frmMain->dziennik->Rozpocznij({u"sala nr 2"_qs, u"ttyS0"_qs, QDateTime::currentDateTime()},
                                  raport);
    QTRY_VERIFY(QFile::exists(dziennik()));

    frmMain->tobMail->click();
    // Within the bound it looked handed over.
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobMail), int(obrMailWyslany));
    QVERIFY(!frmMain->NiezapisaneDane);
    QVERIFY(komunikaty.isEmpty());

    if (potem == u"nowy"_qs) {
        UmiescRaport(RaportNr(2), true);
    } else if (potem == u"zamknij"_qs) {
        frmMain->close();
        QVERIFY(!QFile::exists(dziennik()));
    }
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(koniec), 10000);
    if (kod != 0)
        QTRY_COMPARE(komunikaty.size(), 1);
    else
        QTest::qWait(300); // nothing must come

    if (kod != 0) {
        QCOMPARE(komunikaty.constFirst(),
                 u"Program pocztowy zgłosił błąd (kod "_qs + QString::number(kod) +
                     u"); raport mógł nie zostać wysłany. Raport obiektu „sala nr 2” za okres "
                     "03-05-01 03-05-31. Sprawdź wiadomość w programie pocztowym i w razie "
                     "potrzeby wyślij raport jeszcze raz."_qs);
    } else {
        QVERIFY(komunikaty.isEmpty());
    }
    QCOMPARE(frmMain->NiezapisaneDane, niezapisanePo);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobMail), obrazekMail);
    QCOMPARE(QFile::exists(dziennik()), dziennikZostaje);
    // Asked again before the report is dropped.
    komunikaty.clear();
    frmMain->close();
    QCOMPARE(komunikaty.size(), niezapisanePo ? 1 : 0);
    frmMain->dziennik->Usun();
}

QTEST_MAIN(TestPoczta)
#include "tst_poczta.moc"
