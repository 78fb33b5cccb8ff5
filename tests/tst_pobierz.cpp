// "vestibulomat --pobierz" as a timer runs it: a portable copy of the
// program with its own settings file, started as a child process without a
// display, against the device simulator.

#include "BezOkna.h"
#include "CPort.h"
#include "Dziennik.h"
#include "MagistralaTestowa.h"
#include "Potomek.h"
#include "Przebiegi.h"
#include "Symulator.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kLimitMs = 60000;

// A report with two day lines, Windows-1250 letters, a NUL and a bare CR.
const QByteArray kRaport = QByteArrayLiteral("Licznik odwiedzin - obiekt: Sala g\xB3\xF3wna\r\n"
                                             "Odwiedziny w dniu: 2026/12/01\r\n"
                                             "  08:00-09:00     25\r\n"
                                             "\0\r"
                                             "Odwiedziny w dniu: 2026/12/03\r\n"
                                             "Razem odwiedzin: 25\r\n");

// What lies under the report's name before the download.
enum class Pod {
    Nic,
    TenSamRaport,
    InnyRaport,
    Dowiazanie,
    Rzadki,       // a 3 GB sparse file, with the run's memory limited
    TenSamObcego, // the same report, another user's 0666 file in a sticky shared folder
};

// Address space for the run with the sparse file: far more than the program
// needs, far less than reading the file whole would take.
constexpr qint64 kPamiec = qint64(1) << 30;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizer = true; // reserves terabytes of shadow memory up front
#else
constexpr bool kSanitizer = false;
#endif

using Wynik = WynikBezOkna;

} // namespace

Q_DECLARE_METATYPE(Pod)

class TstPobierz : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void pobieranie_data();
    void pobieranie();
    void argumenty_data();
    void argumenty();
    void pelnyDysk_data();
    void pelnyDysk();
    void bezKonca_data();
    void bezKonca();
    void udzialNiezamontowany();

private:
    // The settings file beside the copy; obiekt as Windows-1250 bytes.
    void ZapiszUstawienia(const QByteArray &obiekt, const QString &katalog, const QString &port,
                          bool synchro);
    // sygnalPoMs: SIGTERM that long after the start; magistrala: the
    // session bus the run sees (none when empty); pamiec: an address-space
    // limit in bytes (0: none).
    Wynik Uruchom(const QStringList &argumenty, int sygnalPoMs = 0,
                  const QString &magistrala = QString(), qint64 pamiec = 0);
    QStringList Dzienniki() const;

    QTemporaryDir m_tmp;
    QString m_program;
    QString m_raporty;
};

void TstPobierz::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    m_program = KopiaProgramu(m_tmp.path());
    QVERIFY2(!m_program.isEmpty(), qPrintable(Symulator::Program()));
}

void TstPobierz::init()
{
    // Every row starts with no reports and no journal.
    for (const char *katalog : {"raporty", "stan", "dom"})
        QVERIFY(QDir(m_tmp.filePath(QLatin1String(katalog))).removeRecursively());
    m_raporty = m_tmp.filePath(QStringLiteral("raporty"));
    QVERIFY(QDir().mkpath(m_raporty));
}

