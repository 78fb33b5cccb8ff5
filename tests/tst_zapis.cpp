// Saving a report: byte-exact files, safe replacement, the attachment and its
// copy, the save dialog; and the save command of the main window.

#include "Zapis.h"

#include "BezpiecznyZapis.h"
#include "Cp1250.h"
#include "Komunikaty.h"
#include "Miejsca.h"
#include "Narzedzia.h"
#include "OknaTestowe.h"
#include "Poczta.h"
#include "Pomocnicze.h"
#include "Potomek.h"
#include "RaportView.h"
#include "konfiguracja.h"
#include "main.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Zawartosc(const QString &sciezka)
{
    QFile plik(sciezka);
    return plik.open(QIODevice::ReadOnly) ? plik.readAll() : QByteArray("<missing>");
}

void Utworz(const QString &sciezka, const QByteArray &dane)
{
    QFile plik(sciezka);
    QVERIFY(plik.open(QIODevice::WriteOnly));
    plik.write(dane);
}

} // namespace

class TestZapis : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void zapisBajtPoBajcie_data();
    void zapisBajtPoBajcie();
    void awariaZostawiaStaryLubCalyNowy_data();
    void awariaZostawiaStaryLubCalyNowy();
    void podrzuconaNazwaNieKierujeZapisu_data();
    void podrzuconaNazwaNieKierujeZapisu();
    void trybyPlikowPrzyUmask000_data();
    void trybyPlikowPrzyUmask000();
    void dialogZapisu();
    void pozostalosciPrzerwanychZapisow_data();
    void pozostalosciPrzerwanychZapisow();

    void zapisRaportuZOkna_data();
    void zapisRaportuZOkna();
    void anulowanieNicNieZmienia();
    void nadpisanieBezPytaniaIZapisPonowny();
    void nieudanyZapisZOkna_data();
    void nieudanyZapisZOkna();
    void zamkniecieZNieudanymZapisemZostawiaOkno();
    void katalogZapisuNiedostepny_data();
    void katalogZapisuNiedostepny();

private:
    QTemporaryDir katalog;
    std::unique_ptr<OknaTestowe> okna; // the program directory with the windows
    QList<Pudelko> pudelka;
    bool odpowiedzTak = true;
    // The save dialog: what it was offered, and the path it answers with.
    QString dialogKatalog, dialogNazwa, odpowiedzDialogu;
    int pokazaniaDialogu = 0;
};

void TestZapis::initTestCase()
{
    okna = std::make_unique<OknaTestowe>(
        [this](Komunikaty::Rodzaj rodzaj, const QString &tekst) {
            pudelka.append({rodzaj, tekst});
            return odpowiedzTak;
        },
        [this](const QString &k, const QString &n) {
            ++pokazaniaDialogu;
            dialogKatalog = k;
            dialogNazwa = n;
            return odpowiedzDialogu;
        });
    QVERIFY(okna->isValid());
}

void TestZapis::init()
{
    QVERIFY(katalog.isValid());
    pudelka.clear();
    odpowiedzTak = true;
    pokazaniaDialogu = 0;
    odpowiedzDialogu.clear();
    frmKonfiguracja->ediNazwa->setText(u"sala nr 2"_qs);
    frmKonfiguracja->ediKatalog->setText(katalog.path());
}

void TestZapis::cleanupTestCase()
{
    okna.reset();
}

void TestZapis::zapisBajtPoBajcie_data()
{
    QTest::addColumn<QByteArray>("dane");

    QTest::newRow("empty report gives an empty file") << QByteArray();
    QTest::newRow("no line break at the end") << QByteArray("Odwiedziny w dniu: 03/05/01\r\n12");
    QTest::newRow("NUL bytes") << QByteArray("a\0b\0\r\n", 6);
    QTest::newRow("Windows-1250 letters") << QByteArray("\xb9\xe6\xea\xb3\xf1\xf3\x9c\x9f\xbf\xa5");
    QTest::newRow("bare CR and LF") << QByteArray("a\rb\nc\r");
    QTest::newRow("looks like a byte-order mark") << QByteArray("\xef\xbb\xbfx");
}

void TestZapis::zapisBajtPoBajcie()
{
    QFETCH(QByteArray, dane);
    const QString sciezka = katalog.filePath(u"raport.txt"_qs);
    ZapiszRaport(sciezka, dane);
    QCOMPARE(Zawartosc(sciezka), dane);
}

