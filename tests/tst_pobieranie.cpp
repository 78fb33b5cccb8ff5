// The dialogue with the counting device, without any window: the download
// engine driven as its owners drive it, against a device that the test plays
// on the master side of a pseudo-terminal. Each row is a script of what the
// device does; the row checks what the engine sent and when, where the
// reports ended and what the journal holds.
//
// Times are checked with wide margins: they guard the protocol (a poll once
// a second, half a second of quiet ends a report), not the machine's speed.

#include "CPort.h"
#include "Dziennik.h"
#include "Pobieranie.h"
#include "Pomocnicze.h"
#include "PtyPair.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

constexpr int kLimitMs = 20000;

// Parts of a report with what must pass unchanged: Windows-1250 letters, a
// NUL, a bare CR, CR LF.
const QByteArray kNaglowek = "Licznik odwiedzin - obiekt: Sala g\xB3\xF3wna\r\n";
const QByteArray kDzien1 = QByteArray("Odwiedziny w dniu: 2026/12/01\r\n  08:00\0  25\r", 45);
const QByteArray kDzien2 = "Odwiedziny w dniu: 2026/12/02\r\n  09:00  17\r\n";
const QByteArray kRazem = "Razem odwiedzin: 42\r\n";

// The local time a clock command carries ("Z" yyMMddhhnnss).
QDateTime CzasKomendy(const QByteArray &komenda)
{
    auto pole = [&](int i) { return komenda.mid(1 + 2 * i, 2).toInt(); };
    return QDateTime(QDate(2000 + pole(0), pole(1), pole(2)), QTime(pole(3), pole(4), pole(5)));
}

} // namespace

class TstPobieranie : public QObject
{
    Q_OBJECT

private slots:
    void rozmowaZUrzadzeniem_data();
    void rozmowaZUrzadzeniem();
};

void TstPobieranie::rozmowaZUrzadzeniem_data()
{
    // The device's script: it answers once it has seen odpowiedzPo polls (-1:
    // never), sends the chunks with the pauses after them, and with utrata
    // goes away once the engine's owner holds everything it sent.
    QTest::addColumn<bool>("synchro");
    QTest::addColumn<int>("czekaj"); // the no-answer limit, ms
    QTest::addColumn<int>("odpowiedzPo");
    QTest::addColumn<QList<QByteArray>>("kawalki");
    QTest::addColumn<QList<int>>("przerwy");
    QTest::addColumn<bool>("utrata");
    // What must come of it.
    QTest::addColumn<int>("pytania");
    QTest::addColumn<bool>("bezOdpowiedzi");
    QTest::addColumn<QList<QByteArray>>("raporty");
    QTest::addColumn<QByteArray>("wDzienniku"); // empty: no journal at all

    const QByteArray calosc = kNaglowek + kDzien1 + kDzien2 + kRazem;
    const QList<QByteArray> czesci{kNaglowek, kDzien1, kDzien2, kRazem};

    QTest::newRow("a device that speaks first is never polled")
        << false << 10000 << 0 << QList<QByteArray>{calosc} << QList<int>{} << false << 0 << false
        << QList<QByteArray>{calosc} << calosc;
    QTest::newRow("two polls, then the report")
        << false << 10000 << 2 << QList<QByteArray>{calosc} << QList<int>{} << false << 2 << false
        << QList<QByteArray>{calosc} << calosc;
    QTest::newRow("two polls with the clock command, then the report")
        << true << 10000 << 2 << QList<QByteArray>{calosc} << QList<int>{} << false << 2 << false
        << QList<QByteArray>{calosc} << calosc;
    QTest::newRow("pauses under half a second keep one report")
        << false << 10000 << 1 << czesci << QList<int>{300, 350, 250} << false << 1 << false
        << QList<QByteArray>{calosc} << calosc;
    // The journal goes on across the pause: only its owner ends it.
    QTest::newRow("a pause over half a second ends the report")
        << true << 10000 << 1 << czesci << QList<int>{200, 900, 200} << false << 1 << false
        << QList<QByteArray>{kNaglowek + kDzien1, kDzien2 + kRazem} << calosc;
    QTest::newRow("a device that never answers is polled until the wait ends")
        << true << 3500 << -1 << QList<QByteArray>{} << QList<int>{} << false << 3 << true
        << QList<QByteArray>{} << QByteArray();
    QTest::newRow("a device lost in the middle of a report leaves it in the journal")
        << false << 10000 << 1 << QList<QByteArray>{kNaglowek, kDzien1} << QList<int>{200} << true
        << 1 << false << QList<QByteArray>{} << kNaglowek + kDzien1;
}

