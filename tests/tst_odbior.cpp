// Downloads from end to end: the main window, offscreen, against a counting
// device on a pseudo-terminal. The device is either the test itself on the
// master side of a pty pair (when the exact bytes and their timing matter) or
// the simulator.

#include "CPort.h"
#include "Komunikaty.h"
#include "LiniaKomunikatu.h"
#include "MagistralaTestowa.h"
#include "OknaTestowe.h"
#include "Pomocnicze.h"
#include "Postep.h"
#include "PtyPair.h"
#include "RaportView.h"
#include "Symulator.h"
#include "Urzadzenie.h"
#include "Uwaga.h"
#include "Zapis.h"
#include "ZwolnieniePortu.h"
#include "konfiguracja.h"
#include "main.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>

namespace {

// A bound for every wait, so that a fault fails the test instead of hanging
// it; nothing here depends on how fast anything runs.
constexpr int kLimitMs = 20000;

// Random report bytes with a NUL, a bare CR, a CR LF and a bare LF among them.
QByteArray LosoweBajty(QRandomGenerator &los, int ile)
{
    QByteArray b(ile, '\0');
    for (char &c : b)
        c = char(los.bounded(256));
    if (ile >= 6) {
        b[1] = '\0';
        b[2] = '\r';
        b[3] = 'x';
        b[ile - 3] = '\r';
        b[ile - 2] = '\n';
        b[ile - 1] = '\n';
    }
    return b;
}

QByteArray Polacz(const QList<QByteArray> &kawalki)
{
    QByteArray wszystko;
    for (const QByteArray &k : kawalki)
        wszystko += k;
    return wszystko;
}

// How the device goes away while it is polled.
enum Utrata { ZamknietyPty, ZapisPoZamknieciu, ZatrzymanySymulator };

// The local time a clock command carries ("Z" yyMMddhhnnss).
QDateTime CzasKomendy(const QByteArray &komenda)
{
    auto pole = [&](int i) { return komenda.mid(1 + 2 * i, 2).toInt(); };
    return QDateTime(QDate(2000 + pole(0), pole(1), pole(2)), QTime(pole(3), pole(4), pole(5)));
}

} // namespace

class TstOdbior : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void komendaZegara_data();
    void komendaZegara();

    void raportWKawalkachJestJednymRaportem_data();
    void raportWKawalkachJestJednymRaportem();
    void przerwaPolSekundyZaczynaDrugiOdbior();
    void raportZSymulatora_data();
    void raportZSymulatora();
    void bajtyWysylaneDoUrzadzenia_data();
    void bajtyWysylaneDoUrzadzenia();
    void danePrzedPierwszymZapytaniem();
    void podgladNaZywo_data();
    void podgladNaZywo();

    void milczaceUrzadzenieTakPonawia();
    void milczaceUrzadzenieNieKonczy_data();
    void milczaceUrzadzenieNieKonczy();
    void danePodczasPytaniaKoncza();

    void niezapisanyRaportPrzedNowymOdbiorem_data();
    void niezapisanyRaportPrzedNowymOdbiorem();
    void nieudanyZapisPrzedNowymOdbiorem();
    void portKtoregoNieMoznaOtworzyc_data();
    void portKtoregoNieMoznaOtworzyc();

    void utrataUrzadzeniaPodczasOdpytywania_data();
    void utrataUrzadzeniaPodczasOdpytywania();
    void utrataUrzadzeniaPodczasPytania();
    void utrataUrzadzeniaWTrakcieRaportu();

    void portDlaPobieraniaBezOkna_data();
    void portDlaPobieraniaBezOkna();

private:
    // Points the port at the device, sets the two check boxes.
    void przygotuj(const QString &port, bool podglad = false, bool synchronizacja = false);
    void kliknijPolacz() { frmMain->tobPolacz->click(); }
    // Sends the chunks with the given pauses between them (the device's pace).
    bool wyslij(PtyPair &pty, const QList<QByteArray> &kawalki, const QList<int> &przerwy = {});
    // Waits until the n-th end of transmission has run its analysis.
    bool czekajNaAnalize(int ile)
    {
        return QTest::qWaitFor([&] { return analizy() >= ile; }, kLimitMs);
    }
    int analizy() const { return int(koniecTransmisji->count()); }
    // Runs odpowiedz once, the first time the retry dialog is seen open.
    void gdyPytanie(std::function<void()> odpowiedz);
    // Receives from the program until warunek holds for what came so far.
    bool odbierzAz(PtyPair &pty, QByteArray &odebrane,
                   const std::function<bool(const QByteArray &)> &warunek);

    std::unique_ptr<OknaTestowe> tmp; // the program directory with the windows
    std::unique_ptr<QSignalSpy> koniecTransmisji;
    Pudelka pudelka;
    bool odpowiedzTak = false;
    QStringList dialogiZapisu; // proposed names the save dialog was opened with
    QString sciezkaZapisu;     // the save dialog's answer; empty cancels
    int otwarciaPortu = 0;
    int pytaniaUwaga = 0;
    QList<QTimer *> obserwatorzy;
};

void TstOdbior::init()
{
    pudelka.clear();
    odpowiedzTak = false;
    dialogiZapisu.clear();
    sciezkaZapisu.clear();
    otwarciaPortu = 0;
    pytaniaUwaga = 0;
    tmp = std::make_unique<OknaTestowe>(pudelka.Zapisuj(&odpowiedzTak),
                                        [this](const QString &, const QString &nazwa) {
                                            dialogiZapisu.append(nazwa);
                                            return sciezkaZapisu;
                                        });
    QVERIFY(tmp->isValid());
    frmMain->show();
    koniecTransmisji = std::make_unique<QSignalSpy>(frmMain->timTransmisja, &QTimer::timeout);
    frmMain->port->OnBeforeOpen = [this](TCustomComPort *) { ++otwarciaPortu; };
}

