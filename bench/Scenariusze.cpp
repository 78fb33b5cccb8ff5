#include "Scenariusze.h"

#include "Analiza.h"
#include "CPort.h"
#include "Dziennik.h"
#include "Komunikaty.h"
#include "Miejsca.h"
#include "Poczta.h"
#include "Pomiary.h"
#include "Postep.h"
#include "Raport.h"
#include "RaportView.h"
#include "Symulator.h"
#include "konfiguracja.h"
#include "main.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace bench {

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

double Ms(qint64 ns)
{
    return double(ns) / 1e6;
}

// The six windows, shown offscreen, with the program directory and the
// per-user places in a folder of their own; message boxes are answered
// "No" and counted.
class Okna : public Komunikaty::Ujscie
{
public:
    Okna()
    {
        if (!m_tmp.isValid())
            throw std::runtime_error("no temporary folder");
        TfrmMain::UstawKatalogProgramu(m_tmp.path());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_tmp.filePath(QStringLiteral("config"))));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_tmp.filePath(QStringLiteral("cache"))));
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_tmp.filePath(QStringLiteral("state"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_tmp.filePath(QStringLiteral("data"))));
        m_poprzednie = Komunikaty::UstawUjscie(this);
        UtworzOkna();
        UsunStareZalaczniki(KatalogTymczasowy(frmMain->KatalogProgramu));
        frmMain->show();
        QCoreApplication::processEvents();
    }
    ~Okna()
    {
        UsunOkna();
        Komunikaty::UstawUjscie(m_poprzednie);
        TfrmMain::UstawKatalogProgramu(QString());
    }
    int Komunikaty() const { return m_komunikaty; }

    void Informacja(const QString &tekst, const QString &) override { Policz(tekst); }
    void Blad(const QString &tekst, const QString &) override { Policz(tekst); }
    bool Pytanie(const QString &) override { return false; }

private:
    void Policz(const QString &tekst)
    {
        ++m_komunikaty;
        std::fprintf(stderr, "vestibulomat-bench: box: %s\n", qPrintable(tekst));
    }

    QTemporaryDir m_tmp;
    int m_komunikaty = 0;
    Komunikaty::Ujscie *m_poprzednie = nullptr;
};

// Runs the event loop for ms milliseconds, or until quit() on the loop.
void Petla(QEventLoop &petla, int ms)
{
    QTimer::singleShot(ms, &petla, &QEventLoop::quit);
    petla.exec();
}

// Compares received bytes with the report file piece by piece, so that the
// comparison itself adds little to the memory figures taken before it.
struct Porownanie
{
    qint64 utracone = 0;
    qint64 nadmiarowe = 0;
    qint64 zmienione = 0;
    qint64 pierwszaRoznica = -1;
};

Porownanie Porownaj(const QByteArray &odebrane, const QString &plik)
{
    Porownanie p;
    QFile f(plik);
    if (!f.open(QIODevice::ReadOnly)) {
        p.utracone = -1;
        return p;
    }
    const qint64 rozmiar = f.size();
    qint64 pozycja = 0;
    while (pozycja < rozmiar) {
        const QByteArray porcja = f.read(1 << 20);
        if (porcja.isEmpty())
            break;
        const qint64 wspolne =
            qMin<qint64>(porcja.size(), qMax<qint64>(0, odebrane.size() - pozycja));
        for (qint64 i = 0; i < wspolne; ++i) {
            if (porcja[i] != odebrane[pozycja + i]) {
                if (p.pierwszaRoznica < 0)
                    p.pierwszaRoznica = pozycja + i;
                ++p.zmienione;
            }
        }
        pozycja += porcja.size();
    }
    p.utracone = qMax<qint64>(0, rozmiar - odebrane.size());
    p.nadmiarowe = qMax<qint64>(0, odebrane.size() - rozmiar);
    return p;
}

void WynikPorownania(const Porownanie &p)
{
    Wynik("utracone", double(p.utracone));
    Wynik("nadmiarowe", double(p.nadmiarowe));
    Wynik("zmienione", double(p.zmienione));
    Wynik("pierwsza_roznica", double(p.pierwszaRoznica));
}

// The simulator's options shared by the program and the plain reader: the
// report as it stands in the file, 4 KiB per write, full speed, one answer.
QStringList OpcjeSymulatora(const QString &plik)
{
    return {QStringLiteral("--report"), plik, QStringLiteral("--chunk"), QStringLiteral("4096"),
            QStringLiteral("--once")};
}

// CPU time of threads, by thread id.
QMap<int, double> CpuWatkow()
{
    QMap<int, double> m;
    for (const Watek &w : Watki())
        m.insert(w.tid, w.cpuS);
    return m;
}

} // namespace

