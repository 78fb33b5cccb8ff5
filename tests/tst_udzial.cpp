// "vestibulomat --pobierz" into a network folder: a real sshfs mount of an
// SFTP server of the test's own (SerwerSsh), as an administrator sets up a
// share that the head office collects. Skipped where sshd, sshfs or FUSE are
// missing.

#include "BezOkna.h"
#include "Dziennik.h"
#include "SerwerSsh.h"
#include "Symulator.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kLimitMs = 60000;

const QByteArray kRaport = QByteArrayLiteral("Licznik odwiedzin - obiekt: Sala\r\n"
                                             "Odwiedziny w dniu: 2026/12/01\r\n"
                                             "  08:00-09:00     25\r\n"
                                             "Odwiedziny w dniu: 2026/12/03\r\n"
                                             "Razem odwiedzin: 25\r\n");
const QString kNazwa = QStringLiteral("Sala_2026-12-01_2026-12-03.txt");

// What lies under the report's name on the server before the download.
enum class Pod { Nic, TenSamRaport, InnyRaport };

struct Wynik
{
    int kod = -1;
    QString wyjscie;
    QString bledy;
};

QByteArray Zawartosc(const QString &sciezka)
{
    QFile f(sciezka);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool Utworz(const QString &sciezka, const QByteArray &dane)
{
    QFile f(sciezka);
    return f.open(QIODevice::WriteOnly) && f.write(dane) == dane.size();
}

// Sets the time of last change, as "touch -h -d" does: a link's own.
bool Postarz(const QString &sciezka, qint64 sekundy)
{
    const timespec t{::time(nullptr) - sekundy, 0};
    const timespec czasy[2] = {t, t};
    return ::utimensat(AT_FDCWD, QFile::encodeName(sciezka).constData(), czasy,
                       AT_SYMLINK_NOFOLLOW) == 0;
}

QStringList Ukryte(const QString &folder)
{
    QStringList ukryte;
    for (const QString &nazwa : QDir(folder).entryList(QDir::Hidden | QDir::Files | QDir::System))
        if (nazwa.startsWith(u'.'))
            ukryte.append(nazwa);
    return ukryte;
}

} // namespace

Q_DECLARE_METATYPE(Pod)

class TstUdzial : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void zapisNaUdzial_data();
    void zapisNaUdzial();
    void zerwanePolaczenie();
    void niezamontowanyUdzial();

private:
    void ZapiszUstawienia(const QString &katalog, const QString &port);
    Wynik Uruchom();
    // The device, answering with kRaport; null when it did not start.
    std::unique_ptr<Symulator> Licznik();
    QStringList Dzienniki() const;

    std::unique_ptr<SerwerSsh> m_serwer;
    QTemporaryDir m_tmp;
    QString m_program;
    QString m_naSerwerze; // the site's folder on the server's disk
};

void TstUdzial::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    m_serwer = std::make_unique<SerwerSsh>();
    if (!m_serwer->Ok())
        QSKIP(qPrintable(m_serwer->Blad()));
    m_program = KopiaProgramu(m_tmp.path());
    QVERIFY2(!m_program.isEmpty(), qPrintable(Symulator::Program()));
}

void TstUdzial::init()
{
    QVERIFY(QDir(m_tmp.filePath(QStringLiteral("stan"))).removeRecursively());
    // A folder of its own for the site inside the share.
    m_naSerwerze = m_serwer->Folder() + QStringLiteral("/raporty");
    QVERIFY(QDir(m_naSerwerze).removeRecursively());
    QVERIFY(QDir().mkpath(m_naSerwerze));
}

void TstUdzial::cleanup()
{
    m_serwer->Odmontuj();
}