namespace {

// Where a failure of the writer strikes.
enum Uklad {
    FolderBezPrawa,       // the folder refuses a new file (an ordinary user)
    FolderTylkoDoOdczytu, // a read-only mount, the file itself bind-mounted writable
    PelnyTmpfs,           // a small file system that fills up
    LimitRozmiaru,        // RLIMIT_FSIZE below the new content
    LimitWMiejscu,        // the same, in a read-only folder: room reserved first
    PlikZamontowany,      // a bind-mounted file: rename fails with EBUSY
    FolderDoWrzucania,    // a drop box (wx, not r): the folder cannot be opened for its sync
};

QString NazwaBledu(int kod)
{
    const char *nazwa = strerrorname_np(kod);
    return nazwa ? QString::fromLatin1(nazwa) : QString::number(kod);
}

// In the child: sets the row up around folder/plik.txt (holding "stara
// tresc"), writes, and says what became of the file: the failure's errno
// and step or OK, old or new content, same inode, files left beside it.
QString ZapiszWUkladzie(Uklad uklad, const QString &baza, int rozmiar)
{
    const QString folder = baza + QStringLiteral("/folder");
    const QString plik = folder + QStringLiteral("/plik.txt");
    const QByteArray f = QFile::encodeName(folder), p = QFile::encodeName(plik),
                     zrodlo = QFile::encodeName(baza + QStringLiteral("/zrodlo.txt"));
    const bool mount = uklad == FolderTylkoDoOdczytu || uklad == PelnyTmpfs ||
                       uklad == LimitWMiejscu || uklad == PlikZamontowany;
    if (mount && !WlasnePunktyMontowania())
        return QStringLiteral("SKIP");
    if (uklad == PelnyTmpfs) {
        if (::mount("tmpfs", f.constData(), "tmpfs", 0, "size=64k") != 0)
            return QStringLiteral("SKIP");
        QFile nowy(plik);
        if (!nowy.open(QIODevice::WriteOnly) || nowy.write("stara tresc") != 11)
            return QStringLiteral("cannot fill the tmpfs");
    }
    if (uklad == FolderTylkoDoOdczytu || uklad == LimitWMiejscu) {
        if (::mount(f.constData(), f.constData(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(nullptr, f.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) !=
                0)
            return QStringLiteral("SKIP");
    }
    if ((uklad == FolderTylkoDoOdczytu || uklad == LimitWMiejscu || uklad == PlikZamontowany) &&
        ::mount(zrodlo.constData(), p.constData(), nullptr, MS_BIND, nullptr) != 0)
        return QStringLiteral("SKIP");
    struct stat przed, po;
    ::stat(p.constData(), &przed);
    std::optional<LimitRozmiaruPliku> limit;
    if (uklad == LimitRozmiaru || uklad == LimitWMiejscu)
        limit.emplace(16, true);
    const QByteArray nowa(rozmiar, 'n');
    QString wynik = QStringLiteral("OK");
    bool syncfs = false;
    BezpiecznyZapis::UstawObserwatora([&](BezpiecznyZapis::Zdarzenie z, const QString &) {
        syncfs = syncfs || z == BezpiecznyZapis::Zdarzenie::SystemPlikowZsynchronizowany;
    });
    try {
        BezpiecznyZapis::Zapisz(plik, nowa);
    } catch (const EZapisPliku &e) {
        wynik = NazwaBledu(e.Kod()) + u' ' + BezpiecznyZapis::NazwaKroku(e.KrokBledu());
    }
    BezpiecznyZapis::UstawObserwatora({});
    if (syncfs)
        wynik += QStringLiteral(" syncfs");
    limit.reset();
    const QByteArray jest = Zawartosc(plik);
    wynik += jest == nowa            ? QStringLiteral("|nowa")
             : jest == "stara tresc" ? QStringLiteral("|stara")
                                     : QStringLiteral("|?");
    ::stat(p.constData(), &po);
    wynik += po.st_ino == przed.st_ino ? QStringLiteral("|ten sam|") : QStringLiteral("|nowy|");
    return wynik +
           QDir(folder)
               .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
               .join(u',');
}

// What is found under the report's name in the save folder.
enum Zawada {
    DowiazanieDoPliku,
    DowiazanieWiszace,
    Fifo,
    DowiazanieObcegoWeWspolnym,
    PlikObcegoWeWspolnym, // another user's 0666 file in a sticky folder open to all
};

} // namespace

void TestZapis::awariaZostawiaStaryLubCalyNowy_data()
{
    QTest::addColumn<int>("uklad");
    QTest::addColumn<int>("rozmiar");
    QTest::addColumn<QString>("wynik"); // errno and step | content | inode | files left

    // clang-format off
    QTest::newRow("folder without write permission: in place")
        << int(FolderBezPrawa) << 64 << u"OK|nowa|ten sam|plik.txt"_qs;
    QTest::newRow("read-only mount, writable file: in place")
        << int(FolderTylkoDoOdczytu) << 64 << u"OK|nowa|ten sam|plik.txt"_qs;
    QTest::newRow("small tmpfs fills up: old file kept")
        << int(PelnyTmpfs) << 256 * 1024 << u"ENOSPC write|stara|ten sam|plik.txt"_qs;
    QTest::newRow("file-size limit: old file kept")
        << int(LimitRozmiaru) << 4096 << u"EFBIG write|stara|ten sam|plik.txt"_qs;
    QTest::newRow("file-size limit in place: refused before the old content is touched")
        << int(LimitWMiejscu) << 4096 << u"EFBIG fallocate|stara|ten sam|plik.txt"_qs;
    QTest::newRow("bind-mounted file: in place")
        << int(PlikZamontowany) << 64 << u"OK|nowa|ten sam|plik.txt"_qs;
    // The folder cannot be listed either: nothing after the last bar.
    QTest::newRow("drop-box folder: replaced, its file system synced")
        << int(FolderDoWrzucania) << 64 << u"OK syncfs|nowa|nowy|"_qs;
    // clang-format on
}

void TestZapis::awariaZostawiaStaryLubCalyNowy()
{
    QFETCH(int, uklad);
    QFETCH(int, rozmiar);
    QFETCH(QString, wynik);
    // Reachable by the ordinary user the first row runs as.
    QTemporaryDir baza;
    QVERIFY(QFile::setPermissions(baza.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                   QFile::ExeOwner | QFile::ReadOther |
                                                   QFile::ExeOther));
    const QString folder = baza.filePath(u"folder"_qs);
    QVERIFY(QDir().mkpath(folder));
    Utworz(folder + u"/plik.txt"_qs, "stara tresc");
    Utworz(baza.filePath(u"zrodlo.txt"_qs), "stara tresc");
    const auto wszyscyPisza =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther;
    QVERIFY(QFile::setPermissions(folder + u"/plik.txt"_qs, wszyscyPisza));
    // The ordinary user writes a file of their own; another user's is never
    // written (podrzuconaNazwaNieKierujeZapisu).
    const bool jakoNobody = uklad == FolderBezPrawa || uklad == FolderDoWrzucania;
    if (jakoNobody && ::geteuid() == 0)
        QCOMPARE(::chown(QFile::encodeName(folder + u"/plik.txt"_qs).constData(), 65534, 65534), 0);
    if (uklad == FolderBezPrawa)
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner |
                                                  QFile::ReadOther | QFile::ExeOther));
    if (uklad == FolderDoWrzucania)
        QVERIFY(QFile::setPermissions(folder, QFile::WriteOwner | QFile::ExeOwner |
                                                  QFile::WriteOther | QFile::ExeOther));