void Wynik(const char *klucz, const QString &wartosc)
{
    std::printf("WYNIK %s %s\n", klucz, qPrintable(wartosc));
    std::fflush(stdout);
}

void Wynik(const char *klucz, double wartosc)
{
    Wynik(klucz, QString::number(wartosc, 'g', 10));
}

int ScenariuszStart(const Argumenty &a)
{
    Okna okna;
    // show() delivered the first show event (the settings were read there);
    // Okna also ran the events that followed once.
    const qint64 koniec = TerazNs();
    Wynik("start_ms", SekundyOdStartuProcesu() * 1000.0);
    if (a.contains(QStringLiteral("od")))
        Wynik("start_od_rodzica_ms", Ms(koniec - a.value(QStringLiteral("od")).toLongLong()));
    Wynik("widoczne", frmMain->isVisible() ? 1 : 0);
    Wynik("komunikaty", okna.Komunikaty());
    return 0;
}

int ScenariuszBezczynnosc(const Argumenty &a)
{
    const int sekundy = a.value(QStringLiteral("sekundy"), QStringLiteral("10")).toInt();
    Okna okna;
    Symulator sim({QStringLiteral("--silent")});
    frmMain->port->SetPort(sim.Port());

    QSet<int> przedOtwarciem;
    for (const Watek &w : Watki())
        przedOtwarciem.insert(w.tid);
    // The state after a download or after "&Nie" to the retry question: the
    // port stays open, no timer runs.
    frmMain->port->SetConnected(true);
    if (!frmMain->port->Connected()) {
        Wynik("blad", QStringLiteral("the port did not open"));
        return 1;
    }
    QEventLoop petla;
    Petla(petla, 300); // let the opening settle

    const QList<Watek> w0 = Watki();
    const double cpu0 = CzasCpuS();
    const qint64 t0 = TerazNs();
    Petla(petla, sekundy * 1000);
    const qint64 t1 = TerazNs();
    const double cpu1 = CzasCpuS();
    const QList<Watek> w1 = Watki();

    qint64 watekZdarzen = 0, glowny = 0, inne = 0;
    int watkowZdarzen = 0;
    for (const Watek &po : w1) {
        for (const Watek &przed : w0) {
            if (przed.tid != po.tid)
                continue;
            const qint64 d = po.dobrowolne - przed.dobrowolne;
            if (po.tid == getpid())
                glowny += d;
            else if (!przedOtwarciem.contains(po.tid)) {
                watekZdarzen += d;
                ++watkowZdarzen;
            } else
                inne += d;
        }
    }
    const double s = double(t1 - t0) / 1e9;
    Wynik("sekundy", s);
    Wynik("cpu_s", cpu1 - cpu0);
    Wynik("cpu_proc_rdzenia", (cpu1 - cpu0) / s * 100.0);
    Wynik("watki_zdarzen", watkowZdarzen);
    Wynik("pobudki_watku_zdarzen", double(watekZdarzen));
    Wynik("pobudki_glownego", double(glowny));
    Wynik("pobudki_innych", double(inne));
    Wynik("komunikaty", okna.Komunikaty());
    return 0;
}

int ScenariuszKonfiguracja(const Argumenty &a)
{
    // The configuration dialog open on an idle program: the port watch is
    // armed (inotify on /dev and /dev/serial/by-id), nothing is plugged in.
    const int sekundy = a.value(QStringLiteral("sekundy"), QStringLiteral("10")).toInt();
    Okna okna;
    frmKonfiguracja->show();
    QEventLoop petla;
    Petla(petla, 300); // let the showing settle

    const QList<Watek> w0 = Watki();
    const double cpu0 = CzasCpuS();
    const qint64 t0 = TerazNs();
    Petla(petla, sekundy * 1000);
    const qint64 t1 = TerazNs();
    const double cpu1 = CzasCpuS();
    const QList<Watek> w1 = Watki();
    frmKonfiguracja->hide();

    const double s = double(t1 - t0) / 1e9;
    Wynik("sekundy", s);
    Wynik("cpu_proc_rdzenia", (cpu1 - cpu0) / s * 100.0);
    // Each thread by its name, "glowny" for the window thread.
    QStringList opis;
    double glowny = 0, inne = 0;
    for (const Watek &po : w1) {
        for (const Watek &przed : w0) {
            if (przed.tid != po.tid)
                continue;
            const double naSekunde = double(po.dobrowolne - przed.dobrowolne) / s;
            const bool okno = po.tid == getpid();
            (okno ? glowny : inne) += naSekunde;
            opis << QStringLiteral("%1:%2")
                        .arg(okno ? QStringLiteral("glowny") : po.nazwa)
                        .arg(naSekunde, 0, 'f', 2);
        }
    }
    Wynik("pobudki_glownego_na_s", glowny);
    Wynik("pobudki_glownego", glowny * s);
    Wynik("pobudki_innych_na_s", inne);
    Wynik("watki", opis.join(u','));
    Wynik("komunikaty", okna.Komunikaty());
    return 0;
}