void TstUdzial::ZapiszUstawienia(const QString &katalog, const QString &port)
{
    QFile ini(m_tmp.filePath(QStringLiteral("bin/Vestibulomat.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write("[konfig]\r\nobiekt=Sala\r\nkatalog=" + QFile::encodeName(katalog) +
              "\r\nport=" + QFile::encodeName(port) + "\r\nsynchro=False\r\n");
}

Wynik TstUdzial::Uruchom()
{
    UruchomienieBezOkna u;
    u.program = m_program;
    u.korzen = m_tmp.path();
    u.argumenty =
        QStringList{QStringLiteral("--pobierz"), QStringLiteral("--czekaj"), QStringLiteral("2")};
    u.limitMs = kLimitMs;
    const WynikBezOkna w = UruchomBezOkna(u);
    return {w.kod, QString::fromUtf8(w.wyjscie), QString::fromUtf8(w.bledy)};
}

std::unique_ptr<Symulator> TstUdzial::Licznik()
{
    QFile raport(m_tmp.filePath(QStringLiteral("raport.bin")));
    if (!raport.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        raport.write(kRaport) != kRaport.size())
        return nullptr;
    raport.close();
    auto sim =
        std::make_unique<Symulator>(QStringList{QStringLiteral("--report"), raport.fileName(),
                                                QStringLiteral("--quiet"), QStringLiteral("0")});
    if (!sim->Ok()) {
        qWarning("%s", qPrintable(sim->Blad()));
        return nullptr;
    }
    return sim;
}

QStringList TstUdzial::Dzienniki() const
{
    return DziennikiBezOkna(m_tmp.path());
}

void TstUdzial::zapisNaUdzial_data()
{
    QTest::addColumn<QStringList>("opcje"); // sshfs's -o options
    QTest::addColumn<Pod>("pod");
    QTest::addColumn<QString>("zapisany");  // the name the path on stdout ends in
    QTest::addColumn<QString>("komunikat"); // on stderr; empty: nothing
    QTest::addColumn<bool>("pozostalosci"); // temporary files of earlier runs lie there

    const QStringList bezDowiazan{QStringLiteral("disable_hardlink")};
    QTest::newRow("no hard links: saved under its name")
        << bezDowiazan << Pod::Nic << kNazwa << QString() << false;
    QTest::newRow("no hard links: another report under the name is kept, this one takes (2)")
        << bezDowiazan << Pod::InnyRaport << QStringLiteral("Sala_2026-12-01_2026-12-03 (2).txt")
        << QString() << false;
    QTest::newRow("no hard links: the same report already there, nothing written")
        << bezDowiazan << Pod::TenSamRaport << kNazwa
        << QStringLiteral("Ten sam raport jest już zapisany") << false;
    QTest::newRow("hard links: saved under its name")
        << QStringList() << Pod::Nic << kNazwa << QString() << false;
    QTest::newRow("a stale temporary file of ours goes at the next save, nothing else")
        << bezDowiazan << Pod::Nic << kNazwa << QString() << true;
}

void TstUdzial::zapisNaUdzial()
{
    QFETCH(QStringList, opcje);
    QFETCH(Pod, pod);
    QFETCH(QString, zapisany);
    QFETCH(QString, komunikat);
    QFETCH(bool, pozostalosci);

    const QString punkt = m_serwer->Zamontuj(opcje);
    QVERIFY2(!punkt.isEmpty(), qPrintable(m_serwer->Blad()));
    const QByteArray innyRaport = QByteArrayLiteral("Odwiedziny w dniu: inny\r\n");
    if (pod != Pod::Nic)
        QVERIFY(
            Utworz(m_naSerwerze + u'/' + kNazwa, pod == Pod::TenSamRaport ? kRaport : innyRaport));

    // What a lost connection left an hour and more ago, beside what is not
    // ours to remove.
    const QString naszStary = QStringLiteral(".Sala_2026-11-01_2026-11-02.txt.187an8p.tmp");
    QStringList zostaja;
    if (pozostalosci) {
        const qint64 dwieGodziny = 2 * 3600;
        QVERIFY(Utworz(m_naSerwerze + u'/' + naszStary, kRaport));
        QVERIFY(Postarz(m_naSerwerze + u'/' + naszStary, dwieGodziny));
        const QString mlody = QStringLiteral(".Sala_2026-11-03_2026-11-04.txt.3k9x0q.tmp");
        QVERIFY(Utworz(m_naSerwerze + u'/' + mlody, kRaport));
        QVERIFY(Postarz(m_naSerwerze + u'/' + mlody, 10 * 60));
        const QString cudzyUkryty = QStringLiteral(".notatki.tmp");
        QVERIFY(Utworz(m_naSerwerze + u'/' + cudzyUkryty, "notatki"));
        QVERIFY(Postarz(m_naSerwerze + u'/' + cudzyUkryty, dwieGodziny));
        const QString dowiazanie = QStringLiteral(".Sala_2026-11-05_2026-11-06.txt.a1b2c3.tmp");
        QVERIFY(QFile::link(QStringLiteral("cel"), m_naSerwerze + u'/' + dowiazanie));
        QVERIFY(Postarz(m_naSerwerze + u'/' + dowiazanie, dwieGodziny));
        zostaja << mlody << cudzyUkryty << dowiazanie;
        if (::geteuid() == 0) {
            const QString cudzy = QStringLiteral(".Sala_2026-11-07_2026-11-08.txt.5pq2r1.tmp");
            QVERIFY(Utworz(m_naSerwerze + u'/' + cudzy, kRaport));
            QCOMPARE(
                ::chown(QFile::encodeName(m_naSerwerze + u'/' + cudzy).constData(), 4321, 4321), 0);
            QVERIFY(Postarz(m_naSerwerze + u'/' + cudzy, dwieGodziny));
            zostaja << cudzy;
        }
        // The mount shows them as the server holds them.
        QVERIFY(QFileInfo::exists(punkt + QStringLiteral("/raporty/") + naszStary));
    }

    const std::unique_ptr<Symulator> licznik = Licznik();
    QVERIFY(licznik);
    Symulator &urzadzenie = *licznik;
    ZapiszUstawienia(punkt + QStringLiteral("/raporty"), urzadzenie.Port());

    const Wynik w = Uruchom();
    QVERIFY2(w.kod == 0, qPrintable(w.bledy));
    QCOMPARE(w.wyjscie, punkt + QStringLiteral("/raporty/") + zapisany + u'\n');
    if (komunikat.isEmpty())
        QVERIFY2(w.bledy.isEmpty(), qPrintable(w.bledy));
    else
        QVERIFY2(w.bledy.contains(komunikat), qPrintable(w.bledy));
    // On the server, byte for byte; what was under the name is untouched.
    QCOMPARE(Zawartosc(m_naSerwerze + u'/' + zapisany), kRaport);
    if (pod == Pod::InnyRaport)
        QCOMPARE(Zawartosc(m_naSerwerze + u'/' + kNazwa), innyRaport);
    QCOMPARE(QDir(m_naSerwerze).entryList(QDir::Files).size(), pod == Pod::InnyRaport ? 2 : 1);
    // The run's own temporary file is gone, the stale one of ours too, and
    // nothing else hidden is touched.
    QStringList ukryte = Ukryte(m_naSerwerze);
    ukryte.sort();
    zostaja.sort();
    QCOMPARE(ukryte, zostaja);
    QVERIFY(Dzienniki().isEmpty());
}

void TstUdzial::zerwanePolaczenie()
{
    const QString punkt = m_serwer->Zamontuj();
    QVERIFY2(!punkt.isEmpty(), qPrintable(m_serwer->Blad()));
    QVERIFY(m_serwer->ZerwijPolaczenie());

    const std::unique_ptr<Symulator> licznik = Licznik();
    QVERIFY(licznik);
    Symulator &urzadzenie = *licznik;
    ZapiszUstawienia(punkt + QStringLiteral("/raporty"), urzadzenie.Port());

    const Wynik w = Uruchom();
    QVERIFY2(w.kod == 4, qPrintable(w.bledy));
    QVERIFY(w.wyjscie.isEmpty());
    // The reason in Polish, the errno in the technical line below it.
    QVERIFY2(w.bledy.contains(QStringLiteral("(połączenie z folderem sieciowym zostało zerwane)")),
             qPrintable(w.bledy));
    QVERIFY2(w.bledy.contains(QStringLiteral("ENOTCONN")), qPrintable(w.bledy));
    QVERIFY(QDir(m_naSerwerze).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    // The report is kept whole for the window, if it was fetched at all.
    for (const QString &dziennik : Dzienniki())
        QCOMPARE(CzytajDziennik(Zawartosc(dziennik), QDateTime::currentDateTime()).bajty, kRaport);
}

void TstUdzial::niezamontowanyUdzial()
{
    // The share itself is the save folder, so that unmounted its mount point
    // is an empty folder of the local disk.
    QString punkt = m_serwer->Zamontuj();
    QVERIFY2(!punkt.isEmpty(), qPrintable(m_serwer->Blad()));
    const QDir serwer(m_serwer->Folder());
    const auto sprzatanie = qScopeGuard([&] {
        for (const QString &nazwa : serwer.entryList({QStringLiteral("Sala_*")}, QDir::Files))
            QFile::remove(serwer.filePath(nazwa));
    });
    const std::unique_ptr<Symulator> licznik = Licznik();
    QVERIFY(licznik);
    Symulator &urzadzenie = *licznik;
    ZapiszUstawienia(punkt, urzadzenie.Port());

    Wynik w = Uruchom();
    QVERIFY2(w.kod == 0, qPrintable(w.bledy));
    QCOMPARE(w.wyjscie, punkt + u'/' + kNazwa + u'\n');

    // Unmounted: refused before the device is asked, nothing left anywhere.
    m_serwer->Odmontuj();
    w = Uruchom();
    QVERIFY2(w.kod == 4, qPrintable(w.bledy));
    QVERIFY2(
        w.bledy.startsWith(QStringLiteral("Folder „%1” leży teraz na innym systemie plików niż "
                                          "przy ostatnim zapisie (")
                               .arg(punkt)) &&
            w.bledy.contains(QStringLiteral(" zamiast fuse.sshfs ")) &&
            w.bledy.contains(QStringLiteral("); czy udział sieciowy jest zamontowany?")),
        qPrintable(w.bledy));
    QVERIFY(QDir(punkt).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    QVERIFY(Dzienniki().isEmpty());

    // A report an earlier unattended run left in its journal while the share
    // was away goes to the share once it is back, before the new download.
    const QByteArray wczesniejszy =
        QByteArrayLiteral("Odwiedziny w dniu: 2026/11/30\r\n  08:00  7\r\n");
    QVERIFY(QDir().mkpath(m_tmp.filePath(QStringLiteral("stan/Vestibulomat"))));
    QFile dziennik(m_tmp.filePath(
        QStringLiteral("stan/Vestibulomat/raport-20261130-060000-0000abcd.dziennik")));
    QVERIFY(dziennik.open(QIODevice::WriteOnly));
    NaglowekDziennika naglowek{QStringLiteral("Sala"), urzadzenie.Port(),
                               QDateTime(QDate(2026, 11, 30), QTime(6, 0)), true};
    dziennik.write(ZapiszNaglowek(naglowek) + wczesniejszy);
    dziennik.close();
    punkt = m_serwer->Zamontuj();
    QVERIFY2(!punkt.isEmpty(), qPrintable(m_serwer->Blad()));
    w = Uruchom();
    QVERIFY2(w.kod == 0, qPrintable(w.bledy));
    const QString dostarczony = QStringLiteral("Sala_2026-11-30_2026-11-30.txt");
    QCOMPARE(w.wyjscie, punkt + u'/' + dostarczony + u'\n' + punkt + u'/' + kNazwa + u'\n');
    QCOMPARE(Zawartosc(serwer.filePath(dostarczony)), wczesniejszy);
    QVERIFY(Dzienniki().isEmpty());
}

QTEST_GUILESS_MAIN(TstUdzial)
#include "tst_udzial.moc"