    const WynikPotomka w = UruchomWPotomku(
        [&] { return ZapiszWUkladzie(Uklad(uklad), baza.path(), rozmiar); }, 5000, jakoNobody);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY2(w.ok, qPrintable(w.tekst));
    if (w.tekst == u"SKIP"_qs)
        QSKIP("needs root and a private mount namespace");
    QCOMPARE(w.tekst, wynik);
}

void TestZapis::podrzuconaNazwaNieKierujeZapisu_data()
{
    QTest::addColumn<int>("zawada");
    QTest::addColumn<bool>("wybrana");  // picked in the save dialog, else the "Zawsze" copy
    QTest::addColumn<QString>("wynik"); // the reason given | what the name leads to after

    const QString dowiazanie = u"pod tą nazwą jest dowiązanie"_qs;
    // clang-format off
    QTest::newRow("link to the user's file, Zawsze copy")
        << int(DowiazanieDoPliku) << false << dowiazanie + u"|moje dane"_qs;
    QTest::newRow("link to the user's file, picked: followed as an editor does")
        << int(DowiazanieDoPliku) << true << u"|raport"_qs;
    QTest::newRow("dangling link, Zawsze copy")
        << int(DowiazanieWiszace) << false << dowiazanie + u"|brak"_qs;
    QTest::newRow("FIFO without a reader, Zawsze copy")
        << int(Fifo) << false << u"„raport.txt” nie jest zwykłym plikiem|fifo"_qs;
    QTest::newRow("FIFO without a reader, picked")
        << int(Fifo) << true << u"nikt nie odbiera danych z %1|fifo"_qs;
    QTest::newRow("another user's link in a sticky shared folder, Zawsze copy")
        << int(DowiazanieObcegoWeWspolnym) << false << dowiazanie + u"|moje dane"_qs;
    QTest::newRow("another user's link in a sticky shared folder, picked")
        << int(DowiazanieObcegoWeWspolnym) << true
        << u"pod tą nazwą jest dowiązanie innego użytkownika we wspólnym folderze|moje dane"_qs;
    QTest::newRow("another user's 0666 file in a sticky shared folder, Zawsze copy")
        << int(PlikObcegoWeWspolnym) << false
        << u"plik należy do innego użytkownika (nobody)|cudzy"_qs;
    QTest::newRow("another user's 0666 file in a sticky shared folder, picked")
        << int(PlikObcegoWeWspolnym) << true
        << u"plik należy do innego użytkownika (nobody)|cudzy"_qs;
    // clang-format on
}