void TstOdbior::cleanup()
{
    qDeleteAll(obserwatorzy);
    obserwatorzy.clear();
    koniecTransmisji.reset();
    tmp.reset();
}

void TstOdbior::przygotuj(const QString &port, bool podglad, bool synchronizacja)
{
    frmMain->port->SetPort(port);
    frmKonfiguracja->chbPodglad->setChecked(podglad);
    frmKonfiguracja->chbSynchronizuj->setChecked(synchronizacja);
}

bool TstOdbior::wyslij(PtyPair &pty, const QList<QByteArray> &kawalki, const QList<int> &przerwy)
{
    for (int i = 0; i < kawalki.size(); ++i) {
        if (!pty.Send(kawalki[i]))
            return false;
        if (i < przerwy.size() && przerwy[i] > 0)
            QTest::qWait(przerwy[i]);
    }
    return true;
}

void TstOdbior::gdyPytanie(std::function<void()> odpowiedz)
{
    auto *t = new QTimer;
    obserwatorzy.append(t);
    QObject::connect(t, &QTimer::timeout, t, [this, t, odpowiedz] {
        if (!frmUwaga->isVisible())
            return;
        t->stop();
        ++pytaniaUwaga;
        odpowiedz();
    });
    t->start(5);
}

bool TstOdbior::odbierzAz(PtyPair &pty, QByteArray &odebrane,
                          const std::function<bool(const QByteArray &)> &warunek)
{
    return QTest::qWaitFor(
        [&] {
            odebrane += pty.ReceiveNow();
            return warunek(odebrane);
        },
        kLimitMs);
}

// --- the commands sent ----------------------------------------------------------

void TstOdbior::komendaZegara_data()
{
    QTest::addColumn<QDateTime>("czas");
    QTest::addColumn<QByteArray>("komenda");
    QTest::newRow("7 Dec 2026 07:44:19")
        << QDateTime(QDate(2026, 12, 7), QTime(7, 44, 19)) << QByteArray("Z261207074419");
    QTest::newRow("midnight") << QDateTime(QDate(2026, 1, 1), QTime(0, 0))
                              << QByteArray("Z260101000000");
    QTest::newRow("last second of a century")
        << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59)) << QByteArray("Z991231235959");
    QTest::newRow("year 2000, leap day")
        << QDateTime(QDate(2000, 2, 29), QTime(12, 5, 9)) << QByteArray("Z000229120509");
    QTest::newRow("next century keeps two digits")
        << QDateTime(QDate(2105, 3, 4), QTime(13, 0, 1)) << QByteArray("Z050304130001");
}

void TstOdbior::komendaZegara()
{
    QFETCH(QDateTime, czas);
    QFETCH(QByteArray, komenda);
    QCOMPARE(KomendaZegara(czas), komenda);
}

// --- reception --------------------------------------------------------------------

void TstOdbior::raportWKawalkachJestJednymRaportem_data()
{
    QTest::addColumn<QList<QByteArray>>("kawalki");
    QTest::addColumn<QList<int>>("przerwy");
    QTest::addColumn<int>("linie"); // lines the text area shows; -1: not checked

    QRandomGenerator los(20261207);
    {
        const QByteArray dane = LosoweBajty(los, 1500);
        QList<QByteArray> kawalki;
        QList<int> przerwy;
        for (int i = 0; i < dane.size();) {
            const int n = 1 + int(los.bounded(120));
            kawalki << dane.mid(i, n);
            przerwy << int(los.bounded(10) < 8 ? los.bounded(20) : los.bounded(150));
            i += n;
        }
        QTest::newRow("random bytes in small chunks") << kawalki << przerwy << -1;
    }
    QTest::newRow("CR and LF in separate chunks")
        << QList<QByteArray>{"Odwiedziny w dniu: 2026/12/01\r", "\n  08:00  25\r", "\n", "\r\n"}
        << QList<int>{30, 30, 30} << 3;
    QTest::newRow("bare CR, bare LF and NUL kept")
        << QList<QByteArray>{QByteArray("a\rb", 3), QByteArray("\n\0c\n", 4), QByteArray("d\r", 2)}
        << QList<int>{40, 40} << 4;
    QTest::newRow("one byte at a time")
        << QList<QByteArray>{"O", "k", "\r", "\n", "\xB3", "\xF3", QByteArray(1, '\0')}
        << QList<int>{5, 5, 5, 5, 5, 5} << 2;
    QTest::newRow("pauses up to 300 ms")
        << QList<QByteArray>{"Odwiedziny w dniu: 2026/12/01\r\n", "  08:00  25\r\n",
                             "Odwiedziny w dniu: 2026/12/02\r\n"}
        << QList<int>{300, 250} << 3;
}

