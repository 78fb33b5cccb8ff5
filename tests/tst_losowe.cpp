// Many downloads in a row through the simulator, with random reports, random
// chunk sizes and random pauses below the half second that ends a report;
// then devices lost in the middle of a report.
//
//   VESTIBULOMAT_LOSOWE  number of transfers (default 15; 1000 for a long run)
//   VESTIBULOMAT_UTRATY  number of device losses (default 5; 100 for a long run)
//   VESTIBULOMAT_ZIARNO  seed, to repeat a run that failed (printed at start)

#include "CPort.h"
#include "Komunikaty.h"
#include "OknaTestowe.h"
#include "Pomocnicze.h"
#include "Postep.h"
#include "RaportView.h"
#include "Symulator.h"
#include "Zapis.h"
#include "konfiguracja.h"
#include "main.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>
#include <sys/resource.h>

namespace {

constexpr int kLimitMs = 30000; // bound for every wait: a fault fails, never hangs

int ZeZmiennej(const char *nazwa, int domyslnie)
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue(nazwa, &ok);
    return ok && n >= 0 ? n : domyslnie;
}

// Random bytes with a NUL, a bare CR and a CR LF among them once there is
// room for them.
QByteArray LosoweBajty(QRandomGenerator &los, int ile)
{
    QByteArray b(ile, '\0');
    for (char &c : b)
        c = char(los.bounded(256));
    if (ile >= 5) {
        const int i = int(los.bounded(ile - 4));
        b[i] = '\0';
        b[i + 1] = '\r';
        b[i + 2] = 'x';
        b[i + 3] = '\r';
        b[i + 4] = '\n';
    }
    return b;
}

// The names of this process's threads (Qt names its own: "QtTest Watchdog",
// "Thread (pooled)"; a thread of ours carries the program's name).
QStringList NazwyWatkow()
{
    QStringList nazwy;
    const QDir zadania(QStringLiteral("/proc/self/task"));
    for (const QString &id : zadania.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(zadania.filePath(id + QStringLiteral("/comm")));
        if (f.open(QIODevice::ReadOnly))
            nazwy << QString::fromLocal8Bit(f.readAll().trimmed());
    }
    return nazwy;
}

// Threads of our own besides the main one: the serial event thread while a
// port is open.
int NaszeWatki()
{
    QFile f(QStringLiteral("/proc/self/comm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return int(NazwyWatkow().count(QString::fromLocal8Bit(f.readAll().trimmed()))) - 1;
}

// CPU time used by this process so far, in milliseconds.
qint64 CzasProcesora()
{
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    auto ms = [](const timeval &t) { return qint64(t.tv_sec) * 1000 + t.tv_usec / 1000; };
    return ms(r.ru_utime) + ms(r.ru_stime);
}

struct Przesyl
{
    QByteArray raport;
    int kawalek = 64;
    int przerwa = 0;
    bool podglad = false;
    bool synchronizacja = false;

    QString Opis(int nr) const
    {
        return QStringLiteral("transfer %1: %2 bytes, chunk %3, gap %4 ms, preview %5, clock %6")
            .arg(nr)
            .arg(raport.size())
            .arg(kawalek)
            .arg(przerwa)
            .arg(podglad)
            .arg(synchronizacja);
    }
};

// Sizes and pauses as a device might send them: mostly short pauses, a few
// long ones below half a second, and never so many writes that one transfer
// takes long.
Przesyl LosowyPrzesyl(QRandomGenerator &los)
{
    Przesyl p;
    const int rodzaj = int(los.bounded(100));
    const int rozmiar = rodzaj < 3    ? 1
                        : rodzaj < 75 ? 1 + int(los.bounded(4000))
                                      : 4000 + int(los.bounded(60000));
    p.raport = LosoweBajty(los, rozmiar);
    const int r = int(los.bounded(100));
    p.przerwa = r < 70   ? int(los.bounded(20))
                : r < 95 ? 20 + int(los.bounded(130))
                         : 150 + int(los.bounded(151));
    // At most about a second of pauses, and at most 2000 writes.
    const int najwiecejZapisow = qMin(2000, 1000 / qMax(1, p.przerwa) + 1);
    const int najmniejszy = (rozmiar + najwiecejZapisow - 1) / najwiecejZapisow;
    p.kawalek = qMax(najmniejszy, 1 + int(los.bounded(qMin(rozmiar, 2048))));
    p.podglad = los.bounded(2) == 0;
    p.synchronizacja = los.bounded(2) == 0;
    return p;
}

} // namespace

class TstLosowe : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void losowePrzesylyZapisaneBajtWBajt();
    void utratyUrzadzeniaWTrakcieRaportu();

private:
    // Starts a simulator sending raport as p says and points the port at it.
    std::unique_ptr<Symulator> uruchom(const Przesyl &p, const QStringList &dodatkowe = {});
    QString zapiszPlik(const QString &nazwa, const QByteArray &dane);
    int analizy() const { return int(koniecTransmisji->count()); }

    quint32 ziarno = 0;
    std::unique_ptr<OknaTestowe> tmp; // the program directory with the windows
    std::unique_ptr<QSignalSpy> koniecTransmisji;
    Pudelka pudelka;
    QString sciezkaZapisu;
};