void TestZapis::podrzuconaNazwaNieKierujeZapisu()
{
    QFETCH(int, zawada);
    QFETCH(bool, wybrana);
    QFETCH(QString, wynik);
    const QString folder = katalog.filePath(u"wspolny"_qs);
    QVERIFY(QDir().mkpath(folder));
    const QString nazwa = folder + u"/raport.txt"_qs;
    const QString cel = katalog.filePath(u"moj.txt"_qs);
    QFile::remove(nazwa);
    QFile::remove(cel);
    if (zawada != DowiazanieWiszace)
        Utworz(cel, "moje dane");
    if (zawada == Fifo)
        QCOMPARE(::mkfifo(QFile::encodeName(nazwa).constData(), 0666), 0);
    else if (zawada == PlikObcegoWeWspolnym)
        Utworz(nazwa, "cudzy");
    else
        QVERIFY(QFile::link(cel, nazwa));
    if (zawada == PlikObcegoWeWspolnym) {
        // Root could replace it; the owner decides, not the permissions.
        if (::geteuid() != 0)
            QSKIP("giving a file to another user needs root");
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 01777), 0);
        QCOMPARE(::chown(QFile::encodeName(nazwa).constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(QFile::encodeName(nazwa).constData(), 0666), 0);
    }
    if (zawada == DowiazanieObcegoWeWspolnym) {
        if (::geteuid() != 0)
            QSKIP("giving a link to another user needs root");
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 01777), 0);
        QCOMPARE(::lchown(QFile::encodeName(nazwa).constData(), 65534, 65534), 0);
    }
    const QString zrodlo = katalog.filePath(u"zalacznik.txt"_qs);
    Utworz(zrodlo, "raport");

    const WynikPotomka w = UruchomWPotomku([&]() -> QString {
        QString powod;
        try {
            if (wybrana)
                ZapiszRaport(nazwa, "raport");
            else
                KopiujRaport(zrodlo, nazwa);
        } catch (const EZapisPliku &e) {
            powod = e.Powod();
        }
        const QFileInfo info(nazwa);
        QString po = QFileInfo::exists(cel) ? QString::fromUtf8(Zawartosc(cel)) : u"brak"_qs;
        if (zawada == Fifo)
            po = info.isFile() || info.isDir() || !info.exists() ? u"?"_qs : u"fifo"_qs;
        if (zawada == PlikObcegoWeWspolnym)
            po = info.ownerId() == 65534 ? QString::fromUtf8(Zawartosc(nazwa)) : u"?"_qs;
        return powod + u'|' + po;
    });
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    QVERIFY2(w.naCzas, "the save blocked");
    QVERIFY(w.ok);
    QCOMPARE(w.tekst, wynik.contains(u"%1"_qs) ? wynik.arg(nazwa) : wynik);
    if (!wybrana || zawada != DowiazanieDoPliku)
        QVERIFY(QFileInfo(nazwa).isSymLink() || zawada == Fifo ||
                zawada == PlikObcegoWeWspolnym); // left alone
}

void TestZapis::trybyPlikowPrzyUmask000_data()
{
    QTest::addColumn<QString>("plik");
    QTest::addColumn<QString>("tryby"); // octal, of the file and its folder

    QTest::newRow("new report: as the umask allows") << u"raport"_qs << u"666"_qs;
    QTest::newRow("replaced report keeps its mode") << u"stary raport"_qs << u"640"_qs;
    QTest::newRow("attachment and its send folder") << u"zalacznik"_qs << u"600 700"_qs;
    QTest::newRow("per-user copy of the settings") << u"kopia ustawien"_qs << u"600"_qs;
    QTest::newRow("per-user settings others could write") << u"ustawienia"_qs << u"644"_qs;
}

void TestZapis::trybyPlikowPrzyUmask000()
{
    QFETCH(QString, plik);
    QFETCH(QString, tryby);
    QTemporaryDir dom;
    // An installed copy: settings go to the per-user file.
    const QString program = dom.filePath(u"usr/bin/"_qs);
    QVERIFY(QDir().mkpath(program) && QDir().mkpath(dom.filePath(u"usr/share/vestibulomat"_qs)));
    Utworz(program + u"Vestibulomat.ini"_qs, "[konfig]\r\nobiekt=A\r\n");
    QCOMPARE(::chmod(QFile::encodeName(program + u"Vestibulomat.ini"_qs).constData(), 0666), 0);
    const QString wlasny = dom.filePath(u"config/Vestibulomat/Vestibulomat.ini"_qs);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dom.filePath(u"config"_qs)));
    const QString raport = dom.filePath(u"raport.txt"_qs);

    const mode_t umaska = ::umask(0);
    QString sciezka = raport, folder;
    if (plik == u"stary raport"_qs) {
        Utworz(raport, "old");
        ::chmod(QFile::encodeName(raport).constData(), 0640);
    }
    if (plik.contains(u"raport"_qs)) {
        ZapiszRaport(raport, "raport");
    } else if (plik == u"zalacznik"_qs) {
        folder = NowyKatalogWysylki(dom.filePath(u"temp"_qs));
        sciezka = ZapiszZalacznik(folder, u"a.txt"_qs, "raport");
    } else {
        if (plik == u"ustawienia"_qs) {
            QVERIFY(QDir().mkpath(QFileInfo(wlasny).absolutePath()));
            Utworz(wlasny, "[konfig]\r\n");
            ::chmod(QFile::encodeName(wlasny).constData(), 0666);
        }
        sciezka = PlikUstawienDoZapisu(program);
        ZapiszIni(sciezka, {u"konfig"_qs}, {u"obiekt"_qs}, {u"B"_qs});
    }
    ::umask(umaska);
    qunsetenv("XDG_CONFIG_HOME");

    const auto tryb = [](const QString &s) {
        struct stat st
        {
        };
        ::stat(QFile::encodeName(s).constData(), &st);
        return QString::number(st.st_mode & 07777, 8);
    };
    QCOMPARE(folder.isEmpty() ? tryb(sciezka) : tryb(sciezka) + u' ' + tryb(folder), tryby);
}