void TstOdbior::raportWKawalkachJestJednymRaportem()
{
    QFETCH(QList<QByteArray>, kawalki);
    QFETCH(QList<int>, przerwy);
    QFETCH(int, linie);

    PtyPair pty;
    QVERIFY(pty.Ok());
    przygotuj(pty.SlaveName());
    kliknijPolacz();
    QVERIFY2(frmMain->port->Connected(), qPrintable(pudelka.Opis()));

    QVERIFY(wyslij(pty, kawalki, przerwy));
    const QByteArray wyslane = Polacz(kawalki);
    QVERIFY(czekajNaAnalize(1));
    QCOMPARE(frmMain->memDane->Bajty(), wyslane);
    if (linie >= 0)
        QCOMPARE(frmMain->memDane->LiczbaLinii(), linie);

    // One reception, one analysis; polling ended with the first chunk.
    QTest::qWait(100);
    QCOMPARE(analizy(), 1);
    QVERIFY(!frmMain->timPytanie->isActive());
    QVERIFY(!frmMain->timTimeOut->isActive());
    QVERIFY(frmMain->NiezapisaneDane);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobPolacz), int(obrPolaczDane));
    QVERIFY(frmMain->tobZapisz->isEnabled());
    QVERIFY(frmMain->tobMail->isEnabled());
    QVERIFY2(pudelka.isEmpty(), qPrintable(pudelka.Opis()));

    // And it is saved exactly as it came.
    sciezkaZapisu = tmp->filePath(QStringLiteral("raport.txt"));
    frmMain->tobZapisz->click();
    QCOMPARE(CzytajPlik(sciezkaZapisu, "<cannot read>"), wyslane);
}

void TstOdbior::przerwaPolSekundyZaczynaDrugiOdbior()
{
    PtyPair pty;
    QVERIFY(pty.Ok());
    przygotuj(pty.SlaveName());
    kliknijPolacz();

    const QByteArray pierwszy = "Odwiedziny w dniu: 2026/12/01\r\n  08:00  25\r\n"
                                "Odwiedziny w dniu: 2026/12/02\r\n";
    const QByteArray drugi = "Odwiedziny w dniu: 2026/12/03\r\nRazem\r\n";
    QVERIFY(pty.Send(pierwszy));
    QVERIFY(czekajNaAnalize(1));
    QCOMPARE(frmMain->DataOd, QStringLiteral(" 2026-12-01"));
    QCOMPARE(frmMain->DataDo, QStringLiteral(" 2026-12-02"));

    // The analysis ran, so half a second of silence has passed: what comes
    // now is a second reception, appended and analysed as a whole.
    QVERIFY(pty.Send(drugi));
    QVERIFY(czekajNaAnalize(2));
    QCOMPARE(frmMain->memDane->Bajty(), pierwszy + drugi);
    QCOMPARE(frmMain->DataOd, QStringLiteral(" 2026-12-01"));
    QCOMPARE(frmMain->DataDo, QStringLiteral(" 2026-12-03"));
    QCOMPARE(frmMain->TekstPanelu(1), QStringLiteral("Od:  2026-12-01"));
    QCOMPARE(frmMain->TekstPanelu(2), QStringLiteral("Do:  2026-12-03"));
    QVERIFY(frmMain->memDane->isVisible());
    QVERIFY(!frmPasek->isVisible());
}

void TstOdbior::raportZSymulatora_data()
{
    QTest::addColumn<QStringList>("przesylanie");
    QTest::newRow("small chunks") << QStringList{"--chunk", "50", "--gap", "2"};
    // Just under the half second of silence that ends a report: still one
    // report, one analysis.
    QTest::newRow("device pausing 450 ms inside its report")
        << QStringList{"--chunk", "600", "--gap", "450"};
}

void TstOdbior::raportZSymulatora()
{
    QFETCH(QStringList, przesylanie);
    Symulator sim(QStringList{"--days", "3", "--start-date", "2026-12-05", "--quiet", "0"} +
                  przesylanie);
    QVERIFY2(sim.Ok(), qPrintable(sim.Blad()));
    przygotuj(sim.Port());
    frmMain->timPytanie->setInterval(100);
    kliknijPolacz();
    QVERIFY(czekajNaAnalize(1));

    const QByteArray raport = frmMain->memDane->Bajty();
    QVERIFY2(raport.startsWith("Licznik odwiedzin - obiekt: Sala g\xB3\xF3wna\r\n"),
             raport.left(60).constData());
    QVERIFY(raport.contains("Razem odwiedzin: "));
    QCOMPARE(frmMain->DataOd, QStringLiteral(" 2026-12-05"));
    QCOMPARE(frmMain->DataDo, QStringLiteral(" 2026-12-07"));
    QCOMPARE(frmMain->TekstPanelu(1), QStringLiteral("Od:  2026-12-05"));
    QCOMPARE(analizy(), 1);
    QVERIFY2(pudelka.isEmpty(), qPrintable(pudelka.Opis()));
}

void TstOdbior::bajtyWysylaneDoUrzadzenia_data()
{
    QTest::addColumn<bool>("synchronizacja");
    QTest::newRow("clock sync on") << true;
    QTest::newRow("clock sync off") << false;
}

void TstOdbior::bajtyWysylaneDoUrzadzenia()
{
    QFETCH(bool, synchronizacja);
    PtyPair pty;
    QVERIFY(pty.Ok());
    przygotuj(pty.SlaveName(), false, synchronizacja);
    frmMain->timPytanie->setInterval(50);
    kliknijPolacz();

    QByteArray odebrane;
    QVERIFY(odbierzAz(pty, odebrane, [](const QByteArray &b) { return b.count('\r') >= 3; }));
    if (!synchronizacja) {
        QCOMPARE(odebrane, QByteArray(odebrane.size(), '\r'));
        return;
    }
    static const QRegularExpression wzor(QStringLiteral("^(Z\\d{12}\\r)+$"));
    QVERIFY2(wzor.match(QString::fromLatin1(odebrane)).hasMatch(), odebrane.constData());
    // Each command carries the PC's local time.
    const QDateTime teraz = QDateTime::currentDateTime();
    for (const QByteArray &komenda : odebrane.split('\r')) {
        if (komenda.isEmpty())
            continue;
        const QDateTime czas = CzasKomendy(komenda);
        QVERIFY2(czas.isValid(), komenda.constData());
        QVERIFY2(qAbs(czas.secsTo(teraz)) < 120, komenda.constData());
    }
}

