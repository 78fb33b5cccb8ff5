// vestibulomat-bench: measures the program's download against the device
// simulator and prints one table of figures, goals and whether each is met.
//
//   vestibulomat-bench            every scenario, the 100 MiB ones included
//   vestibulomat-bench --quick    a short version (no 100 MiB, no 1M lines)
//
// Each scenario runs in a fresh child process of this program, so that peak
// memory and CPU time belong to that scenario alone. Every figure is a ratio,
// a count or a time taken within one run, so it holds on a busy machine; the
// throughput goals compare the program with a plain read() loop on the same
// kind of pseudo-terminal, measured in the same run. The CPU per MiB of the
// 1 and 10 MiB ingests is the median of five runs.

#include "Pomiary.h"
#include "Raport.h"
#include "Scenariusze.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <map>

using namespace bench;

namespace {

using Wyniki = QMap<QString, QString>;

// Runs of each 1 and 10 MiB ingest whose CPU per MiB gives the median.
constexpr int kPrzebiegiCpu = 5;

struct Wiersz
{
    QString scenariusz;
    QString wartosc;
    QString cel;
    QString spelniony; // "yes", "NO", or "-" where no goal is set
};

QString Liczba(double v, int miejsca)
{
    return QString::number(v, 'f', miejsca);
}

QString TakNie(bool tak)
{
    return tak ? QStringLiteral("yes") : QStringLiteral("NO");
}

class Bench
{
public:
    explicit Bench(bool szybko)
        : m_szybko(szybko)
    {}

    int Uruchom();

private:
    // Runs one scenario in a child; an empty result when it failed.
    Wyniki Dziecko(const QString &nazwa, const QStringList &argumenty, int limitS);
    QString Plik(int mib);
    void Dodaj(const QString &s, const QString &w, const QString &c, const QString &ok)
    {
        m_wiersze.append({s, w, c, ok});
    }
    void Niepowodzenie(const QString &s, const QString &cel)
    {
        Dodaj(s, QStringLiteral("did not run (see above)"), cel, QStringLiteral("NO"));
        ++m_bledy;
    }
    void Szczegoly(const QString &nazwa, const Wyniki &w);
    void Drukuj();

    bool m_szybko;
    QTemporaryDir m_tmp;
    QMap<int, QString> m_pliki;
    QMap<int, QPair<QString, QString>> m_dni; // first and last day of each file
    QList<Wiersz> m_wiersze;
    QStringList m_szczegoly;
    int m_bledy = 0;
};

Wyniki Bench::Dziecko(const QString &nazwa, const QStringList &argumenty, int limitS)
{
    std::fprintf(stderr, "vestibulomat-bench: %s %s\n", qPrintable(nazwa),
                 qPrintable(argumenty.join(u' ')));
    QProcess p;
    QProcessEnvironment srodowisko = QProcessEnvironment::systemEnvironment();
    srodowisko.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(srodowisko);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList a{QStringLiteral("--scenario"), nazwa};
    a += argumenty;
    if (nazwa == QLatin1String("start"))
        a << QStringLiteral("od=%1").arg(TerazNs());
    p.start(QCoreApplication::applicationFilePath(), a);
    if (!p.waitForFinished(limitS * 1000)) {
        std::fprintf(stderr, "vestibulomat-bench: %s did not end within %d s\n", qPrintable(nazwa),
                     limitS);
        p.kill();
        p.waitForFinished(5000);
        return {};
    }
    Wyniki w;
    for (const QByteArray &linia : p.readAllStandardOutput().split('\n')) {
        if (!linia.startsWith("WYNIK "))
            continue;
        const QByteArray reszta = linia.mid(6);
        const int spacja = reszta.indexOf(' ');
        w.insert(QString::fromUtf8(reszta.left(spacja)), QString::fromUtf8(reszta.mid(spacja + 1)));
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "vestibulomat-bench: %s failed (exit %d) %s\n", qPrintable(nazwa),
                     p.exitCode(), qPrintable(w.value(QStringLiteral("blad"))));
        return {};
    }
    Szczegoly(nazwa + u' ' +
                  argumenty.filter(QRegularExpression(QStringLiteral("^(linie|podglad|mib)=")))
                      .join(u' '),
              w);
    return w;
}

