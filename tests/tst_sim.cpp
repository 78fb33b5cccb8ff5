// The device simulator as the program meets it: a pseudo-terminal that
// answers a carriage return with the report and notes clock commands.

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A bound for waits on the simulator, so a fault fails the test instead of
// hanging it; no test depends on how fast anything is.
constexpr int kLimitMs = 20000;

// The simulator process; stopped when the test ends.
class Symulator
{
public:
    explicit Symulator(const QStringList &argumenty)
    {
        const QString program = qEnvironmentVariable("VESTIBULOMAT_SIM");
        proces.setProcessChannelMode(QProcess::SeparateChannels);
        proces.start(program, argumenty);
        if (!proces.waitForStarted(kLimitMs))
            return;
        const QByteArray pierwsza = Linia();
        if (pierwsza.startsWith("PORT "))
            port = QString::fromLocal8Bit(pierwsza.mid(5));
    }

    ~Symulator()
    {
        if (proces.state() != QProcess::NotRunning) {
            proces.terminate();
            if (!proces.waitForFinished(kLimitMs))
                proces.kill();
        }
    }

    // The next line of stdout without its line end; empty if none came.
    QByteArray Linia()
    {
        QDeadlineTimer limit(kLimitMs);
        while (!proces.canReadLine() && !limit.hasExpired())
            proces.waitForReadyRead(int(limit.remainingTime()));
        return proces.readLine().trimmed();
    }

    QProcess proces;
    QString port;
};

// The program's end of the line, opened with plain POSIX calls.
class Koncowka
{
public:
    explicit Koncowka(const QString &port)
    {
        fd = ::open(QFile::encodeName(port).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            termios t{};
            tcgetattr(fd, &t);
            cfmakeraw(&t);
            tcsetattr(fd, TCSANOW, &t);
        }
    }
    ~Koncowka() { Zamknij(); }

    void Zamknij()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    bool Pisz(const QByteArray &dane) const
    {
        return ::write(fd, dane.constData(), size_t(dane.size())) == dane.size();
    }

    // Reads until `dosc` says the bytes are complete or the line ends.
    QByteArray Czytaj(const std::function<bool(const QByteArray &)> &dosc)
    {
        QByteArray dane;
        QDeadlineTimer limit(kLimitMs);
        while (!dosc(dane) && !limit.hasExpired()) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, int(limit.remainingTime())) <= 0)
                continue;
            char bufor[65536];
            const ssize_t n = ::read(fd, bufor, sizeof bufor);
            if (n > 0) {
                dane.append(bufor, n);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                zerwana = true;
                break;
            }
        }
        return dane;
    }

    QByteArray Czytaj(qsizetype ile)
    {
        return Czytaj([ile](const QByteArray &d) { return d.size() >= ile; });
    }

    int fd = -1;
    bool zerwana = false;
};

QByteArray PseudolosoweBajty(qsizetype n)
{
    QByteArray b(n, Qt::Uninitialized);
    quint32 x = 12345;
    for (auto &c : b) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 24);
    }
    return b;
}

bool KonczySieSuma(const QByteArray &d)
{
    const qsizetype poczatek = d.lastIndexOf("\r\n", d.size() - 3);
    return d.endsWith("\r\n") && poczatek >= 0 &&
           d.mid(poczatek + 2).startsWith("Razem odwiedzin: ");
}

} // namespace