void TstOdbior::danePrzedPierwszymZapytaniem()
{
    PtyPair pty;
    QVERIFY(pty.Ok());
    przygotuj(pty.SlaveName(), false, true);
    // The first poll is a second away; the device speaks first.
    frmMain->timPytanie->setInterval(5000);
    kliknijPolacz();
    const QByteArray dane = "Odwiedziny w dniu: 2026/12/01\r\n";
    QVERIFY(pty.Send(dane));
    QVERIFY(czekajNaAnalize(1));
    QCOMPARE(frmMain->memDane->Bajty(), dane);
    QVERIFY(!frmMain->timPytanie->isActive());
    QCOMPARE(pty.ReceiveNow(), QByteArray());
}

void TstOdbior::podgladNaZywo_data()
{
    QTest::addColumn<bool>("podglad");
    QTest::newRow("live preview on") << true;
    QTest::newRow("live preview off") << false;
}

void TstOdbior::podgladNaZywo()
{
    QFETCH(bool, podglad);
    PtyPair pty;
    QVERIFY(pty.Ok());
    przygotuj(pty.SlaveName(), podglad);
    kliknijPolacz();
    QCOMPARE(frmMain->memDane->isVisible(), podglad);

    // The analysis would end the reception after half a second; the test
    // stretches that pause so that it looks at the window during reception.
    frmMain->timTransmisja->setInterval(kLimitMs);
    QVERIFY(pty.Send("pierwszy\r\n"));
    QVERIFY(QTest::qWaitFor([] { return !frmMain->memDane->Bajty().isEmpty(); }, kLimitMs));
    QCOMPARE(frmMain->memDane->isVisible(), podglad);
    QCOMPARE(frmPasek->isVisible(), !podglad);
    const QCursor *kursor = QApplication::overrideCursor();
    if (podglad) {
        QVERIFY(!kursor);
    } else {
        QVERIFY(kursor && kursor->shape() == Qt::WaitCursor);
        QCOMPARE(frmPasek->gauPostep->Postep(), 1);
        // Closed by the user, the progress window comes back with the next
        // chunk, its bar starting again.
        frmPasek->close();
        QVERIFY(pty.Send("drugi\r\n"));
        QVERIFY(QTest::qWaitFor([] { return frmPasek->isVisible(); }, kLimitMs));
        QCOMPARE(frmPasek->gauPostep->Postep(), 1);
    }

    frmMain->timTransmisja->setInterval(500);
    frmMain->timTransmisja->start();
    QVERIFY(czekajNaAnalize(1));
    QVERIFY(frmMain->memDane->isVisible());
    QVERIFY(!frmPasek->isVisible());
    QVERIFY(!QApplication::overrideCursor());
}

// --- a device that does not answer ------------------------------------------------

void TstOdbior::milczaceUrzadzenieTakPonawia()
{
    PtyPair pty;
    QVERIFY(pty.Ok());
    przygotuj(pty.SlaveName());
    frmMain->timPytanie->setInterval(20);
    frmMain->timTimeOut->setInterval(300);
    kliknijPolacz();

    int pollePrzedPonowieniem = -1;
    QByteArray odebrane;
    gdyPytanie([&] {
        QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobPolacz), int(obrPolaczBezczynny));
        QVERIFY(frmMain->timPytanie->isActive());
        QVERIFY(!frmMain->timTimeOut->isActive());
        odebrane += pty.ReceiveNow();
        pollePrzedPonowieniem = int(odebrane.count('\r'));
        frmUwaga->Button1Click();
        // The second question comes after a fresh no-answer interval.
        gdyPytanie([&] {
            odebrane += pty.ReceiveNow();
            frmUwaga->Button2Click();
        });
    });
    QVERIFY(QTest::qWaitFor([&] { return pytaniaUwaga == 2 && !frmUwaga->isVisible(); }, kLimitMs));
    QVERIFY(pollePrzedPonowieniem > 0);
    // Polling went on between the two questions.
    QVERIFY2(odebrane.count('\r') > pollePrzedPonowieniem, odebrane.constData());
    QCOMPARE(odebrane, QByteArray(odebrane.size(), '\r'));
    QCOMPARE(otwarciaPortu, 1);
    QVERIFY(pudelka.isEmpty());
}

void TstOdbior::milczaceUrzadzenieNieKonczy_data()
{
    QTest::addColumn<bool>("przezRamke");
    QTest::newRow("&Nie") << false;
    QTest::newRow("closed through its frame") << true;
}