void Bench::Szczegoly(const QString &nazwa, const Wyniki &w)
{
    QStringList pary;
    for (auto it = w.cbegin(); it != w.cend(); ++it)
        pary << it.key() + u'=' + it.value();
    m_szczegoly << nazwa.trimmed() + QStringLiteral(": ") + pary.join(u' ');
}

QString Bench::Plik(int mib)
{
    if (!m_pliki.contains(mib)) {
        const QString sciezka = m_tmp.filePath(QStringLiteral("raport-%1MiB.txt").arg(mib));
        GeneratorRaportu g;
        if (!ZapiszRaport(sciezka, qint64(mib) * 1024 * 1024, &g))
            return QString();
        m_pliki.insert(mib, sciezka);
        m_dni.insert(mib, {g.PierwszyDzien(), g.OstatniDzien()});
    }
    return m_pliki.value(mib);
}

int Bench::Uruchom()
{
    if (!m_tmp.isValid()) {
        std::fprintf(stderr, "vestibulomat-bench: no temporary folder\n");
        return 1;
    }
    const auto d = [](const Wyniki &w, const char *k) {
        return w.value(QLatin1String(k)).toDouble();
    };

    // Start-up.
    {
        const QString s = QStringLiteral("start-up: process start to main window shown");
        const Wyniki w = Dziecko(QStringLiteral("start"), {}, 120);
        if (w.isEmpty())
            Niepowodzenie(s, QStringLiteral("-"));
        else
            Dodaj(s, Liczba(d(w, "start_ms"), 0) + QStringLiteral(" ms"),
                  QStringLiteral("(none set)"), QStringLiteral("-"));
    }

    // Idle with the port open.
    {
        const int sekundy = m_szybko ? 5 : 10;
        const QString s = QStringLiteral("idle %1 s, port open, silent device").arg(sekundy);
        const Wyniki w = Dziecko(QStringLiteral("bezczynnosc"),
                                 {QStringLiteral("sekundy=%1").arg(sekundy)}, 120);
        if (w.isEmpty()) {
            Niepowodzenie(s + QStringLiteral(": CPU"), QStringLiteral("< 0.1 % of a core"));
        } else {
            const double proc = d(w, "cpu_proc_rdzenia");
            Dodaj(s + QStringLiteral(": CPU"), Liczba(proc, 3) + QStringLiteral(" % of a core"),
                  QStringLiteral("< 0.1 % of a core"), TakNie(proc < 0.1));
            const double pobudki = d(w, "pobudki_watku_zdarzen");
            Dodaj(
                s + QStringLiteral(": serial event thread wake-ups"),
                QStringLiteral("%1 (window thread %2)").arg(pobudki).arg(d(w, "pobudki_glownego")),
                QStringLiteral("0"), TakNie(pobudki == 0 && d(w, "watki_zdarzen") > 0));
        }
    }

    // The configuration dialog open, nothing plugged in: the port watch
    // waits on inotify, so no thread should wake up by itself.
    {
        const int sekundy = m_szybko ? 5 : 10;
        const QString s =
            QStringLiteral("configuration dialog open %1 s, nothing plugged in: wake-ups per "
                           "second of each thread")
                .arg(sekundy);
        const Wyniki w = Dziecko(QStringLiteral("konfiguracja"),
                                 {QStringLiteral("sekundy=%1").arg(sekundy)}, 120);
        if (w.isEmpty()) {
            Niepowodzenie(s, QStringLiteral("window thread <= 1 per 10 s, others 0"));
        } else {
            // As idle with the port open: the window thread at most once in
            // 10 s, no other thread at all.
            const double glowny = d(w, "pobudki_glownego");
            const double inne = d(w, "pobudki_innych_na_s");
            Dodaj(s, w.value(QStringLiteral("watki")),
                  QStringLiteral("window thread <= 1 per 10 s, others 0"),
                  TakNie(std::lround(glowny) <= std::max(1, sekundy / 10) && inne == 0));
        }
    }

    // End of transmission to report shown.
    {
        struct Przypadek
        {
            int linie;
            bool podglad;
        };
        QList<Przypadek> przypadki{{10000, false}, {200000, false}, {200000, true}};
        if (!m_szybko)
            przypadki.append({1000000, false});
        for (const Przypadek &p : przypadki) {
            const QString s =
                QStringLiteral("end of transmission to report shown, %1k lines, preview %2")
                    .arg(p.linie / 1000)
                    .arg(p.podglad ? QStringLiteral("on") : QStringLiteral("off"));
            const bool zCelem = p.linie == 200000;
            const QString cel = zCelem ? QStringLiteral("<= 200 ms") : QStringLiteral("(none set)");
            const Wyniki w = Dziecko(QStringLiteral("koniec"),
                                     {QStringLiteral("linie=%1").arg(p.linie),
                                      QStringLiteral("podglad=%1").arg(p.podglad ? 1 : 0)},
                                     600);
            if (w.isEmpty()) {
                Niepowodzenie(s, cel);
                continue;
            }
            const double ms = d(w, "do_pokazania_ms");
            const bool dobry = d(w, "wynik_dobry") == 1;
            QString wartosc =
                Liczba(ms, 0) +
                QStringLiteral(" ms (%1 MiB)").arg(Liczba(d(w, "bajty") / 1048576.0, 1));
            if (!dobry)
                wartosc += QStringLiteral(", WRONG RESULT");
            Dodaj(s, wartosc, cel,
                  zCelem ? TakNie(ms <= 200 && dobry)
                         : (dobry ? QStringLiteral("-") : QStringLiteral("NO")));
        }
    }

    // Ingest: the plain reader first, then the window with preview off and on.
    QList<int> rozmiary{1, 10};
    if (!m_szybko)
        rozmiary.append(100);
    for (int mib : rozmiary) {
        const QString plik = Plik(mib);
        if (plik.isEmpty()) {
            Niepowodzenie(QStringLiteral("%1 MiB report file").arg(mib), QStringLiteral("-"));
            continue;
        }
        const Wyniki czytnik =
            Dziecko(QStringLiteral("czytnik"),
                    {QStringLiteral("plik=") + plik, QStringLiteral("mib=%1").arg(mib)}, 300);
        const double granica = d(czytnik, "mib_s");
        if (czytnik.isEmpty() || granica <= 0)
            Niepowodzenie(QStringLiteral("plain reader %1 MiB").arg(mib), QStringLiteral("-"));
        else
            Dodaj(QStringLiteral("plain reader %1 MiB (the line's limit)").arg(mib),
                  Liczba(granica, 1) + QStringLiteral(" MiB/s"), QStringLiteral("(reference)"),
                  QStringLiteral("-"));

        for (const bool podglad : {false, true}) {
            const QString s = QStringLiteral("ingest %1 MiB, preview %2")
                                  .arg(mib)
                                  .arg(podglad ? QStringLiteral("on") : QStringLiteral("off"));
            const double celUdzialu = podglad ? 0.15 : 0.5;
            // A slow program must still end; 8 s per MiB is far below any goal.
            const int limit = 60 + mib * 8;
            const QStringList argumenty{QStringLiteral("plik=") + plik,
                                        QStringLiteral("podglad=%1").arg(podglad ? 1 : 0),
                                        QStringLiteral("mib=%1").arg(mib),
                                        QStringLiteral("limit_s=%1").arg(limit),
                                        QStringLiteral("od=") + m_dni.value(mib).first,
                                        QStringLiteral("do=") + m_dni.value(mib).second};
            const Wyniki w = Dziecko(QStringLiteral("odbior"), argumenty, limit + 60);
            if (w.isEmpty()) {
                Niepowodzenie(s + QStringLiteral(": throughput"),
                              QStringLiteral(">= %1 of the plain reader").arg(celUdzialu));
                continue;
            }
            const double mibs = d(w, "mib_s");
            const double udzial = granica > 0 ? mibs / granica : 0;
            const bool skonczone = d(w, "skonczone") == 1;
            Dodaj(s + QStringLiteral(": throughput"),
                  QStringLiteral("%1 MiB/s = %2 of the plain reader%3")
                      .arg(Liczba(mibs, 1), Liczba(udzial, 2),
                           skonczone ? QString() : QStringLiteral(" (DID NOT FINISH)")),
                  QStringLiteral(">= %1 of the plain reader").arg(celUdzialu),
                  TakNie(skonczone && udzial >= celUdzialu));
            // A single short run swings by a third on a shared machine: the
            // CPU figure of the small reports is the median of five runs.
            QList<double> cpuPrzebiegow{d(w, "cpu_s_na_mib")};
            for (int i = 1; mib <= 10 && i < kPrzebiegiCpu; ++i) {
                const Wyniki kolejny = Dziecko(QStringLiteral("odbior"), argumenty, limit + 60);
                if (!kolejny.isEmpty())
                    cpuPrzebiegow.append(d(kolejny, "cpu_s_na_mib"));
            }
            std::sort(cpuPrzebiegow.begin(), cpuPrzebiegow.end());
            const double cpu = cpuPrzebiegow.at(cpuPrzebiegow.size() / 2);
            const QString rozrzut =
                cpuPrzebiegow.size() < 2
                    ? QString()
                    : QStringLiteral(" (median of %1: %2 to %3)")
                          .arg(cpuPrzebiegow.size())
                          .arg(Liczba(cpuPrzebiegow.first(), 4), Liczba(cpuPrzebiegow.last(), 4));
            Dodaj(s + QStringLiteral(": CPU per MiB received"),
                  Liczba(cpu, 4) + QStringLiteral(" s") + rozrzut,
                  podglad ? QStringLiteral("<= 0.02 s") : QStringLiteral("(none set)"),
                  podglad ? TakNie(cpu <= 0.02) : QStringLiteral("-"));
            const qint64 zle = qint64(d(w, "utracone") + d(w, "nadmiarowe") + d(w, "zmienione"));
            const bool calosc = zle == 0 && skonczone && d(w, "analizy") == 1 &&
                                d(w, "dni_dobre") == 1 && d(w, "pokazane") == 1;
            Dodaj(
                s + QStringLiteral(": bytes lost or changed"),
                QStringLiteral("%1 lost, %2 changed, %3 extra; %4 analysis run(s), days %5")
                    .arg(w.value(QStringLiteral("utracone")), w.value(QStringLiteral("zmienione")),
                         w.value(QStringLiteral("nadmiarowe")), w.value(QStringLiteral("analizy")),
                         d(w, "dni_dobre") == 1 ? QStringLiteral("right")
                                                : QStringLiteral("WRONG")),
                QStringLiteral("0, one analysis"), TakNie(calosc));
            // The journal is on in every ingest run.
            const double dziennikMs = d(w, "dziennik_po_ostatniej_porcji_ms");
            const bool dziennikDobry =
                w.contains(QStringLiteral("dziennik_po_ostatniej_porcji_ms")) &&
                d(w, "dziennik_zgodny") == 1;
            Dodaj(s + QStringLiteral(": journal, whole report on disk after the last chunk"),
                  QStringLiteral("%1 ms, %2 writes, %3 flushes, bytes %4")
                      .arg(Liczba(dziennikMs, 0), w.value(QStringLiteral("dziennik_zapisy")),
                           w.value(QStringLiteral("dziennik_synchronizacje")),
                           d(w, "dziennik_zgodny") == 1 ? QStringLiteral("equal")
                                                        : QStringLiteral("DIFFERENT")),
                  QStringLiteral("<= 2000 ms, equal"), TakNie(dziennikDobry && dziennikMs <= 2000));
            const double spoznienie = d(w, "spoznienie_odbior_ms");
            Dodaj(s + QStringLiteral(": worst event delay while receiving"),
                  Liczba(spoznienie, 0) + QStringLiteral(" ms"), QStringLiteral("<= 100 ms"),
                  TakNie(spoznienie <= 100));
            if (mib >= 10) {
                const double x = d(w, "pamiec_x");
                Dodaj(QStringLiteral("memory %1 MiB, preview %2: (peak RSS - base) / report size")
                          .arg(mib)
                          .arg(podglad ? QStringLiteral("on") : QStringLiteral("off")),
                      Liczba(x, 2) + QStringLiteral(" x (base %1 MiB)")
                                         .arg(Liczba(d(w, "rss_baza_kib") / 1024.0, 0)),
                      QStringLiteral("<= 3 x"), TakNie(x <= 3));
            }
        }
    }

    Drukuj();
    return m_bledy == 0 ? 0 : 1;
}