void TstLosowe::initTestCase()
{
    QVERIFY2(!Symulator::Program().isEmpty(), "the simulator was not found (VESTIBULOMAT_SIM)");
    bool ok = false;
    ziarno = qEnvironmentVariable("VESTIBULOMAT_ZIARNO").toUInt(&ok);
    if (!ok)
        ziarno = QRandomGenerator::global()->generate();
    qInfo("VESTIBULOMAT_ZIARNO=%u", ziarno);
}

void TstLosowe::init()
{
    pudelka.clear();
    sciezkaZapisu.clear();
    tmp = std::make_unique<OknaTestowe>(
        pudelka.Zapisuj(), // "Nie" to the question about an unsaved report
        [this](const QString &, const QString &) { return sciezkaZapisu; });
    QVERIFY(tmp->isValid());
    frmMain->show();
    koniecTransmisji = std::make_unique<QSignalSpy>(frmMain->timTransmisja, &QTimer::timeout);
    // Polls every 100 ms instead of every second: the first byte comes sooner.
    frmMain->timPytanie->setInterval(100);
}

void TstLosowe::cleanup()
{
    koniecTransmisji.reset();
    tmp.reset();
}

QString TstLosowe::zapiszPlik(const QString &nazwa, const QByteArray &dane)
{
    const QString sciezka = tmp->filePath(nazwa);
    QFile f(sciezka);
    if (!f.open(QIODevice::WriteOnly) || f.write(dane) != dane.size())
        return QString();
    return sciezka;
}

std::unique_ptr<Symulator> TstLosowe::uruchom(const Przesyl &p, const QStringList &dodatkowe)
{
    const QString plik = zapiszPlik(QStringLiteral("wysylany.bin"), p.raport);
    if (plik.isEmpty())
        return nullptr;
    auto sim = std::make_unique<Symulator>(QStringList{"--report", plik, "--chunk",
                                                       QString::number(p.kawalek), "--gap",
                                                       QString::number(p.przerwa), "--quiet", "0"} +
                                           dodatkowe);
    if (!sim->Ok())
        return nullptr;
    frmKonfiguracja->chbPodglad->setChecked(p.podglad);
    frmKonfiguracja->chbSynchronizuj->setChecked(p.synchronizacja);
    // As the configuration dialog does it: an open port moves to the new name.
    frmMain->port->SetPort(sim->Port());
    return sim;
}

void TstLosowe::losowePrzesylyZapisaneBajtWBajt()
{
    const int ile = ZeZmiennej("VESTIBULOMAT_LOSOWE", 15);
    QRandomGenerator los(ziarno);
    std::unique_ptr<Symulator> poprzedni;
    for (int nr = 1; nr <= ile; ++nr) {
        const Przesyl p = LosowyPrzesyl(los);
        const QString opis = p.Opis(nr);
        std::unique_ptr<Symulator> sim = uruchom(p);
        QVERIFY2(sim, qPrintable(opis));
        poprzedni = std::move(sim); // the one before is stopped only now

        frmMain->tobPolacz->click();
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         return analizy() >= nr &&
                                frmMain->memDane->Bajty().size() >= p.raport.size();
                     },
                     kLimitMs),
                 qPrintable(opis + QStringLiteral(", received %1 bytes in %2 receptions")
                                       .arg(frmMain->memDane->Bajty().size())
                                       .arg(analizy() - nr + 1)));
        // One reception per report, whatever the chunks and pauses.
        QVERIFY2(analizy() == nr, qPrintable(opis));
        QVERIFY2(frmMain->memDane->Bajty() == p.raport, qPrintable(opis));
        QVERIFY2(frmMain->memDane->isVisible() && !frmPasek->isVisible() &&
                     !QApplication::overrideCursor(),
                 qPrintable(opis));

        sciezkaZapisu = tmp->filePath(QStringLiteral("raport%1.txt").arg(nr));
        frmMain->tobZapisz->click();
        QFile zapisany(sciezkaZapisu);
        QVERIFY2(zapisany.open(QIODevice::ReadOnly), qPrintable(opis));
        QVERIFY2(zapisany.readAll() == p.raport, qPrintable(opis));
        zapisany.remove();
        QVERIFY2(!frmMain->NiezapisaneDane, qPrintable(opis));
        QVERIFY2(pudelka.isEmpty(), qPrintable(opis + QStringLiteral(": ") + pudelka.Opis()));
    }
}