void TstOdbior::milczaceUrzadzenieNieKonczy()
{
    QFETCH(bool, przezRamke);
    PtyPair pty;
    QVERIFY(pty.Ok());
    przygotuj(pty.SlaveName());
    frmMain->timPytanie->setInterval(20);
    frmMain->timTimeOut->setInterval(300);
    kliknijPolacz();
    gdyPytanie([&] {
        if (przezRamke)
            frmUwaga->close();
        else
            frmUwaga->Button2Click();
    });
    QVERIFY(QTest::qWaitFor([&] { return pytaniaUwaga == 1 && !frmUwaga->isVisible(); }, kLimitMs));
    QVERIFY(QTest::qWaitFor([] { return !frmMain->timPytanie->isActive(); }, kLimitMs));
    QVERIFY(!frmMain->timTimeOut->isActive());
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobPolacz), int(obrPolaczBezczynny));
    QVERIFY(frmMain->port->Connected());

    // No more polls go out.
    pty.ReceiveNow();
    QTest::qWait(150);
    QCOMPARE(pty.ReceiveNow(), QByteArray());

    // The next download uses the port that is still open.
    kliknijPolacz();
    QCOMPARE(otwarciaPortu, 1);
    QVERIFY(frmMain->timPytanie->isActive());
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobPolacz), int(obrPolaczCzeka));
    QByteArray odebrane;
    QVERIFY(odbierzAz(pty, odebrane, [](const QByteArray &b) { return b.contains('\r'); }));
    QVERIFY(pty.Send("Odwiedziny w dniu: 2026/12/01\r\n"));
    QVERIFY(czekajNaAnalize(1));
    QCOMPARE(frmMain->DataOd, QStringLiteral(" 2026-12-01"));
    QVERIFY(pudelka.isEmpty());
}

void TstOdbior::danePodczasPytaniaKoncza()
{
    PtyPair pty;
    QVERIFY(pty.Ok());
    przygotuj(pty.SlaveName());
    frmMain->timPytanie->setInterval(20);
    frmMain->timTimeOut->setInterval(300);
    kliknijPolacz();
    const QByteArray dane = "Odwiedziny w dniu: 2026/12/01\r\n";
    gdyPytanie([&] { QVERIFY(pty.Send(dane)); });

    QVERIFY(czekajNaAnalize(1));
    QCOMPARE(pytaniaUwaga, 1);
    QVERIFY(!frmUwaga->isVisible());
    QCOMPARE(frmMain->memDane->Bajty(), dane);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobPolacz), int(obrPolaczDane));
    QVERIFY(!frmMain->timPytanie->isActive());
    QVERIFY(frmMain->NiezapisaneDane);
    QVERIFY(pudelka.isEmpty());
}

// --- the question about a report not saved, and failures ---------------------------

void TstOdbior::niezapisanyRaportPrzedNowymOdbiorem_data()
{
    QTest::addColumn<bool>("tak");
    QTest::addColumn<bool>("zatwierdzony"); // the save dialog confirmed
    QTest::newRow("Yes, saved") << true << true;
    QTest::newRow("Yes, save dialog cancelled") << true << false;
    QTest::newRow("No") << false << false;
}

void TstOdbior::niezapisanyRaportPrzedNowymOdbiorem()
{
    QFETCH(bool, tak);
    QFETCH(bool, zatwierdzony);
    PtyPair pty;
    QVERIFY(pty.Ok());
    przygotuj(pty.SlaveName());
    kliknijPolacz();
    const QByteArray stary = QByteArray("Odwiedziny w dniu: 2026/12/01\r\n\0x\r\n", 36);
    QVERIFY(pty.Send(stary));
    QVERIFY(czekajNaAnalize(1));
    QVERIFY(frmMain->NiezapisaneDane);

    odpowiedzTak = tak;
    const QString plik = tmp->filePath(QStringLiteral("stary.txt"));
    sciezkaZapisu = zatwierdzony ? plik : QString();
    kliknijPolacz();

    QCOMPARE(pudelka.size(), 1);
    QCOMPARE(pudelka[0].rodzaj, Komunikaty::Rodzaj::Pytanie);
    QCOMPARE(pudelka[0].tekst,
             QStringLiteral("Czy chcesz zapisać dane przed odczytaniem nowej serii danych?"));
    QCOMPARE(dialogiZapisu.size(), tak ? 1 : 0);
    QCOMPARE(QFile::exists(plik), zatwierdzony);
    if (zatwierdzony)
        QCOMPARE(CzytajPlik(plik, "<cannot read>"), stary);
    // Whatever the answer, the old report is gone and a new download polls.
    QVERIFY(!frmMain->NiezapisaneDane);
    QCOMPARE(frmMain->memDane->Bajty(), QByteArray());
    QCOMPARE(frmMain->DataOd, QString());
    QCOMPARE(frmMain->TekstPanelu(1), QString());
    QVERIFY(frmMain->timPytanie->isActive());
    QVERIFY(!frmMain->tobZapisz->isEnabled());
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobPolacz), int(obrPolaczCzeka));
}

void TstOdbior::nieudanyZapisPrzedNowymOdbiorem()
{
    PtyPair pty;
    QVERIFY(pty.Ok());
    przygotuj(pty.SlaveName());
    kliknijPolacz();
    const QByteArray stary = "Odwiedziny w dniu: 2026/12/01\r\n";
    QVERIFY(pty.Send(stary));
    QVERIFY(czekajNaAnalize(1));

    odpowiedzTak = true;
    sciezkaZapisu = tmp->filePath(QStringLiteral("brak/katalogu/stary.txt"));
    kliknijPolacz();

    QCOMPARE(pudelka.size(), 2);
    QCOMPARE(pudelka[1].rodzaj, Komunikaty::Rodzaj::Komunikat);
    QVERIFY2(pudelka[1].tekst.startsWith(QStringLiteral("Błąd podczas połączenia")),
             qPrintable(pudelka[1].tekst));
    // The command ended there: the report is kept and still marked unsaved.
    QVERIFY(frmMain->NiezapisaneDane);
    QCOMPARE(frmMain->memDane->Bajty(), stary);
    QVERIFY(!frmMain->timPytanie->isActive());
    QVERIFY(!frmMain->timTimeOut->isActive());
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobPolacz), int(obrPolaczBezczynny));
}