void TstPobierz::ZapiszUstawienia(const QByteArray &obiekt, const QString &katalog,
                                  const QString &port, bool synchro)
{
    QFile ini(m_tmp.filePath(QStringLiteral("bin/Vestibulomat.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write("[konfig]\r\nobiekt=" + obiekt + "\r\nkatalog=" + QFile::encodeName(katalog) +
              "\r\nport=" + QFile::encodeName(port) +
              "\r\nsynchro=" + (synchro ? "True" : "False") + "\r\n");
}

Wynik TstPobierz::Uruchom(const QStringList &argumenty, int sygnalPoMs, const QString &magistrala,
                          qint64 pamiec)
{
    UruchomienieBezOkna u;
    u.program = m_program;
    u.korzen = m_tmp.path();
    u.argumenty = argumenty;
    u.magistrala = magistrala;
    u.sygnalPoMs = sygnalPoMs;
    u.pamiec = pamiec;
    u.limitMs = kLimitMs;
    return UruchomBezOkna(u);
}

QStringList TstPobierz::Dzienniki() const
{
    return DziennikiBezOkna(m_tmp.path());
}

void TstPobierz::pobieranie_data()
{
    QTest::addColumn<QStringList>("opcjeSymulatora");
    QTest::addColumn<Pod>("pod");
    QTest::addColumn<bool>("portZajety");
    QTest::addColumn<bool>("folderZly");
    QTest::addColumn<int>("kod");
    QTest::addColumn<QString>("zapisany");      // the file the path on stdout names
    QTest::addColumn<QByteArray>("wDzienniku"); // what the journal left holds; empty: none
    QTest::addColumn<bool>("staryDziennik");    // an earlier run left a journal for the window

    const QString nazwa = QStringLiteral("SalaGłówna_2026-12-01_2026-12-03.txt");
    const QStringList zwykle;
    const QByteArray brak;
    QTest::newRow("saved byte for byte")
        << zwykle << Pod::Nic << false << false << 0 << nazwa << brak << false;
    QTest::newRow("same report already there")
        << zwykle << Pod::TenSamRaport << false << false << 0 << nazwa << brak << false;
    QTest::newRow("another report under the name")
        << zwykle << Pod::InnyRaport << false << false << 0
        << QStringLiteral("SalaGłówna_2026-12-01_2026-12-03 (2).txt") << brak << false;
    QTest::newRow("a link under the name is not followed")
        << zwykle << Pod::Dowiazanie << false << false << 0
        << QStringLiteral("SalaGłówna_2026-12-01_2026-12-03 (2).txt") << brak << false;
    QTest::newRow("a 3 GB sparse file under the name costs a look, under a memory limit")
        << zwykle << Pod::Rzadki << false << false << 0
        << QStringLiteral("SalaGłówna_2026-12-01_2026-12-03 (2).txt") << brak << false;
    QTest::newRow("another user's copy in a sticky shared folder is not taken for a save")
        << zwykle << Pod::TenSamObcego << false << false << 0
        << QStringLiteral("SalaGłówna_2026-12-01_2026-12-03 (2).txt") << brak << false;
    QTest::newRow("an earlier journal stays for the window")
        << zwykle << Pod::Nic << false << false << 0 << nazwa << brak << true;
    QTest::newRow("no answer") << QStringList{QStringLiteral("--silent")} << Pod::Nic << false
                               << false << 2 << QString() << brak << false;
    QTest::newRow("busy port") << zwykle << Pod::Nic << true << false << 3 << QString() << brak
                               << false;
    QTest::newRow("a folder that cannot be written is refused before the device is polled")
        << zwykle << Pod::Nic << false << true << 4 << QString() << brak << false;
    QTest::newRow("device lost in the middle")
        << QStringList{QStringLiteral("--drop-after"), QStringLiteral("40")} << Pod::Nic << false
        << false << 3 << QString() << kRaport.left(40) << false;
}

void TstPobierz::pobieranie()
{
    QFETCH(QStringList, opcjeSymulatora);
    QFETCH(Pod, pod);
    QFETCH(bool, portZajety);
    QFETCH(bool, folderZly);
    QFETCH(int, kod);
    QFETCH(QString, zapisany);
    QFETCH(QByteArray, wDzienniku);
    QFETCH(bool, staryDziennik);

    QFile raport(m_tmp.filePath(QStringLiteral("raport.bin")));
    QVERIFY(raport.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(raport.write(kRaport), kRaport.size());
    raport.close();
    Symulator sim(QStringList{QStringLiteral("--report"), raport.fileName(),
                              QStringLiteral("--quiet"), QStringLiteral("0")} +
                  opcjeSymulatora);
    QVERIFY2(sim.Ok(), qPrintable(sim.Blad()));

    // The object name as the settings file of a Windows copy holds it.
    ZapiszUstawienia(QByteArrayLiteral("Sala G\xB3\xF3wna"), m_raporty, sim.Port(), true);

    const QString naNazwie = m_raporty + QStringLiteral("/SalaGłówna_2026-12-01_2026-12-03.txt");
    const QString celDowiazania = m_tmp.filePath(QStringLiteral("cel-dowiazania"));
    QFile::remove(celDowiazania);
    const QByteArray innyRaport = QByteArrayLiteral("Odwiedziny w dniu: inny\r\n");
    if (pod == Pod::TenSamRaport || pod == Pod::InnyRaport) {
        QFile f(naNazwie);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(pod == Pod::TenSamRaport ? kRaport : innyRaport);
    } else if (pod == Pod::Dowiazanie) {
        QVERIFY(QFile::link(celDowiazania, naNazwie));
    } else if (pod == Pod::Rzadki) {
        QFile f(naNazwie);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(qint64(3) << 30));
    } else if (pod == Pod::TenSamObcego) {
        if (::geteuid() != 0)
            QSKIP("a file of another user's needs root");
        QFile f(naNazwie);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kRaport);
        f.close();
        const QByteArray n = QFile::encodeName(naNazwie);
        QCOMPARE(::chmod(QFile::encodeName(m_raporty).constData(), 01777), 0);
        QCOMPARE(::chown(n.constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(n.constData(), 0666), 0);
    }

    const QByteArray stary = QByteArrayLiteral("stary raport");
    if (staryDziennik) {
        QVERIFY(QDir().mkpath(m_tmp.filePath(QStringLiteral("stan/Vestibulomat"))));
        QFile d(m_tmp.filePath(QStringLiteral("stan/Vestibulomat/raport-1.dziennik")));
        QVERIFY(d.open(QIODevice::WriteOnly));
        d.write(ZapiszNaglowek({QStringLiteral("Sala"), sim.Port(), QDateTime::currentDateTime()}) +
                stary);
    }

    TComPort okno; // another program holding the port
    if (portZajety) {
        okno.SetPort(sim.Port());
        okno.SetConnected(true);
        QVERIFY(okno.Connected());
    }

    QStringList argumenty{QStringLiteral("--pobierz"), QStringLiteral("--czekaj"),
                          QStringLiteral("2")};
    if (folderZly) // a folder under a plain file: refused even to root
        argumenty << QStringLiteral("--katalog") << raport.fileName() + QStringLiteral("/x");
    const Wynik w =
        Uruchom(argumenty, 0, QString(), pod == Pod::Rzadki && !kSanitizer ? kPamiec : 0);
    QVERIFY2(w.kod == kod, w.bledy.constData());

    if (zapisany.isEmpty()) {
        QVERIFY(w.wyjscie.isEmpty());
        QVERIFY(QDir(m_raporty).entryList(QDir::Files | QDir::System).isEmpty());
    } else {
        const QString sciezka = m_raporty + u'/' + zapisany;
        QCOMPARE(QString::fromUtf8(w.wyjscie), sciezka + u'\n');
        QFile f(sciezka);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), kRaport);
        // Nothing that was there before is changed, and no link is followed.
        if (pod == Pod::InnyRaport || pod == Pod::TenSamObcego) {
            QFile stary(naNazwie);
            QVERIFY(stary.open(QIODevice::ReadOnly));
            QCOMPARE(stary.readAll(), pod == Pod::InnyRaport ? innyRaport : kRaport);
        }
        if (pod == Pod::Rzadki)
            QCOMPARE(QFileInfo(naNazwie).size(), qint64(3) << 30);
        if (pod == Pod::TenSamObcego)
            QCOMPARE(QFileInfo(sciezka).ownerId(), ::geteuid()); // the saved copy is the user's
        QVERIFY(!QFileInfo::exists(celDowiazania));
        QVERIFY2(sim.Linia(kLimitMs).startsWith("CLOCK Z"), "no clock command before the poll");
    }
    if (portZajety)
        QVERIFY2(w.bledy.contains("EBUSY"), w.bledy.constData());

    // What was received and not saved waits in the journal for the window.
    QStringList dzienniki = Dzienniki();
    if (staryDziennik) {
        QCOMPARE(dzienniki.size(), 1);
        QFile d(dzienniki.takeFirst());
        QVERIFY(d.open(QIODevice::ReadOnly));
        QCOMPARE(CzytajDziennik(d.readAll(), QDateTime::currentDateTime()).bajty, stary);
    }
    QCOMPARE(dzienniki.size(), wDzienniku.isEmpty() ? 0 : 1);
    if (!wDzienniku.isEmpty()) {
        QFile d(dzienniki.constFirst());
        QVERIFY(d.open(QIODevice::ReadOnly));
        QCOMPARE(CzytajDziennik(d.readAll(), QDateTime::currentDateTime()).bajty, wDzienniku);
    }
    // Every message is a line of its own.
    for (const QByteArray &linia : w.bledy.split('\n'))
        QVERIFY(!linia.contains('\r'));
}