void TestZapis::dialogZapisu()
{
    Utworz(katalog.filePath(u"istniejacy.txt"_qs), "old");
    const auto dialog = std::make_unique<QFileDialog>();
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    PrzygotujDialogZapisu(dialog.get());
    dialog->setDirectory(katalog.path());
    dialog->selectFile(u"sala_1_2.txt"_qs);

    QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
    QCOMPARE(dialog->nameFilters(), QStringList{u"Pliki tekstowe (*.txt)"_qs});
    QCOMPARE(dialog->directory().absolutePath(), QDir(katalog.path()).absolutePath());
    QCOMPARE(dialog->selectedFiles(), QStringList{katalog.filePath(u"sala_1_2.txt"_qs)});

    // A name typed without an extension gets ".txt".
    dialog->open();
    dialog->selectFile(u"raport"_qs);
    static_cast<QDialog *>(dialog.get())->accept();
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(dialog->selectedFiles(), QStringList{katalog.filePath(u"raport.txt"_qs)});

    // An existing file is taken without an overwrite question (which would
    // leave the dialog open).
    dialog->open();
    dialog->selectFile(u"istniejacy.txt"_qs);
    static_cast<QDialog *>(dialog.get())->accept();
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->selectedFiles(), QStringList{katalog.filePath(u"istniejacy.txt"_qs)});
}

void TestZapis::zapisRaportuZOkna_data()
{
    QTest::addColumn<QByteArray>("raport");

    QTest::newRow("lines ending in CR LF") << QByteArray("Odwiedziny w dniu: 03/05/01\r\n7\r\n");
    QTest::newRow("no line break at the end") << QByteArray("Odwiedziny w dniu: 03/05/01\r\n7");
    QTest::newRow("NUL byte") << QByteArray("a\0b\r\n", 5);
    QTest::newRow("Windows-1250 letters") << QByteArray("Sala \xb9\xe6\xea\xb3\x9c\x9f\xbf\r\n");
    QTest::newRow("empty report") << QByteArray();
    QTest::newRow("bare CR and LF") << QByteArray("a\rb\nc\r");
}

void TestZapis::zapisRaportuZOkna()
{
    QFETCH(QByteArray, raport);
    UmiescRaport(raport);
    const QString sciezka = katalog.filePath(u"wybrany.txt"_qs);
    odpowiedzDialogu = sciezka;

    frmMain->tobZapisz->click();

    QCOMPARE(pokazaniaDialogu, 1);
    QCOMPARE(dialogKatalog, katalog.path());
    QCOMPARE(dialogNazwa, u"salaNr2_03-05-01_03-05-31.txt"_qs);
    QCOMPARE(Zawartosc(sciezka), raport);
    QVERIFY(!frmMain->NiezapisaneDane);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobZapisz), int(obrZapisany));
    QVERIFY(frmMain->tobZapisz->isEnabled());
    QVERIFY(pudelka.isEmpty());
}

void TestZapis::anulowanieNicNieZmienia()
{
    UmiescRaport("report");
    const QStringList przed = QDir(katalog.path()).entryList(QDir::Files);

    frmMain->tobZapisz->click();

    QCOMPARE(pokazaniaDialogu, 1);
    QCOMPARE(QDir(katalog.path()).entryList(QDir::Files), przed);
    QVERIFY(frmMain->NiezapisaneDane);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobZapisz), int(obrZapisz));
    QVERIFY(pudelka.isEmpty());
}