void TstOdbior::portKtoregoNieMoznaOtworzyc_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("powod");
    QTest::addColumn<QString>("szczegoly");
    QTest::newRow("no such device")
        << QStringLiteral("ttyVestibulomatBrak7")
        << QStringLiteral("Nie znaleziono portu ttyVestibulomatBrak7. Sprawdź, czy urządzenie "
                          "jest podłączone, albo wybierz inny port w oknie Konfiguracja, na "
                          "zakładce „Zaawansowane”.")
        << QStringLiteral("Unable to open com port (errno 2: ENOENT)");
    QTest::newRow("not a serial port")
        << QStringLiteral("/dev/null")
        << QStringLiteral("/dev/null nie jest portem szeregowym. Wybierz inny port w oknie "
                          "Konfiguracja, na zakładce „Zaawansowane”.")
        << QStringLiteral("Unable to open com port (errno 25: ENOTTY)");
    QTest::newRow("in use") << QString()
                            << QStringLiteral("Port <pty> jest używany przez inny program. Zamknij "
                                              "ten program (albo drugie okno Vestibulomatu) i "
                                              "spróbuj ponownie.")
                            << QStringLiteral("Unable to open com port (errno 16: EBUSY)");
    QTest::newRow("no port chosen") << QStringLiteral("<none>")
                                    << QStringLiteral("Nie wybrano portu szeregowego. Wybierz port "
                                                      "w oknie Konfiguracja, na zakładce "
                                                      "„Zaawansowane”.")
                                    << QStringLiteral("Unable to open com port (errno 2: ENOENT)");
}

void TstOdbior::portKtoregoNieMoznaOtworzyc()
{
    QFETCH(QString, port);
    QFETCH(QString, powod);
    QFETCH(QString, szczegoly);
    PtyPair pty;
    TComPort inny;
    if (port.isEmpty()) {
        QVERIFY(pty.Ok());
        port = pty.SlaveName();
        inny.SetPort(port);
        inny.Open();
    }
    if (port == QLatin1String("<none>"))
        port.clear();
    powod.replace(QStringLiteral("<pty>"), port);
    przygotuj(port);
    kliknijPolacz();

    // The message users know, then what happened and what to do; the
    // technical text only in the details.
    QCOMPARE(pudelka.size(), 1);
    QCOMPARE(pudelka[0].rodzaj, Komunikaty::Rodzaj::Komunikat);
    QCOMPARE(pudelka[0].tekst, QStringLiteral("Błąd podczas połączenia\n") + powod);
    QCOMPARE(OstatnieSzczegoly(), szczegoly);
    QVERIFY(!frmMain->port->Connected());
    QVERIFY(!frmMain->timPytanie->isActive());
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobPolacz), int(obrPolaczBezczynny));
}

// --- the device goes away ----------------------------------------------------------

void TstOdbior::utrataUrzadzeniaPodczasOdpytywania_data()
{
    QTest::addColumn<int>("jak");
    QTest::newRow("pty master closed") << int(ZamknietyPty);
    QTest::newRow("poll written to a closed pty") << int(ZapisPoZamknieciu);
    QTest::newRow("simulator stopped") << int(ZatrzymanySymulator);
}

void TstOdbior::utrataUrzadzeniaPodczasOdpytywania()
{
    QFETCH(int, jak);
    const bool symulator = jak == ZatrzymanySymulator;
    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<Symulator> sim;
    if (symulator) {
        sim = std::make_unique<Symulator>(QStringList{"--silent"});
        QVERIFY2(sim->Ok(), qPrintable(sim->Blad()));
        przygotuj(sim->Port());
    } else {
        pty = std::make_unique<PtyPair>();
        QVERIFY(pty->Ok());
        przygotuj(pty->SlaveName());
    }
    // Polls go out as fast as the timer allows, so that a write meets the
    // vanished line as well as the event thread does.
    frmMain->timPytanie->setInterval(5);
    kliknijPolacz();
    QVERIFY(frmMain->port->Connected());
    if (pty) {
        QByteArray odebrane;
        QVERIFY(odbierzAz(*pty, odebrane, [](const QByteArray &b) { return b.count('\r') >= 3; }));
        pty->CloseMaster();
        // A tick before the event thread has told of the loss: the poll's
        // write is the first to fail.
        if (jak == ZapisPoZamknieciu)
            QVERIFY(
                QMetaObject::invokeMethod(frmMain->timPytanie, "timeout", Qt::DirectConnection));
    } else {
        QTest::qWait(50);
        sim->Zatrzymaj();
    }

    QVERIFY(QTest::qWaitFor([] { return !frmMain->port->Connected(); }, kLimitMs));
    QVERIFY(QTest::qWaitFor([] { return !frmMain->timPytanie->isActive(); }, kLimitMs));
    // Time for ticks that would have failed again had polling gone on.
    QTest::qWait(100);
    QVERIFY2(pudelka.size() == 1, qPrintable(pudelka.Opis()));
    QCOMPARE(pudelka[0].rodzaj, Komunikaty::Rodzaj::Blad);
    // Nothing had arrived, so there is nothing to keep; the loss is seen by
    // the event thread or by a poll that could not be written.
    QCOMPARE(pudelka[0].tekst, QStringLiteral("Urządzenie zostało odłączone od portu ") +
                                   (sim ? sim->Port() : pty->SlaveName()) +
                                   QStringLiteral(". Podłącz je ponownie i naciśnij "
                                                  "„Połącz/Odbierz”."));
    const QString szczegoly = OstatnieSzczegoly();
    if (jak == ZapisPoZamknieciu)
        QCOMPARE(szczegoly, QStringLiteral("WriteFile function failed (errno 5: EIO)"));
    else
        QVERIFY2(szczegoly == QLatin1String("ReadFile function failed (errno 5: EIO)") ||
                     szczegoly == QLatin1String("WriteFile function failed (errno 5: EIO)"),
                 qPrintable(szczegoly));
    QVERIFY(!frmMain->timTimeOut->isActive());
    QVERIFY(!frmMain->port->Connected());
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobPolacz), int(obrPolaczBezczynny));

    // The next download opens the port afresh, on the device now there.
    PtyPair nowy;
    QVERIFY(nowy.Ok());
    przygotuj(nowy.SlaveName());
    frmMain->timPytanie->setInterval(20);
    kliknijPolacz();
    QVERIFY2(frmMain->port->Connected(), qPrintable(pudelka.Opis()));
    QByteArray odebrane;
    QVERIFY(odbierzAz(nowy, odebrane, [](const QByteArray &b) { return b.contains('\r'); }));
    QVERIFY(nowy.Send("Odwiedziny w dniu: 2026/12/01\r\n"));
    QVERIFY(czekajNaAnalize(1));
    QCOMPARE(frmMain->DataOd, QStringLiteral(" 2026-12-01"));
    QCOMPARE(pudelka.size(), 1);
}