void TstPobieranie::rozmowaZUrzadzeniem()
{
    QFETCH(bool, synchro);
    QFETCH(int, czekaj);
    QFETCH(int, odpowiedzPo);
    QFETCH(QList<QByteArray>, kawalki);
    QFETCH(QList<int>, przerwy);
    QFETCH(bool, utrata);

    PtyPair pty;
    QVERIFY(pty.Ok());
    QTemporaryDir stan;
    QVERIFY(stan.isValid());
    const QString obiekt = QStringLiteral("Sala główna");

    auto dziennik = std::make_unique<TDziennik>(stan.path());
    auto s = std::make_unique<TPobieranie>();
    s->dziennik = dziennik.get();
    s->Synchronizuj = [synchro] { return synchro; };
    s->timTimeOut->setInterval(czekaj);
    s->port->SetPort(pty.SlaveName());
    QVERIFY(s->Polacz());

    // The owner, as the window and the command line are: it holds every byte
    // received and takes each half second of quiet as the end of a report.
    QByteArray odebrane;
    QList<QByteArray> zakonczone; // the reports, each as it ended
    qsizetype poczatekRaportu = 0;
    qint64 koniecCzekania = -1;
    bool utracone = false;
    QStringList bledy; // nothing may throw; an exception must not reach Qt
    auto chron = [&](const std::function<void()> &f) {
        try {
            f();
        } catch (const std::exception &e) {
            bledy << QString::fromUtf8(e.what());
        }
    };
    QElapsedTimer zegar;
    connect(s->timPytanie, &QTimer::timeout, s.get(), [&] { chron([&] { s->Pytaj(); }); });
    connect(s->timTimeOut, &QTimer::timeout, s.get(), [&] {
        koniecCzekania = zegar.elapsed();
        s->ZakonczOdpytywanie();
    });
    connect(s->timTransmisja, &QTimer::timeout, s.get(), [&] {
        s->KoniecTransmisji();
        zakonczone << odebrane.mid(poczatekRaportu);
        poczatekRaportu = odebrane.size();
    });
    s->port->OnRxChar = [&](TCustomComPort *, int ile) {
        chron([&] {
            const QByteArray kawalek = s->Czytaj(ile);
            odebrane += kawalek;
            s->DoDziennika(kawalek, odebrane, obiekt);
            s->Odebrano();
        });
    };
    s->port->OnDeviceLost = [&](TCustomComPort *, const EComPort &) {
        utracone = true;
        s->timTransmisja->stop(); // a report cut short never ends
    };

    // The device: what it receives, with the time since polling began, and
    // its script, advanced every few milliseconds.
    QByteArray wyslane;
    QList<qint64> czasyPytan; // one per CR
    QList<QPair<QByteArray, QDateTime>> komendyZegara;
    QByteArray wyslaneUrzadzenia;
    int nastepny = 0;    // the next chunk to send
    qint64 wyslijO = -1; // when, in ms since polling began
    bool zamkniety = false;
    QTimer urzadzenie;
    connect(&urzadzenie, &QTimer::timeout, &urzadzenie, [&] {
        const qint64 teraz = zegar.elapsed();
        const QByteArray przyszlo = pty.ReceiveNow();
        for (char c : przyszlo)
            if (c == '\r')
                czasyPytan << teraz;
        wyslane += przyszlo;
        static const QRegularExpression komenda(QStringLiteral("Z\\d{12}"));
        for (const auto &m : komenda.globalMatch(QString::fromLatin1(przyszlo)))
            komendyZegara.append({m.captured().toLatin1(), QDateTime::currentDateTime()});

        if (nastepny == 0 && wyslijO < 0 && odpowiedzPo >= 0 && czasyPytan.size() >= odpowiedzPo)
            wyslijO = teraz;
        if (wyslijO >= 0 && teraz >= wyslijO && nastepny < kawalki.size()) {
            QVERIFY(pty.Send(kawalki[nastepny]));
            wyslaneUrzadzenia += kawalki[nastepny];
            wyslijO = teraz + przerwy.value(nastepny);
            ++nastepny;
        }
        if (utrata && !zamkniety && nastepny == kawalki.size() && odebrane == wyslaneUrzadzenia) {
            pty.CloseMaster();
            zamkniety = true;
        }
    });
    urzadzenie.setTimerType(Qt::PreciseTimer);

    const QDateTime start = QDateTime::currentDateTime();
    zegar.start();
    s->Odpytuj();
    urzadzenie.start(5);
    QTRY_VERIFY_WITH_TIMEOUT(koniecCzekania >= 0 || utracone ||
                                 (!kawalki.isEmpty() && nastepny == kawalki.size() &&
                                  odebrane == wyslaneUrzadzenia && !s->timTransmisja->isActive()),
                             kLimitMs);
    urzadzenie.stop();
    const QDateTime koniec = QDateTime::currentDateTime();
    QCOMPARE(bledy, QStringList());

    // What was sent: the polls, each the clock command (when asked for) and
    // CR, in that order, the first a second after polling began and then
    // once a second, none after the first byte or the wait's end.
    QFETCH(int, pytania);
    QString poll = synchro ? QStringLiteral("Z\r") : QStringLiteral("\r");
    QCOMPARE(QString::fromLatin1(wyslane).replace(QRegularExpression(QStringLiteral("Z\\d{12}")),
                                                  QStringLiteral("Z")),
             poll.repeated(pytania));
    for (const auto &[komenda, kiedy] : komendyZegara)
        QVERIFY2(qAbs(CzasKomendy(komenda).secsTo(kiedy)) <= 2, komenda.constData());
    for (int i = 0; i < czasyPytan.size(); ++i) {
        const qint64 odstep = czasyPytan[i] - (i ? czasyPytan[i - 1] : 0);
        QVERIFY2(odstep >= 800 && odstep <= 2000,
                 qPrintable(QStringLiteral("poll %1 after %2 ms").arg(i + 1).arg(odstep)));
    }
    QVERIFY(!s->timPytanie->isActive());
    QVERIFY(!s->timTimeOut->isActive());

    QFETCH(bool, bezOdpowiedzi);
    QCOMPARE(koniecCzekania >= 0, bezOdpowiedzi);
    if (bezOdpowiedzi)
        QVERIFY2(koniecCzekania >= czekaj - 50 && koniecCzekania <= czekaj + 2000,
                 qPrintable(QString::number(koniecCzekania)));
    QCOMPARE(utracone, utrata);
    QCOMPARE(s->port->Connected(), !utrata);

    // Where the reports ended.
    QFETCH(QList<QByteArray>, raporty);
    QCOMPARE(zakonczone, raporty);

    // The journal holds every byte received, under the object, the port and
    // the time of the first chunk; a device that never spoke leaves none.
    s.reset();
    dziennik.reset(); // what is still pending goes to the disk
    QFETCH(QByteArray, wDzienniku);
    const QStringList dzienniki = QDir(stan.path()).entryList({QStringLiteral("*.dziennik")});
    QCOMPARE(dzienniki.size(), wDzienniku.isEmpty() ? 0 : 1);
    if (wDzienniku.isEmpty())
        return;
    const QString plik = stan.filePath(dzienniki.first());
    const ZawartoscDziennika z = CzytajDziennik(CzytajPlik(plik), QDateTime());
    QCOMPARE(z.bajty, wDzienniku);
    QCOMPARE(z.naglowek.obiekt, obiekt);
    QCOMPARE(z.naglowek.port, pty.SlaveName());
    QVERIFY2(z.naglowek.poczatek >= start.addSecs(-1) && z.naglowek.poczatek <= koniec.addSecs(1),
             qPrintable(z.naglowek.poczatek.toString(Qt::ISODate)));
}

QTEST_GUILESS_MAIN(TstPobieranie)
#include "tst_pobieranie.moc"