void TestZapis::nadpisanieBezPytaniaIZapisPonowny()
{
    UmiescRaport("new report");
    const QString pierwszy = katalog.filePath(u"istniejacy.txt"_qs);
    Utworz(pierwszy, "an old and longer report");
    odpowiedzDialogu = pierwszy;
    frmMain->tobZapisz->click();
    QCOMPARE(Zawartosc(pierwszy), QByteArray("new report"));
    QVERIFY(pudelka.isEmpty()); // no overwrite question

    // Saved again under another name: both files, the flag stays cleared.
    const QString drugi = katalog.filePath(u"drugi.txt"_qs);
    odpowiedzDialogu = drugi;
    frmMain->tobZapisz->click();
    QCOMPARE(Zawartosc(drugi), QByteArray("new report"));
    QCOMPARE(Zawartosc(pierwszy), QByteArray("new report"));
    QVERIFY(!frmMain->NiezapisaneDane);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobZapisz), int(obrZapisany));
}

void TestZapis::nieudanyZapisZOkna_data()
{
    QTest::addColumn<QString>("cel");
    QTest::addColumn<bool>("limitRozmiaru");
    QTest::addColumn<QString>("blad");       // "…": the system's description of the error
    QTest::addColumn<QString>("szczegoly");  // the errno name in the box's details
    QTest::addColumn<QString>("dowiazanie"); // cel is made a link to this, in the folder
    QTest::addColumn<bool>("obcy");          // cel is another user's 0666 file in a sticky folder

    const auto nieMozna = [this](const QString &cel, const QString &reszta) -> QString {
        return u"Nie można utworzyć pliku \""_qs + katalog.filePath(cel) + u"\": "_qs + reszta;
    };
    const QString dlugaNazwa = QString(300, u'n') + u".txt"_qs;
    QTest::newRow("device that is full") << u"/dev/full"_qs << false
                                         << u"Nie udało się zapisać pliku \"/dev/full\": …. "
                                            "Zwolnij miejsce na dysku lub wybierz inny folder."_qs
                                         << u"ENOSPC"_qs << QString() << false;
    QTest::newRow("directory that is a file")
        << u"stary.txt/raport.txt"_qs << false
        << nieMozna(u"stary.txt/raport.txt"_qs, u"…. Wybierz istniejący folder."_qs)
        << u"ENOTDIR"_qs << QString() << false;
    QTest::newRow("missing directory")
        << u"brak/raport.txt"_qs << false
        << nieMozna(u"brak/raport.txt"_qs, u"…. Wybierz istniejący folder."_qs) << u"ENOENT"_qs
        << QString() << false;
    QTest::newRow("name of a directory")
        << u"okno"_qs << false << nieMozna(u"okno"_qs, u"…. Wybierz inną nazwę pliku."_qs)
        << u"EISDIR"_qs << QString() << false;
    QTest::newRow("file name too long")
        << dlugaNazwa << false << nieMozna(dlugaNazwa, u"…. Wybierz krótszą nazwę pliku."_qs)
        << u"ENAMETOOLONG"_qs << QString() << false;
    QTest::newRow("size limit reached over an existing file")
        << u"stary.txt"_qs << true
        << u"Nie udało się zapisać pliku \""_qs + katalog.filePath(u"stary.txt"_qs) +
               u"\": …. Zwolnij miejsce na dysku lub wybierz inny folder."_qs
        << u"EFBIG"_qs << QString() << false;
    // The user reads the name picked; where it failed is in the details.
    QTest::newRow("picked link into a missing directory")
        << u"dowiazanie.txt"_qs << false
        << nieMozna(u"dowiazanie.txt"_qs, u"…. Wybierz istniejący folder."_qs)
        << u"open "_qs + katalog.filePath(u"brak/raport.txt"_qs) + u": errno 2: ENOENT"_qs
        << u"brak/raport.txt"_qs << false;
    // Root could replace it and an ordinary user could rewrite it in place:
    // neither happens, and the user learns whose it is.
    QTest::newRow("another user's 0666 file in a sticky shared folder")
        << u"stary.txt"_qs << false
        << u"Plik „"_qs + katalog.filePath(u"stary.txt"_qs) +
               u"” należy do innego użytkownika (nobody) i nie może zostać zastąpiony. Zapisz "
               "raport pod inną nazwą."_qs
        << u"owner uid 65534"_qs << QString() << true;
}