int ScenariuszKoniecTransmisji(const Argumenty &a)
{
    const qint64 linie = a.value(QStringLiteral("linie")).toLongLong();
    const bool podglad = a.value(QStringLiteral("podglad")) == QLatin1String("1");
    Okna okna;
    frmKonfiguracja->chbPodglad->setChecked(podglad);

    GeneratorRaportu g;
    const QByteArray raport = RaportLinii(linie, &g);
    Wynik("bajty", double(raport.size()));

    // The report arrives as it would from the line, in 4 KiB pieces, and
    // the bookkeeping of the last chunk leaves the window as reception does.
    const qint64 tw0 = TerazNs();
    for (qsizetype i = 0; i < raport.size(); i += 4096)
        frmMain->memDane->DodajBajty(raport.mid(i, 4096));
    const qint64 tw1 = TerazNs();
    Komunikaty::Chron([] { frmMain->OdbiorDanych(); });
    frmMain->timTransmisja->stop();
    QCoreApplication::processEvents();

    // The analysis alone, on the same bytes, for comparison.
    QString od, do_;
    const qint64 ta0 = TerazNs();
    AnalizujRaport(frmMain->memDane->Bajty(), od, do_);
    const qint64 ta1 = TerazNs();

    const qint64 t0 = TerazNs();
    Komunikaty::Chron([] { frmMain->timTransmisjaTimer(); });
    const qint64 t1 = TerazNs();
    QCoreApplication::processEvents();
    const qint64 t2 = TerazNs();

    Wynik("wypelnianie_ms", Ms(tw1 - tw0));
    Wynik("sama_analiza_ms", Ms(ta1 - ta0));
    Wynik("do_konca_analizy_ms", Ms(t1 - t0));
    Wynik("do_pokazania_ms", Ms(t2 - t0));
    const bool dobrze = frmMain->TekstPanelu(1) == QStringLiteral("Od: ") + g.PierwszyDzien() &&
                        frmMain->TekstPanelu(2) == QStringLiteral("Do: ") + g.OstatniDzien() &&
                        frmMain->memDane->isVisible() && !frmPasek->isVisible() &&
                        frmMain->memDane->LiczbaLinii() == linie;
    Wynik("wynik_dobry", dobrze ? 1 : 0);
    Wynik("komunikaty", okna.Komunikaty());
    return 0;
}