void TstLosowe::utratyUrzadzeniaWTrakcieRaportu()
{
    const int ile = ZeZmiennej("VESTIBULOMAT_UTRATY", 5);
    QRandomGenerator los(ziarno ^ 0x5a5a5a5au);
    int oczekiwaneAnalizy = 0;
    bool niezapisane = false; // the last run left a part never saved
    for (int nr = 1; nr <= ile; ++nr) {
        Przesyl p;
        p.raport = LosoweBajty(los, 500 + int(los.bounded(20000)));
        p.kawalek = 16 + int(los.bounded(500));
        p.przerwa = int(los.bounded(15));
        p.podglad = los.bounded(2) == 0;
        const int doUtraty = 1 + int(los.bounded(p.raport.size() - 1));
        const QString opis = p.Opis(nr) + QStringLiteral(", lost after %1").arg(doUtraty);

        const int watkiBezPortu = NaszeWatki();
        std::unique_ptr<Symulator> sim = uruchom(p, {"--drop-after", QString::number(doUtraty)});
        QVERIFY2(sim, qPrintable(opis));
        const int bylyPudelka = int(pudelka.size());
        frmMain->tobPolacz->click();
        // The event thread (with a short-lived helper at times) runs while open.
        QVERIFY2(NaszeWatki() > watkiBezPortu, qPrintable(opis));
        QVERIFY2(frmMain->port->Connected(),
                 qPrintable(opis + QStringLiteral(": ") + pudelka.Opis()));

        QVERIFY2(sim->CzekajNaKoniec(kLimitMs) && sim->KodWyjscia() == 3,
                 qPrintable(opis + QStringLiteral(", simulator exit %1: ").arg(sim->KodWyjscia()) +
                            QString::fromLocal8Bit(sim->BledyProcesu())));
        // The loss is told after the last chunk has been taken in, so once
        // the port is closed only the analysis of what came may be pending.
        QVERIFY2(
            QTest::qWaitFor(
                [&] { return !frmMain->port->Connected() && !frmMain->timTransmisja->isActive(); },
                kLimitMs),
            qPrintable(opis));
        // The event thread has ended with the port: nothing is left spinning.
        QVERIFY2(QTest::qWaitFor([&] { return NaszeWatki() == watkiBezPortu; }, kLimitMs),
                 qPrintable(opis + QStringLiteral(", threads %1 (%2), before %3")
                                       .arg(NaszeWatki())
                                       .arg(NazwyWatkow().join(u','))
                                       .arg(watkiBezPortu)));

        // What arrived before the loss is kept in order and analysed. The
        // kernel throws away what the program had not read yet when the line
        // hung up, so on a busy machine the tail may be missing.
        const QByteArray odebrane = frmMain->memDane->Bajty();
        QVERIFY2(odebrane.size() <= doUtraty && p.raport.startsWith(odebrane),
                 qPrintable(opis + QStringLiteral(", received %1").arg(odebrane.size())));
        if (!odebrane.isEmpty()) {
            ++oczekiwaneAnalizy;
            QVERIFY2(frmMain->memDane->isVisible() && !frmPasek->isVisible() &&
                         !QApplication::overrideCursor(),
                     qPrintable(opis));
        }
        QVERIFY2(analizy() == oczekiwaneAnalizy, qPrintable(opis));
        QVERIFY2(!frmMain->timPytanie->isActive() && !frmMain->timTimeOut->isActive(),
                 qPrintable(opis));

        // One error box for the loss, after the question about the part
        // received the time before, if one came.
        QList<Komunikaty::Rodzaj> rodzaje;
        for (qsizetype i = bylyPudelka; i < pudelka.size(); ++i)
            rodzaje << pudelka[i].rodzaj;
        QList<Komunikaty::Rodzaj> oczekiwane{Komunikaty::Rodzaj::Blad};
        if (niezapisane)
            oczekiwane.prepend(Komunikaty::Rodzaj::Pytanie);
        QVERIFY2(rodzaje == oczekiwane, qPrintable(opis + QStringLiteral(": ") + pudelka.Opis()));
        niezapisane = !odebrane.isEmpty();
        QCOMPARE(frmMain->NiezapisaneDane, niezapisane);
    }

    // A second of idleness after the losses costs next to no processor time.
    const qint64 przed = CzasProcesora();
    QTest::qWait(1000);
    const qint64 zuzyte = CzasProcesora() - przed;
    QVERIFY2(zuzyte < 300, qPrintable(QStringLiteral("%1 ms of CPU while idle").arg(zuzyte)));

    // And the next download works.
    Przesyl p;
    p.raport = LosoweBajty(los, 3000);
    p.kawalek = 100;
    p.przerwa = 5;
    std::unique_ptr<Symulator> sim = uruchom(p);
    QVERIFY(sim);
    frmMain->tobPolacz->click();
    QVERIFY(QTest::qWaitFor([&] { return analizy() > oczekiwaneAnalizy; }, kLimitMs));
    QCOMPARE(frmMain->memDane->Bajty(), p.raport);
}

int main(int argc, char **argv)
{
    // A long run on demand outlasts the test library's five-minute limit for
    // one test function; give it about three seconds per download.
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT")) {
        const qint64 ile =
            qMax(ZeZmiennej("VESTIBULOMAT_LOSOWE", 15), ZeZmiennej("VESTIBULOMAT_UTRATY", 5));
        qputenv("QTEST_FUNCTION_TIMEOUT",
                QByteArray::number(qMax<qint64>(300000, 60000 + ile * 3000)));
    }
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TstLosowe test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_losowe.moc"