void TestZapis::nieudanyZapisZOkna()
{
    QFETCH(QString, cel);
    QFETCH(bool, limitRozmiaru);
    QFETCH(QString, blad);
    QFETCH(QString, szczegoly);
    QFETCH(QString, dowiazanie);
    QFETCH(bool, obcy);
    if (obcy && ::geteuid() != 0)
        QSKIP("a file of another user's needs root");
    QVERIFY(QDir(katalog.path()).mkpath(u"okno"_qs));
    if (!dowiazanie.isEmpty())
        QVERIFY(QFile::link(katalog.filePath(dowiazanie), katalog.filePath(cel)));
    const auto bezDowiazania = qScopeGuard([&] {
        if (!dowiazanie.isEmpty())
            QFile::remove(katalog.filePath(cel));
    });
    const QString stary = katalog.filePath(u"stary.txt"_qs);
    Utworz(stary, "old");
    const QByteArray folder = QFile::encodeName(katalog.path());
    const auto bezWspolnego = qScopeGuard([&] {
        ::chmod(folder.constData(), 0700);
        ::chown(QFile::encodeName(stary).constData(), ::geteuid(), ::getegid());
    });
    if (obcy) {
        QCOMPARE(::chmod(folder.constData(), 01777), 0);
        QCOMPARE(::chown(QFile::encodeName(stary).constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(QFile::encodeName(stary).constData(), 0666), 0);
    }
    UmiescRaport(QByteArray(4096, 'r'));
    odpowiedzDialogu = cel.startsWith(u'/') ? cel : katalog.filePath(cel);
    const QStringList przed = QDir(katalog.path()).entryList(QDir::AllEntries);

    {
        std::optional<LimitRozmiaruPliku> limit;
        if (limitRozmiaru)
            limit.emplace(16, true);
        frmMain->tobZapisz->click();
    }

    QCOMPARE(pudelka.size(), 1);
    QCOMPARE(pudelka.at(0).rodzaj, Komunikaty::Rodzaj::Blad);
    QVERIFY2(ZgodnyZWzorem(pudelka.at(0).tekst, blad), qPrintable(pudelka.at(0).tekst));
    QVERIFY2(OstatnieSzczegoly().contains(szczegoly), qPrintable(OstatnieSzczegoly()));
    QVERIFY(frmMain->NiezapisaneDane);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobZapisz), int(obrZapisz));
    // The old file is intact and no half-written sibling is left behind.
    QCOMPARE(Zawartosc(stary), QByteArray("old"));
    QCOMPARE(QDir(katalog.path()).entryList(QDir::AllEntries), przed);
}

void TestZapis::zamkniecieZNieudanymZapisemZostawiaOkno()
{
    UmiescRaport("report");
    odpowiedzDialogu = u"/dev/full"_qs;

    QVERIFY(!frmMain->close());

    QCOMPARE(pudelka.size(), 2);
    QCOMPARE(pudelka.at(0).rodzaj, Komunikaty::Rodzaj::Pytanie);
    QVERIFY2(ZgodnyZWzorem(pudelka.at(1).tekst,
                           u"Nie udało się zapisać pliku \"/dev/full\": …. "
                           "Zwolnij miejsce na dysku lub wybierz inny folder."_qs),
             qPrintable(pudelka.at(1).tekst));
    QVERIFY(OstatnieSzczegoly().contains(u"ENOSPC"_qs));
    QVERIFY(frmMain->NiezapisaneDane);
}

void TestZapis::katalogZapisuNiedostepny_data()
{
    QTest::addColumn<QString>("nazwa");
    QTest::addColumn<QString>("tekst");
    QTest::addColumn<QString>("blad");

    const QString dalej = u" Wybierz inny katalog w oknie zapisu, a na stałe zmień go w oknie "
                          "Konfiguracja, na karcie „Zapisywanie”."_qs;
    QTest::newRow("missing folder")
        << u"brak/"_qs << u"Katalog zapisu %1 nie istnieje."_qs + dalej << u"ENOENT"_qs;
    QTest::newRow("a file, not a folder")
        << u"plik.txt"_qs << u"Katalog zapisu %1 nie jest katalogiem."_qs + dalej << u"ENOTDIR"_qs;
    QTest::newRow("folder without write permission")
        << u"zamkniety"_qs << u"Nie można zapisywać w katalogu zapisu %1: …."_qs + dalej
        << u"EACCES"_qs;
}