int ScenariuszOdbior(const Argumenty &a)
{
    const QString plik = a.value(QStringLiteral("plik"));
    const bool podglad = a.value(QStringLiteral("podglad")) == QLatin1String("1");
    const int limitMs = a.value(QStringLiteral("limit_s"), QStringLiteral("600")).toInt() * 1000;
    const qint64 rozmiar = QFileInfo(plik).size();

    Okna okna;
    frmKonfiguracja->chbPodglad->setChecked(podglad);
    Symulator sim(OpcjeSymulatora(plik));
    frmMain->port->SetPort(sim.Port());

    // The poll that the device answers starts the clock: the serial
    // component may gather bytes before the window hears of them, so the
    // first chunk handed to the window is no start. The plain reader is
    // timed the same way, from its poll on.
    qint64 tPytanie = -1;
    double cpuPytanie = 0;
    QObject::connect(frmMain->timPytanie, &QTimer::timeout, frmMain, [&] {
        // Runs after the window's own handler has written the poll.
        tPytanie = TerazNs();
        cpuPytanie = CzasCpuS();
    });

    // Every chunk passes through here on its way to the window's handler.
    struct
    {
        qint64 tPierwszy = -1, tOstatni = -1;
        qint64 tPierwszaPorcja = -1; // the first chunk reaches the window
        double cpuPierwszy = 0, cpuOstatni = 0;
        int porcje = 0;
        int najwiekszaPorcja = 0;
        int synchronizacje = 0; // the journal's flushes when the last chunk was handled
    } rx;
    const auto handler = frmMain->port->OnRxChar;
    frmMain->port->OnRxChar = [&](TCustomComPort *p, int ile) {
        if (rx.tPierwszy < 0) {
            rx.tPierwszy = tPytanie >= 0 ? tPytanie : TerazNs();
            rx.cpuPierwszy = tPytanie >= 0 ? cpuPytanie : CzasCpuS();
            rx.tPierwszaPorcja = TerazNs();
        }
        handler(p, ile);
        rx.tOstatni = TerazNs();
        rx.cpuOstatni = CzasCpuS();
        rx.synchronizacje = frmMain->dziennik->Synchronizacje();
        ++rx.porcje;
        rx.najwiekszaPorcja = qMax(rx.najwiekszaPorcja, ile);
    };

    // The end of transmission runs the window's own handler, timed.
    QEventLoop petla;
    qint64 tAnaliza = -1, tPoAnalizie = -1;
    int analizy = 0;
    QObject::disconnect(frmMain->timTransmisja, &QTimer::timeout, frmMain, nullptr);
    QObject::connect(frmMain->timTransmisja, &QTimer::timeout, frmMain, [&] {
        tAnaliza = TerazNs();
        Komunikaty::Chron([] { frmMain->timTransmisjaTimer(); });
        tPoAnalizie = TerazNs();
        ++analizy;
        if (frmMain->memDane->Bajty().size() >= rozmiar)
            petla.quit();
    });

    // A 10 ms timer tells how long the window left its events waiting.
    std::vector<std::pair<qint64, qint64>> tyki; // time, gap since the previous tick
    tyki.reserve(1 << 16);
    qint64 poprzedni = 0;
    QTimer zegar;
    zegar.setTimerType(Qt::PreciseTimer);
    zegar.setInterval(10);
    QObject::connect(&zegar, &QTimer::timeout, [&] {
        const qint64 t = TerazNs();
        if (poprzedni)
            tyki.emplace_back(t, t - poprzedni);
        poprzedni = t;
    });
    zegar.start();

    const QMap<int, double> cpuWatkow0 = CpuWatkow();
    QCoreApplication::processEvents();
    ZerujSzczytRss();
    const qint64 rssBaza = RssKb();
    const double cpu0 = CzasCpuS();

    Komunikaty::Chron([] { frmMain->tobPolaczClick(); });
    Petla(petla, limitMs);
    zegar.stop();
    QCoreApplication::processEvents();
    const qint64 tPokazane = TerazNs();
    const double cpu1 = CzasCpuS();
    const qint64 szczyt = SzczytRssKb();
    const QMap<int, double> cpuWatkow1 = CpuWatkow();

    const qint64 odebrane = frmMain->memDane->Bajty().size();
    const bool skonczone = analizy > 0 && odebrane >= rozmiar;
    Wynik("rozmiar", double(rozmiar));
    Wynik("odebrane", double(odebrane));
    Wynik("skonczone", skonczone ? 1 : 0);
    Wynik("analizy", analizy);
    Wynik("porcje", rx.porcje);
    Wynik("najwieksza_porcja", rx.najwiekszaPorcja);
    if (rx.tPierwszy >= 0 && rx.tOstatni > rx.tPierwszy) {
        const double s = double(rx.tOstatni - rx.tPierwszy) / 1e9;
        const double mib = double(odebrane) / kMiB;
        Wynik("mib_s", mib / s);
        Wynik("odbior_s", s);
        Wynik("pytanie_do_pierwszej_porcji_ms", Ms(rx.tPierwszaPorcja - rx.tPierwszy));
        Wynik("cpu_s_na_mib", (rx.cpuOstatni - rx.cpuPierwszy) / mib);
        Wynik("cpu_calosc_s_na_mib", (cpu1 - cpu0) / mib);
    }
    if (tAnaliza >= 0) {
        Wynik("analiza_ms", Ms(tPoAnalizie - tAnaliza));
        Wynik("ostatnia_porcja_do_pokazania_ms", Ms(tPokazane - rx.tOstatni));
    }
    qint64 najgorszeOdbior = 0, najgorszeCalosc = 0;
    for (const auto &[t, przerwa] : tyki) {
        const qint64 spoznienie = przerwa - 10'000'000;
        najgorszeCalosc = qMax(najgorszeCalosc, spoznienie);
        if (t > rx.tPierwszy && t - przerwa < rx.tOstatni)
            najgorszeOdbior = qMax(najgorszeOdbior, spoznienie);
    }
    Wynik("spoznienie_odbior_ms", Ms(najgorszeOdbior));
    Wynik("spoznienie_calosc_ms", Ms(najgorszeCalosc));
    Wynik("rss_baza_kib", double(rssBaza));
    Wynik("rss_szczyt_kib", double(szczyt));
    if (rozmiar > 0)
        Wynik("pamiec_x", double(szczyt - rssBaza) * 1024.0 / double(rozmiar));

    // CPU of the window's thread and of the others (the serial event thread).
    double glowny = 0, inne = 0;
    for (auto it = cpuWatkow1.cbegin(); it != cpuWatkow1.cend(); ++it) {
        const double d = it.value() - cpuWatkow0.value(it.key(), 0.0);
        (it.key() == getpid() ? glowny : inne) += d;
    }
    Wynik("cpu_glowny_s", glowny);
    Wynik("cpu_inne_s", inne);

    const bool dni =
        frmMain->TekstPanelu(1) == QStringLiteral("Od: ") + a.value(QStringLiteral("od")) &&
        frmMain->TekstPanelu(2) == QStringLiteral("Do: ") + a.value(QStringLiteral("do"));
    Wynik("dni_dobre", dni ? 1 : 0);
    Wynik("pokazane", frmMain->memDane->isVisible() ? 1 : 0);
    WynikPorownania(Porownaj(frmMain->memDane->Bajty(), plik));

    // The journal: when the whole report is in it after the last chunk and
    // flushed (its thread writes and flushes on its own), and whether it
    // holds the bytes.
    const QString dziennik = KatalogStanu() + QStringLiteral("/raport-1.dziennik");
    const QByteArray ogon = frmMain->memDane->Bajty().right(64);
    qint64 tDziennik = -1;
    for (int i = 0; i < 4000 && tDziennik < 0; ++i) {
        QFile f(dziennik);
        if (frmMain->dziennik->Synchronizacje() > rx.synchronizacje &&
            f.open(QIODevice::ReadOnly) && f.size() >= rozmiar && f.seek(f.size() - ogon.size()) &&
            f.read(ogon.size()) == ogon)
            tDziennik = TerazNs();
        else
            usleep(5000);
    }
    if (tDziennik >= 0 && rx.tOstatni >= 0)
        Wynik("dziennik_po_ostatniej_porcji_ms", Ms(tDziennik - rx.tOstatni));
    QFile f(dziennik);
    const QByteArray zawartosc = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    const Porownanie p = Porownaj(zawartosc.mid(zawartosc.indexOf("\n\n") + 2), plik);
    Wynik("dziennik_zgodny", p.utracone == 0 && p.nadmiarowe == 0 && p.zmienione == 0 ? 1 : 0);
    Wynik("dziennik_zapisy", frmMain->dziennik->Zapisy());
    Wynik("dziennik_synchronizacje", frmMain->dziennik->Synchronizacje());
    Wynik("komunikaty", okna.Komunikaty());
    return 0;
}