void Bench::Drukuj()
{
    int szer[3] = {8, 6, 4};
    for (const Wiersz &w : m_wiersze) {
        szer[0] = qMax(szer[0], int(w.scenariusz.size()));
        szer[1] = qMax(szer[1], int(w.wartosc.size()));
        szer[2] = qMax(szer[2], int(w.cel.size()));
    }
    const auto linia = [&](const QString &a, const QString &b, const QString &c, const QString &e) {
        std::printf("| %s | %s | %s | %s |\n", qPrintable(a.leftJustified(szer[0])),
                    qPrintable(b.leftJustified(szer[1])), qPrintable(c.leftJustified(szer[2])),
                    qPrintable(e.leftJustified(4)));
    };
    std::printf("\n");
    linia(QStringLiteral("scenario"), QStringLiteral("figure"), QStringLiteral("goal"),
          QStringLiteral("met?"));
    linia(QString(szer[0], u'-'), QString(szer[1], u'-'), QString(szer[2], u'-'),
          QStringLiteral("----"));
    int spelnione = 0, chybione = 0;
    for (const Wiersz &w : m_wiersze) {
        linia(w.scenariusz, w.wartosc, w.cel, w.spelniony);
        spelnione += w.spelniony == QLatin1String("yes");
        chybione += w.spelniony == QLatin1String("NO");
    }
    std::printf("\ngoals met: %d, missed: %d\n\nDetails (one line per child process):\n", spelnione,
                chybione);
    for (const QString &s : m_szczegoly)
        std::printf("  %s\n", qPrintable(s));
    std::fflush(stdout);
}