namespace {

// Fills the file system under folder, leaving zostaw bytes free.
bool Wypelnij(const QString &folder, off_t zostaw)
{
    const QByteArray nazwa = QFile::encodeName(folder + QStringLiteral("/wypelnienie"));
    const int fd = ::open(nazwa.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const QByteArray blok(4096, 'x');
    off_t razem = 0;
    ssize_t n;
    while ((n = ::write(fd, blok.constData(), std::size_t(blok.size()))) > 0)
        razem += n;
    const bool pelny = n < 0 && errno == ENOSPC;
    const bool ok = pelny && ::ftruncate(fd, std::max<off_t>(0, razem - zostaw)) == 0;
    ::close(fd);
    return ok;
}

} // namespace

void TstPobierz::pelnyDysk_data()
{
    QTest::addColumn<bool>("stanPelny"); // else only the save folder is full
    QTest::addColumn<off_t>("wolne");    // bytes left free
    QTest::addColumn<int>("uruchomienia");
    QTest::addColumn<QString>("skutek");   // the message's end
    QTest::addColumn<QString>("dziennik"); // what each run leaves: "dziennik", "niepelny", ""

    QTest::newRow("ten runs into a full save folder leave ten whole journals")
        << false << off_t(0) << 10
        << QStringLiteral("Odebrany raport czeka w dzienniku odbioru: okno programu zaproponuje "
                          "go przy następnym uruchomieniu.")
        << QStringLiteral("dziennik");
    QTest::newRow("state folder almost full: the journal holds a part, marked")
        << true << off_t(4096) << 1
        << QStringLiteral(
               "Raport nie został zapisany, a dziennik odbioru zawiera tylko jego część.")
        << QStringLiteral("niepelny");
    QTest::newRow("state folder full: no journal, none claimed")
        << true << off_t(0) << 1
        << QStringLiteral("Raport nie został zapisany, a dziennika odbioru nie udało się "
                          "zapisać: raport przepadł.")
        << QString();
}

void TstPobierz::pelnyDysk()
{
    QFETCH(bool, stanPelny);
    QFETCH(off_t, wolne);
    QFETCH(int, uruchomienia);
    QFETCH(QString, skutek);
    QFETCH(QString, dziennik);
    // A full disk fails a write even for root, as permission bits would not.
    if (!WlasnePunktyMontowania())
        QSKIP("needs root and a private mount namespace for a small tmpfs");
    const QString punkt = stanPelny ? m_tmp.filePath(QStringLiteral("stan")) : m_raporty;
    QVERIFY(QDir().mkpath(punkt));
    QCOMPARE(::mount("tmpfs", QFile::encodeName(punkt).constData(), "tmpfs", 0, "size=64k"), 0);
    const auto odmontuj = qScopeGuard([&] { ::umount2(QFile::encodeName(punkt).constData(), 0); });
    const QString raporty = stanPelny ? punkt + QStringLiteral("/raporty") : m_raporty;
    QVERIFY(QDir().mkpath(raporty));
    QVERIFY(QDir().mkpath(m_tmp.filePath(QStringLiteral("stan/Vestibulomat"))));

    // Larger than the room left, so that the journal cannot hold all of it.
    QByteArray duzy = kRaport;
    for (int i = 0; i < 600; ++i)
        duzy += "  08:00-09:00     25\r\n";
    QFile raport(m_tmp.filePath(QStringLiteral("raport.bin")));
    QVERIFY(raport.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(raport.write(duzy), duzy.size());
    raport.close();
    QVERIFY(Wypelnij(punkt, wolne));

    for (int i = 0; i < uruchomienia; ++i) {
        Symulator sim({QStringLiteral("--report"), raport.fileName(), QStringLiteral("--quiet"),
                       QStringLiteral("0")});
        QVERIFY2(sim.Ok(), qPrintable(sim.Blad()));
        ZapiszUstawienia(QByteArrayLiteral("Sala"), raporty, sim.Port(), false);
        const Wynik w =
            Uruchom({QStringLiteral("--pobierz"), QStringLiteral("--czekaj"), QStringLiteral("2")});
        QVERIFY2(w.kod == 4, w.bledy.constData());
        // The message's line, then the technical one.
        const QString bledy = QString::fromUtf8(w.bledy);
        QVERIFY2(bledy.contains(skutek + u'\n'), qPrintable(bledy));
        QVERIFY2(skutek.contains(QStringLiteral("czeka")) ||
                     !bledy.contains(QStringLiteral("czeka")),
                 qPrintable(bledy));
    }

    const QDir stan(m_tmp.filePath(QStringLiteral("stan/Vestibulomat")));
    const QStringList pliki =
        stan.entryList({QStringLiteral("raport-*")}, QDir::Files | QDir::Hidden | QDir::System);
    const QStringList dzienniki =
        pliki.filter(QRegularExpression(QStringLiteral("\\.(dziennik|niepelny)$")));
    QCOMPARE(dzienniki.size(), dziennik.isEmpty() ? 0 : uruchomienia);
    // Each journal keeps its lock file, and nothing else is left.
    QCOMPARE(pliki.size(), 2 * dzienniki.size());
    for (const QString &nazwa : dzienniki) {
        QVERIFY2(nazwa.endsWith(u'.' + dziennik), qPrintable(nazwa));
        QFile d(stan.filePath(nazwa));
        QVERIFY(d.open(QIODevice::ReadOnly));
        const QByteArray bajty = CzytajDziennik(d.readAll(), QDateTime::currentDateTime()).bajty;
        if (dziennik == QStringLiteral("dziennik"))
            QCOMPARE(bajty, duzy);
        else
            QVERIFY(bajty.size() < duzy.size() && duzy.startsWith(bajty));
    }
}

void TstPobierz::bezKonca_data()
{
    QTest::addColumn<QStringList>("opcjeSymulatora");
    QTest::addColumn<QStringList>("argumenty"); // after --pobierz --czekaj 2
    QTest::addColumn<bool>("ustawieniaFifo");
    QTest::addColumn<int>("sygnalPoMs");
    QTest::addColumn<int>("kod");
    QTest::addColumn<QString>("komunikat"); // a part of stderr
    QTest::addColumn<qint64>("wDzienniku"); // report bytes kept; -1: no journal, 0: some
    QTest::addColumn<int>("powiadomienia"); // Notify calls on the session bus

    const QStringList co100ms{QStringLiteral("--days"),  QStringLiteral("100000"),
                              QStringLiteral("--chunk"), QStringLiteral("20"),
                              QStringLiteral("--gap"),   QStringLiteral("100")};
    QTest::newRow("a line every 100 ms is ended by the run's time limit")
        << co100ms << QStringList{QStringLiteral("--najdluzej"), QStringLiteral("3")} << false << 0
        << 5 << QStringLiteral("nie zakończył raportu w ciągu 3 s (--najdluzej)") << qint64(0) << 1;
    QTest::newRow("a flood is cut at 64 MiB")
        << QStringList{QStringLiteral("--size-mb"), QStringLiteral("80"), QStringLiteral("--chunk"),
                       QStringLiteral("65536")}
        << QStringList() << false << 0 << 5
        << QStringLiteral(
               "Licznik przysłał więcej niż 64 MiB danych bez przerwy; odbiór przerwano.")
        << qint64(64) * 1024 * 1024 << 1;
    QTest::newRow("SIGTERM in the middle keeps what arrived")
        << QStringList{QStringLiteral("--days"), QStringLiteral("2000"), QStringLiteral("--rate"),
                       QStringLiteral("960")}
        << QStringList() << false << 2500 << 143
        << QStringLiteral("Pobieranie przerwano sygnałem SIGTERM.") << qint64(0) << 1;
    QTest::newRow("a FIFO as the settings file is refused at once")
        << QStringList() << QStringList() << true << 0 << 78
        << QStringLiteral("nie jest zwykłym plikiem (to kolejka FIFO)") << qint64(-1) << 1;
    QTest::newRow("a saved report notifies nobody")
        << QStringList() << QStringList() << false << 0 << 0 << QString() << qint64(-1) << 0;
}

void TstPobierz::bezKonca()
{
    QFETCH(QStringList, opcjeSymulatora);
    QFETCH(QStringList, argumenty);
    QFETCH(bool, ustawieniaFifo);
    QFETCH(int, sygnalPoMs);
    QFETCH(int, kod);
    QFETCH(QString, komunikat);
    QFETCH(qint64, wDzienniku);
    QFETCH(int, powiadomienia);

    MagistralaTestowa magistrala;
    if (!magistrala.UruchomPowiadomienia())
        QSKIP("dbus-daemon is not available");
    Symulator sim(QStringList{QStringLiteral("--quiet"), QStringLiteral("0")} + opcjeSymulatora);
    QVERIFY2(sim.Ok(), qPrintable(sim.Blad()));
    ZapiszUstawienia("Sala", m_raporty, sim.Port(), false);
    const QString ini = m_tmp.filePath(QStringLiteral("bin/Vestibulomat.ini"));
    if (ustawieniaFifo) {
        QVERIFY(QFile::remove(ini));
        QCOMPARE(::mkfifo(QFile::encodeName(ini).constData(), 0600), 0);
    }
    const auto sprzatanie = qScopeGuard([&] { QFile::remove(ini); });

    // The run and its memory stay bounded whatever the line sends.
    const qint64 pamiec = kSanitizer ? 0 : kPamiec;
    const Wynik w = Uruchom(
        QStringList{QStringLiteral("--pobierz"), QStringLiteral("--czekaj"), QStringLiteral("2")} +
            argumenty,
        sygnalPoMs, magistrala.Adres(), pamiec);
    QVERIFY2(w.kod == kod, w.bledy.constData());
    QVERIFY2(QString::fromUtf8(w.bledy).contains(komunikat), w.bledy.constData());
    QCOMPARE(w.wyjscie.isEmpty(), kod != 0);

    const QStringList dzienniki = Dzienniki();
    QCOMPARE(dzienniki.size(), wDzienniku < 0 ? 0 : 1);
    if (wDzienniku >= 0) {
        QFile d(dzienniki.constFirst());
        QVERIFY(d.open(QIODevice::ReadOnly));
        const QByteArray bajty = CzytajDziennik(d.readAll(), QDateTime::currentDateTime()).bajty;
        QVERIFY(!bajty.isEmpty());
        if (wDzienniku > 0)
            QCOMPARE(qint64(bajty.size()), wDzienniku);
    }

    // The run is recorded, and a failure reaches the desktop once.
    QTRY_COMPARE(magistrala.powiadomienia.size(), powiadomienia);
    if (powiadomienia > 0)
        QVERIFY2(magistrala.powiadomienia.first().startsWith(
                     QStringLiteral("Vestibulomat: raport nie został pobrany\n")) &&
                     magistrala.powiadomienia.first().contains(komunikat),
                 qPrintable(magistrala.powiadomienia.first()));
    const QList<Przebieg> przebiegi =
        CzytajPrzebiegi(m_tmp.filePath(QStringLiteral("stan/Vestibulomat")));
    QVERIFY(!przebiegi.isEmpty());
    QCOMPARE(przebiegi.last().kod, kod);
    QVERIFY(przebiegi.last().komunikat.contains(komunikat));
    QCOMPARE(przebiegi.last().plik.isEmpty(), kod != 0);
}

void TstPobierz::udzialNiezamontowany()
{
    // A share mounted at the save folder, as a small tmpfs in a private
    // mount namespace.
    if (!WlasnePunktyMontowania())
        QSKIP("needs root and a private mount namespace for a tmpfs");
    const QByteArray punkt = QFile::encodeName(m_raporty);
    auto zamontuj = [&] {
        return ::mount("udzial", punkt.constData(), "tmpfs", 0, "size=64k") == 0;
    };
    QVERIFY(zamontuj());
    auto odmontowany = qScopeGuard([&] { ::umount2(punkt.constData(), MNT_DETACH); });
    const QString plik = m_raporty + QStringLiteral("/Sala_2026-12-01_2026-12-03.txt");

    QFile raport(m_tmp.filePath(QStringLiteral("raport.bin")));
    QVERIFY(raport.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(raport.write(kRaport), kRaport.size());
    raport.close();
    Symulator sim({QStringLiteral("--report"), raport.fileName(), QStringLiteral("--quiet"),
                   QStringLiteral("0")});
    QVERIFY2(sim.Ok(), qPrintable(sim.Blad()));
    ZapiszUstawienia(QByteArrayLiteral("Sala"), m_raporty, sim.Port(), false);
    const QStringList pobierz{QStringLiteral("--pobierz"), QStringLiteral("--czekaj"),
                              QStringLiteral("2")};

    Wynik w = Uruchom(pobierz);
    QVERIFY2(w.kod == 0, w.bledy.constData());

    // Unmounted: the empty mount point on the local disk is refused before
    // the device is asked anything, and no journal is left.
    QCOMPARE(::umount2(punkt.constData(), 0), 0);
    w = Uruchom(pobierz);
    QVERIFY2(w.kod == 4, w.bledy.constData());
    const QByteArray poczatek = QByteArray("Folder „") + punkt +
                                "” leży teraz na innym systemie plików niż przy ostatnim zapisie (";
    QVERIFY2(w.bledy.startsWith(poczatek), w.bledy.constData());
    QVERIFY2(w.bledy.contains(" zamiast tmpfs udzial); czy udział sieciowy jest zamontowany?"),
             w.bledy.constData());
    QVERIFY(Dzienniki().isEmpty());
    QVERIFY(!QFileInfo::exists(plik));

    // Mounted again, but full: the report waits in the journal ...
    QVERIFY(zamontuj());
    QFile wypelnienie(m_raporty + QStringLiteral("/wypelnienie"));
    QVERIFY(wypelnienie.open(QIODevice::WriteOnly));
    while (wypelnienie.write(QByteArray(4096, 'x')) > 0) {
    }
    wypelnienie.close();
    w = Uruchom(pobierz);
    QVERIFY2(w.kod == 4, w.bledy.constData());
    QCOMPARE(Dzienniki().size(), 1);

    // ... and the next run delivers it before its own download.
    QVERIFY(wypelnienie.remove());
    w = Uruchom(pobierz);
    QVERIFY2(w.kod == 0, w.bledy.constData());
    QCOMPARE(QString::fromUtf8(w.wyjscie), plik + u'\n' + plik + u'\n');
    QVERIFY2(w.bledy.contains("czekał w dzienniku odbioru; zapisano go w pliku"),
             w.bledy.constData());
    QVERIFY(Dzienniki().isEmpty());

    // Another file system taken on purpose.
    QCOMPARE(::umount2(punkt.constData(), 0), 0);
    w = Uruchom(pobierz + QStringList{QStringLiteral("--nowy-folder")});
    QVERIFY2(w.kod == 0, w.bledy.constData());
    QCOMPARE(QString::fromUtf8(w.wyjscie), plik + u'\n');
    odmontowany.dismiss();
}

void TstPobierz::argumenty_data()
{
    QTest::addColumn<QStringList>("argumenty");
    QTest::addColumn<int>("kod");
    QTest::addColumn<QByteArray>("naWyjsciu");

    QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0
                             << QByteArray("Vestibulomat ");
    QTest::newRow("help names the timer")
        << QStringList{QStringLiteral("--help")} << 0
        << QByteArray("systemctl --user enable --now vestibulomat-pobierz.timer");
    QTest::newRow("wait of zero seconds")
        << QStringList{QStringLiteral("--pobierz"), QStringLiteral("--czekaj"), QStringLiteral("0")}
        << 64 << QByteArray();
    QTest::newRow("wait without a number")
        << QStringList{QStringLiteral("--pobierz"), QStringLiteral("--czekaj")} << 64
        << QByteArray();
    QTest::newRow("folder without --pobierz")
        << QStringList{QStringLiteral("--katalog"), QStringLiteral("/tmp")} << 64 << QByteArray();
    QTest::newRow("unknown argument")
        << QStringList{QStringLiteral("--pobierz"), QStringLiteral("raport.txt")} << 64
        << QByteArray();
    QTest::newRow("mistyped option opens no window")
        << QStringList{QStringLiteral("--pobiez")} << 64 << QByteArray();
}

void TstPobierz::argumenty()
{
    QFETCH(QStringList, argumenty);
    QFETCH(int, kod);
    QFETCH(QByteArray, naWyjsciu);

    const Wynik w = Uruchom(argumenty);
    QCOMPARE(w.kod, kod);
    QVERIFY2(w.wyjscie.contains(naWyjsciu), w.wyjscie.constData());
    // A refused command line says why, in one line.
    if (kod != 0)
        QCOMPARE(w.bledy.count('\n'), 1);
}

QTEST_MAIN(TstPobierz)
#include "tst_pobierz.moc"