int ScenariuszCzytnik(const Argumenty &a)
{
    const QString plik = a.value(QStringLiteral("plik"));
    const qint64 rozmiar = QFileInfo(plik).size();
    Symulator sim(OpcjeSymulatora(plik));

    const int fd = ::open(QFile::encodeName(sim.Port()).constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Wynik("blad", QStringLiteral("cannot open ") + sim.Port());
        return 1;
    }
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    tcsetattr(fd, TCSANOW, &t);

    QByteArray dane;
    qint64 tPierwszy = -1, tOstatni = -1;
    double cpuPierwszy = 0, cpuOstatni = 0;
    qint64 odczyty = 0;
    // Timed from the poll on, as the window is.
    tPierwszy = TerazNs();
    cpuPierwszy = CzasCpuS();
    if (::write(fd, "\r", 1) != 1) {
        Wynik("blad", QStringLiteral("cannot poll"));
        return 1;
    }
    bool pierwszy = true;
    char bufor[65536];
    while (dane.size() < rozmiar) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, pierwszy ? 10000 : 2000) <= 0)
            break;
        const ssize_t n = ::read(fd, bufor, sizeof bufor);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            break;
        pierwszy = false;
        dane.append(bufor, n);
        ++odczyty;
        tOstatni = TerazNs();
        cpuOstatni = CzasCpuS();
    }
    ::close(fd);

    Wynik("rozmiar", double(rozmiar));
    Wynik("odebrane", double(dane.size()));
    Wynik("odczyty", double(odczyty));
    if (tOstatni > tPierwszy) {
        const double s = double(tOstatni - tPierwszy) / 1e9;
        const double mib = double(dane.size()) / kMiB;
        Wynik("mib_s", mib / s);
        Wynik("odbior_s", s);
        Wynik("cpu_s_na_mib", (cpuOstatni - cpuPierwszy) / mib);
    }
    WynikPorownania(Porownaj(dane, plik));
    return 0;
}

} // namespace bench