Argumenty CzytajArgumenty(const QStringList &lista)
{
    Argumenty a;
    for (const QString &s : lista) {
        const int rowna = s.indexOf(u'=');
        if (rowna > 0)
            a.insert(s.left(rowna), s.mid(rowna + 1));
    }
    return a;
}

// Qt's chatter that says nothing about the measurement.
void Komunikat(QtMsgType typ, const QMessageLogContext &, const QString &tekst)
{
    if (tekst.contains(QLatin1String("propagateSizeHints")) ||
        tekst.contains(QLatin1String("XDG_RUNTIME_DIR")))
        return;
    std::fprintf(stderr, "%s%s\n", typ == QtDebugMsg ? "" : "qt: ", qPrintable(tekst));
}

int Scenariusz(int argc, char **argv)
{
    qInstallMessageHandler(Komunikat);
    const QString nazwa = QString::fromLocal8Bit(argv[2]);
    QStringList lista;
    for (int i = 3; i < argc; ++i)
        lista << QString::fromLocal8Bit(argv[i]);
    const Argumenty a = CzytajArgumenty(lista);
    const std::map<QString, std::function<int(const Argumenty &)>> scenariusze{
        {QStringLiteral("start"), ScenariuszStart},
        {QStringLiteral("bezczynnosc"), ScenariuszBezczynnosc},
        {QStringLiteral("konfiguracja"), ScenariuszKonfiguracja},
        {QStringLiteral("koniec"), ScenariuszKoniecTransmisji},
        {QStringLiteral("odbior"), ScenariuszOdbior},
        {QStringLiteral("czytnik"), ScenariuszCzytnik},
    };
    const auto it = scenariusze.find(nazwa);
    if (it == scenariusze.end()) {
        std::fprintf(stderr, "vestibulomat-bench: no scenario %s\n", argv[2]);
        return 2;
    }
    try {
        if (nazwa == QLatin1String("czytnik")) {
            QCoreApplication app(argc, argv);
            return it->second(a);
        }
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return it->second(a);
    } catch (const std::exception &e) {
        Wynik("blad", QString::fromUtf8(e.what()));
        return 1;
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--scenario") == 0)
        return Scenariusz(argc, argv);

    // A report file as the scenarios use it, for running one by hand:
    //   vestibulomat-bench --report-file 10 /tmp/r.txt
    //   vestibulomat-bench --scenario odbior plik=/tmp/r.txt podglad=0
    if (argc == 4 && std::strcmp(argv[1], "--report-file") == 0) {
        GeneratorRaportu g;
        if (!ZapiszRaport(QString::fromLocal8Bit(argv[3]), qint64(std::atof(argv[2]) * 1048576),
                          &g))
            return 1;
        std::printf("od=%s do=%s\n", qPrintable(g.PierwszyDzien()), qPrintable(g.OstatniDzien()));
        return 0;
    }

    bool szybko = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            szybko = true;
        } else {
            std::fprintf(stderr,
                         "usage: vestibulomat-bench [--quick]\n"
                         "  Runs every scenario in a child process and prints the table of\n"
                         "  figures and goals. --quick leaves out the 100 MiB reports and the\n"
                         "  1M-line analysis. Exit code 1 when a scenario could not run.\n"
                         "usage: vestibulomat-bench --report-file MIB PATH\n"
                         "  Writes the report the scenarios use, for running one by hand.\n");
            return 2;
        }
    }
    QCoreApplication app(argc, argv);
    return Bench(szybko).Uruchom();
}