void TstOdbior::utrataUrzadzeniaPodczasPytania()
{
    PtyPair pty;
    QVERIFY(pty.Ok());
    przygotuj(pty.SlaveName());
    frmMain->timPytanie->setInterval(20);
    frmMain->timTimeOut->setInterval(200);
    kliknijPolacz();
    gdyPytanie([&] { pty.CloseMaster(); });

    QVERIFY(QTest::qWaitFor([&] { return pytaniaUwaga == 1 && !frmUwaga->isVisible(); }, kLimitMs));
    QVERIFY(QTest::qWaitFor([] { return !frmMain->port->Connected(); }, kLimitMs));
    QTest::qWait(100);
    QVERIFY2(pudelka.size() == 1, qPrintable(pudelka.Opis()));
    QCOMPARE(pudelka[0].rodzaj, Komunikaty::Rodzaj::Blad);
    QVERIFY(!frmMain->timPytanie->isActive());
    QVERIFY(!frmMain->timTimeOut->isActive());
}

void TstOdbior::utrataUrzadzeniaWTrakcieRaportu()
{
    QRandomGenerator los(7);
    const QByteArray raport = "Odwiedziny w dniu: 2026/12/01\r\n" + LosoweBajty(los, 6000) +
                              "Odwiedziny w dniu: 2026/12/09\r\n";
    const QString plik = tmp->filePath(QStringLiteral("raport.bin"));
    {
        QFile f(plik);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(raport);
    }
    constexpr int kDoUtraty = 2500;
    {
        Symulator sim({"--report", plik, "--chunk", "64", "--gap", "2", "--quiet", "0",
                       "--drop-after", QString::number(kDoUtraty)});
        QVERIFY2(sim.Ok(), qPrintable(sim.Blad()));
        przygotuj(sim.Port());
        frmMain->timPytanie->setInterval(100);
        kliknijPolacz();

        QVERIFY(czekajNaAnalize(1));
        QVERIFY(sim.CzekajNaKoniec());
        QCOMPARE(sim.KodWyjscia(), 3);
    }
    QVERIFY(QTest::qWaitFor([] { return !frmMain->port->Connected(); }, kLimitMs));
    QTest::qWait(100);
    // What came before the loss is kept in order and analysed; one error box.
    // The kernel drops what was not read yet when the line hangs up, so on a
    // busy machine the last bytes may be missing, but never the first chunk.
    const QByteArray odebrane = frmMain->memDane->Bajty();
    QVERIFY2(odebrane.size() >= 64 && odebrane.size() <= kDoUtraty && raport.startsWith(odebrane),
             qPrintable(QString::number(odebrane.size())));
    QCOMPARE(frmMain->DataOd, QStringLiteral(" 2026-12-01"));
    QVERIFY(frmMain->memDane->isVisible());
    QVERIFY(!frmPasek->isVisible());
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY2(pudelka.size() == 1, qPrintable(pudelka.Opis()));
    QCOMPARE(pudelka[0].rodzaj, Komunikaty::Rodzaj::Blad);
    QCOMPARE(pudelka[0].tekst, QStringLiteral("Urządzenie zostało odłączone od portu ") +
                                   frmMain->port->Port() +
                                   QStringLiteral(". Podłącz je ponownie i naciśnij "
                                                  "„Połącz/Odbierz”. Dane odebrane do tej "
                                                  "chwili zostały zachowane."));
    QCOMPARE(OstatnieSzczegoly(), QStringLiteral("ReadFile function failed (errno 5: EIO)"));
    QVERIFY(frmMain->NiezapisaneDane);

    // The next download works and takes the whole report.
    Symulator sim({"--report", plik, "--chunk", "512", "--quiet", "0"});
    QVERIFY2(sim.Ok(), qPrintable(sim.Blad()));
    przygotuj(sim.Port());
    kliknijPolacz();
    QCOMPARE(pudelka.Ile(Komunikaty::Rodzaj::Pytanie), 1);
    QVERIFY(czekajNaAnalize(2));
    QCOMPARE(frmMain->memDane->Bajty(), raport);
    QCOMPARE(frmMain->DataDo, QStringLiteral(" 2026-12-09"));
    QCOMPARE(pudelka.size(), 2);
}

// --- the port handed over to the timer's run -------------------------------------------