void TestZapis::katalogZapisuNiedostepny()
{
    QFETCH(QString, nazwa);
    QFETCH(QString, tekst);
    QFETCH(QString, blad);
    if (blad == u"EACCES"_qs && geteuid() == 0)
        QSKIP("root may write into any folder");
    Utworz(katalog.filePath(u"plik.txt"_qs), "x");
    QVERIFY(QDir(katalog.path()).mkpath(u"zamkniety"_qs));
    QVERIFY(QFile::setPermissions(katalog.filePath(u"zamkniety"_qs),
                                  QFile::ReadOwner | QFile::ExeOwner));
    const QString skonfigurowany = katalog.filePath(nazwa);
    frmKonfiguracja->ediKatalog->setText(skonfigurowany);
    UmiescRaport("report");
    const QString sciezka = katalog.filePath(u"wybrany.txt"_qs);
    odpowiedzDialogu = sciezka;

    frmMain->tobZapisz->click();

    QFile::setPermissions(katalog.filePath(u"zamkniety"_qs),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // The box names the folder before the dialog, which starts in the
    // default save folder (a portable copy: the program's own folder); the
    // report can still be saved wherever the user picks.
    QCOMPARE(pudelka.size(), 1);
    QCOMPARE(pudelka.at(0).rodzaj, Komunikaty::Rodzaj::Blad);
    QVERIFY2(ZgodnyZWzorem(pudelka.at(0).tekst, tekst.arg(skonfigurowany)),
             qPrintable(pudelka.at(0).tekst));
    QVERIFY2(OstatnieSzczegoly().contains(blad), qPrintable(OstatnieSzczegoly()));
    QCOMPARE(pokazaniaDialogu, 1);
    QCOMPARE(dialogKatalog, okna->path() + u'/');
    QCOMPARE(Zawartosc(sciezka), QByteArray("report"));
    QVERIFY(!frmMain->NiezapisaneDane);
    QCOMPARE(frmKonfiguracja->ediKatalog->text(), skonfigurowany);
}

namespace {

enum RodzajPozostalosci { ZwyklyPlik, Dowiazanie, Folder };

} // namespace

void TestZapis::pozostalosciPrzerwanychZapisow_data()
{
    QTest::addColumn<QString>("nazwa");
    QTest::addColumn<int>("rodzaj");
    QTest::addColumn<int>("wiek"); // seconds since its last change
    QTest::addColumn<bool>("cudzy");
    QTest::addColumn<bool>("usuniety");

    const QString nasz = u".sala_2026-12-01_2026-12-03.txt.187an8p.tmp"_qs;
    const int dwieGodziny = 2 * 3600;
    // clang-format off
    QTest::newRow("ours, two hours old: removed")
        << nasz << int(ZwyklyPlik) << dwieGodziny << false << true;
    QTest::newRow("ours, of the settings file: removed")
        << u".Vestibulomat.ini.0.tmp"_qs << int(ZwyklyPlik) << dwieGodziny << false << true;
    QTest::newRow("ours, ten minutes old: kept for a copy that may still write it")
        << nasz << int(ZwyklyPlik) << 600 << false << false;
    QTest::newRow("another user's under our name: kept")
        << nasz << int(ZwyklyPlik) << dwieGodziny << true << false;
    QTest::newRow("a link under our name: kept, not followed")
        << nasz << int(Dowiazanie) << dwieGodziny << false << false;
    QTest::newRow("a folder under our name: kept")
        << nasz << int(Folder) << dwieGodziny << false << false;
    QTest::newRow("another program's hidden file: kept")
        << u".notatki.tmp"_qs << int(ZwyklyPlik) << dwieGodziny << false << false;
    QTest::newRow("no name before the random part: kept")
        << u"..187an8p.tmp"_qs << int(ZwyklyPlik) << dwieGodziny << false << false;
    QTest::newRow("random part longer than ours: kept")
        << u".sala.txt.187an8p0.tmp"_qs << int(ZwyklyPlik) << dwieGodziny << false << false;
    QTest::newRow("capital letters in the random part: kept")
        << u".sala.txt.187AN8P.tmp"_qs << int(ZwyklyPlik) << dwieGodziny << false << false;
    QTest::newRow("not hidden: kept")
        << u"sala.txt.187an8p.tmp"_qs << int(ZwyklyPlik) << dwieGodziny << false << false;
    // clang-format on
}

void TestZapis::pozostalosciPrzerwanychZapisow()
{
    QFETCH(QString, nazwa);
    QFETCH(int, rodzaj);
    QFETCH(int, wiek);
    QFETCH(bool, cudzy);
    QFETCH(bool, usuniety);
    if (cudzy && geteuid() != 0)
        QSKIP("needs root to leave a file of another user");
    QTemporaryDir baza;
    const QString folder = baza.filePath(u"raporty"_qs);
    QVERIFY(QDir().mkpath(folder));
    const QString pozostalosc = folder + u'/' + nazwa;
    const QString cel = baza.filePath(u"cel.txt"_qs);
    Utworz(cel, "cel");
    if (rodzaj == ZwyklyPlik)
        Utworz(pozostalosc, "przerwany zapis");
    else if (rodzaj == Dowiazanie)
        QVERIFY(QFile::link(cel, pozostalosc));
    else
        QVERIFY(QDir().mkpath(pozostalosc));
    const QByteArray p = QFile::encodeName(pozostalosc);
    if (cudzy)
        QCOMPARE(::lchown(p.constData(), 4321, 4321), 0);
    const timespec t{::time(nullptr) - wiek, 0};
    const timespec czasy[2] = {t, t};
    QCOMPARE(::utimensat(AT_FDCWD, p.constData(), czasy, AT_SYMLINK_NOFOLLOW), 0);

    // Any save into the folder, of any file.
    ZapiszRaport(folder + u"/inny.txt"_qs, "raport");

    struct stat st;
    QCOMPARE(::lstat(p.constData(), &st) != 0, usuniety);
    QCOMPARE(Zawartosc(cel), QByteArray("cel"));
    QCOMPARE(Zawartosc(folder + u"/inny.txt"_qs), QByteArray("raport"));
}

QTEST_MAIN(TestZapis)
#include "tst_zapis.moc"