class tst_Sim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(qEnvironmentVariable("VESTIBULOMAT_SIM")).isExecutable(),
                 "VESTIBULOMAT_SIM must name the simulator");
        QVERIFY(katalog.isValid());
    }

    void raportDocieraBajtWBajt_data()
    {
        QTest::addColumn<QByteArray>("raport");
        QTest::addColumn<QStringList>("argumenty");
        QTest::addColumn<int>("kopie");

        QByteArray wszystkie;
        for (int i = 0; i < 512; ++i)
            wszystkie.append(char(i & 0xFF));

        QTest::newRow("device text in Windows-1250 with CR LF")
            << QByteArray("Licznik odwiedzin - obiekt: Sala g\xB3\xF3wna\r\n"
                          "Odwiedziny w dniu: 2026/12/01\r\n  08:00-09:00     12\r\n")
            << QStringList{} << 1;
        // NUL, CR, LF, XON/XOFF and 0xFF must all pass untranslated.
        QTest::newRow("every byte value, one byte per write")
            << wszystkie << QStringList{"--chunk", "1"} << 1;
        QTest::newRow("more than the pty buffer holds")
            << PseudolosoweBajty(300 * 1024) << QStringList{"--chunk", "4096"} << 1;
        QTest::newRow("paced by gaps and a rate limit")
            << PseudolosoweBajty(3000)
            << QStringList{"--chunk", "100", "--gap", "2", "--rate", "100000"} << 1;
        QTest::newRow("sent twice back to back")
            << PseudolosoweBajty(1000) << QStringList{"--repeat"} << 2;
        QTest::newRow("second copy after a pause")
            << PseudolosoweBajty(1000) << QStringList{"--second-report-after", "100"} << 2;
    }

    void raportDocieraBajtWBajt()
    {
        QFETCH(QByteArray, raport);
        QFETCH(QStringList, argumenty);
        QFETCH(int, kopie);

        const QString plik = katalog.filePath(QTest::currentDataTag());
        QFile f(plik);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(raport);
        f.close();

        Symulator sim(QStringList{"--report", plik} + argumenty);
        QVERIFY(!sim.port.isEmpty());
        Koncowka k(sim.port);
        QVERIFY(k.fd >= 0);
        QVERIFY(k.Pisz("\r"));
        const QByteArray oczekiwane = raport.repeated(kopie);
        QCOMPARE(k.Czytaj(oczekiwane.size()), oczekiwane);
    }

    void poleceniaZegaraSaZapisane_data()
    {
        QTest::addColumn<QByteArrayList>("zapisy");
        QTest::addColumn<QByteArray>("polecenie");

        QTest::newRow("clock and poll as two writes")
            << QByteArrayList{"Z261207074419", "\r"} << QByteArray("Z261207074419");
        QTest::newRow("clock and poll in one write")
            << QByteArrayList{"Z261207074419\r"} << QByteArray("Z261207074419");
        QTest::newRow("clock split inside its digits")
            << QByteArrayList{"Z2612", "07", "074419\r"} << QByteArray("Z261207074419");
        QTest::newRow("midnight") << QByteArrayList{"Z261208000000", "\r"}
                                  << QByteArray("Z261208000000");
        // A broken command is not a clock setting; the good one after it is.
        QTest::newRow("cut short by a poll, then a whole one")
            << QByteArrayList{"Z2612\r", "ZZ261207074419\r"} << QByteArray("Z261207074419");
        QTest::newRow("noise before the command")
            << QByteArrayList{"xZ1\nZ12345678901", "Z261207074419\r"}
            << QByteArray("Z261207074419");
    }

    void poleceniaZegaraSaZapisane()
    {
        QFETCH(QByteArrayList, zapisy);
        QFETCH(QByteArray, polecenie);

        const QString log =
            katalog.filePath(QStringLiteral("zegar-%1.log").arg(QTest::currentDataTag()));
        Symulator sim({"--silent", "--clock-log", log});
        QVERIFY(!sim.port.isEmpty());
        Koncowka k(sim.port);
        QVERIFY(k.fd >= 0);
        for (const auto &z : zapisy)
            QVERIFY(k.Pisz(z));

        QCOMPARE(sim.Linia(), "CLOCK " + polecenie);
        auto wLogu = [&log] {
            QFile f(log);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        QTRY_COMPARE_WITH_TIMEOUT(wLogu(), "CLOCK " + polecenie + "\n", kLimitMs);
    }

    void zerwanieKonczyLinieIUsuwaLink()
    {
        const QByteArray raport = PseudolosoweBajty(1000);
        const QString plik = katalog.filePath("zerwanie.txt");
        QFile f(plik);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(raport);
        f.close();
        const QString link = katalog.filePath("urzadzenie");

        Symulator sim({"--report", plik, "--drop-after", "100", "--chunk", "30", "--link", link});
        QVERIFY(!sim.port.isEmpty());
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.port);
        Koncowka k(link);
        QVERIFY(k.fd >= 0);
        QVERIFY(k.Pisz("\r"));

        const QByteArray dane = k.Czytaj([](const QByteArray &) { return false; });
        QVERIFY(k.zerwana);
        QVERIFY(dane.size() <= 100);
        QVERIFY(raport.startsWith(dane));
        QVERIFY(sim.proces.waitForFinished(kLimitMs));
        QCOMPARE(sim.proces.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.proces.exitCode(), 3);
        QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
    }

    void portOtwartyPonownieDostajeNowyRaport()
    {
        // The program closes the port between downloads; the simulator must
        // survive the hang-up and answer the next program that opens it.
        Symulator sim({"--days", "2", "--quiet", "0"});
        QVERIFY(!sim.port.isEmpty());
        QByteArray pierwszy;
        for (int i = 0; i < 2; ++i) {
            Koncowka k(sim.port);
            QVERIFY(k.fd >= 0);
            QVERIFY(k.Pisz("\r"));
            const QByteArray raport = k.Czytaj(KonczySieSuma);
            QVERIFY(KonczySieSuma(raport));
            if (i == 0)
                pierwszy = raport;
            else
                QCOMPARE(raport, pierwszy);
        }
        QCOMPARE(sim.proces.state(), QProcess::Running);
    }

    void wygenerowanyRaportMaFormatUrzadzenia()
    {
        Symulator sim({"--days", "3", "--start-date", "2026-12-30", "--once"});
        QVERIFY(!sim.port.isEmpty());
        Koncowka k(sim.port);
        QVERIFY(k.fd >= 0);
        QVERIFY(k.Pisz("\r"));
        const QByteArray raport = k.Czytaj(KonczySieSuma);
        QVERIFY(KonczySieSuma(raport));

        QVERIFY(raport.startsWith("Licznik odwiedzin - obiekt: Sala g\xB3\xF3wna\r\n"));
        const QByteArrayList linie = raport.chopped(1).split('\n');
        QByteArrayList dni;
        for (const auto &l : linie) {
            QVERIFY2(l.endsWith('\r') && l.count('\r') == 1, l.constData());
            if (l.contains("Odwiedziny w dniu"))
                dni << l.chopped(1);
        }
        QCOMPARE(dni,
                 (QByteArrayList{"Odwiedziny w dniu: 2026/12/30", "Odwiedziny w dniu: 2026/12/31",
                                 "Odwiedziny w dniu: 2027/01/01"}));

        // --once: the program closing the port ends the simulator.
        k.Zamknij();
        QVERIFY(sim.proces.waitForFinished(kLimitMs));
        QCOMPARE(sim.proces.exitCode(), 0);
    }

    void losoweBajtyNiosaTrudneZnaki()
    {
        QByteArray pierwsze;
        for (int i = 0; i < 2; ++i) {
            Symulator sim({"--random-bytes", "200", "--seed", "7"});
            Koncowka k(sim.port);
            QVERIFY(k.fd >= 0);
            QVERIFY(k.Pisz("\r"));
            const QByteArray dane = k.Czytaj(200);
            QCOMPARE(dane.size(), 200);
            QVERIFY(dane.contains('\0'));
            QVERIFY(dane.contains("\r\n"));
            bool samoCr = false;
            for (qsizetype j = 0; j + 1 < dane.size(); ++j)
                samoCr |= dane[j] == '\r' && dane[j + 1] != '\n';
            QVERIFY(samoCr);
            // The same seed gives the same bytes, so a failing run can be repeated.
            if (i == 0)
                pierwsze = dane;
            else
                QCOMPARE(dane, pierwsze);
        }
    }

private:
    QTemporaryDir katalog;
};

QTEST_GUILESS_MAIN(tst_Sim)
#include "tst_sim.moc"