void TstOdbior::portDlaPobieraniaBezOkna_data()
{
    QTest::addColumn<int>(
        "stan"); // 0 after a download, 1 polling, 2 window not on the bus, 3 no bus
    QTest::addColumn<bool>("zwolniony");
    QTest::newRow("holding the port after its download: released") << 0 << true;
    QTest::newRow("polling: refused") << 1 << false;
    QTest::newRow("no window on the bus: no") << 2 << false;
    QTest::newRow("no bus at all: no") << 3 << false;
}

void TstOdbior::portDlaPobieraniaBezOkna()
{
    QFETCH(int, stan);
    QFETCH(bool, zwolniony);
    MagistralaTestowa magistrala;
    if (!magistrala.Dziala())
        QSKIP("dbus-daemon is not available");
    const auto bezMagistrali = qScopeGuard([] { qunsetenv("DBUS_SESSION_BUS_ADDRESS"); });
    const QByteArray adres = magistrala.Adres().toUtf8();
    // The window joins the bus when it is first shown: started again on it.
    if (stan != 2 && stan != 3)
        qputenv("DBUS_SESSION_BUS_ADDRESS", adres);
    tmp->UruchomPonownie();
    frmMain->show();
    koniecTransmisji = std::make_unique<QSignalSpy>(frmMain->timTransmisja, &QTimer::timeout);
    if (stan == 2)
        qputenv("DBUS_SESSION_BUS_ADDRESS", adres);

    PtyPair pty;
    QVERIFY(pty.Ok());
    przygotuj(pty.SlaveName());
    kliknijPolacz();
    const QByteArray pierwszy = "Odwiedziny w dniu: 2026/12/01\r\n  08:00  25\r\n";
    if (stan != 1) {
        QVERIFY(pty.Send(pierwszy));
        QVERIFY(czekajNaAnalize(1));
    }
    QVERIFY(frmMain->port->Connected());

    // The timer's run finds the port busy and asks the window.
    QCOMPARE(PoprosOknoOPort(), zwolniony);
    QCOMPARE(frmMain->port->Connected(), !zwolniony);
    if (!zwolniony) {
        QCOMPARE(frmMain->timPytanie->isActive(), stan == 1);
        QVERIFY(!frmMain->panKomunikat->isVisible());
        return;
    }
    QCOMPARE(frmMain->memDane->Bajty(), pierwszy);
    QVERIFY(frmMain->memDane->isVisible());
    QVERIFY(frmMain->panKomunikat->isVisible());
    QCOMPARE(frmMain->panKomunikat->Tekst(),
             QStringLiteral("Port zwolniony dla pobierania bez okna."));
    QVERIFY2(pudelka.isEmpty(), qPrintable(pudelka.Opis()));

    // The window's next download opens it again as usual.
    kliknijPolacz();
    QVERIFY2(frmMain->port->Connected(), qPrintable(pudelka.Opis()));
    QVERIFY(!frmMain->panKomunikat->isVisible());
    const QByteArray drugi = "Odwiedziny w dniu: 2026/12/02\r\n  08:00  30\r\n";
    QVERIFY(pty.Send(drugi));
    QVERIFY(czekajNaAnalize(2));
    QCOMPARE(frmMain->memDane->Bajty(), drugi);
    QCOMPARE(frmMain->DataOd, QStringLiteral(" 2026-12-02"));

    // The real unattended run, with the window holding the port again after
    // that download: it asks, gets the port, downloads and saves.
    QVERIFY(frmMain->port->Connected());
    QTemporaryDir kopia;
    QVERIFY(kopia.isValid());
    const QString program = kopia.filePath(QStringLiteral("vestibulomat"));
    QVERIFY(QFile::copy(
        QFileInfo(Symulator::Program()).dir().filePath(QStringLiteral("vestibulomat")), program));
    QFile ini(kopia.filePath(QStringLiteral("Vestibulomat.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[konfig]\r\nobiekt=Sala\r\nkatalog=" + QFile::encodeName(kopia.path()) +
              "\r\nport=" + QFile::encodeName(pty.SlaveName()) + "\r\n");
    ini.close();
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), magistrala.Adres());
    env.insert(QStringLiteral("XDG_STATE_HOME"), kopia.filePath(QStringLiteral("stan")));
    run.setProcessEnvironment(env);
    run.start(program,
              {QStringLiteral("--pobierz"), QStringLiteral("--czekaj"), QStringLiteral("5")});
    // The device answers the run's first poll.
    QByteArray odebrane;
    QTRY_VERIFY_WITH_TIMEOUT((odebrane += pty.ReceiveNow()).contains('\r'), 10000);
    QVERIFY(pty.Send(pierwszy));
    QTRY_VERIFY_WITH_TIMEOUT(run.state() == QProcess::NotRunning, 10000);
    QVERIFY2(run.exitCode() == 0, run.readAllStandardError().constData());
    const QString zapisany = kopia.filePath(QStringLiteral("Sala_2026-12-01_2026-12-01.txt"));
    QCOMPARE(QString::fromUtf8(run.readAllStandardOutput()), zapisany + u'\n');
    QFile plik(zapisany);
    QVERIFY(plik.open(QIODevice::ReadOnly));
    QCOMPARE(plik.readAll(), pierwszy);
    QVERIFY(!frmMain->port->Connected());
    // And the window's next download still works.
    kliknijPolacz();
    QVERIFY2(frmMain->port->Connected(), qPrintable(pudelka.Opis()));
    QVERIFY(pty.Send(drugi));
    QVERIFY(czekajNaAnalize(3));
    QCOMPARE(frmMain->memDane->Bajty(), drugi);
}

QTEST_MAIN(TstOdbior)
#include "tst_odbior.moc"
