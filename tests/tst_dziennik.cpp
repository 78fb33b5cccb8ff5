// The journal of a report being received: a report survives the program's
// end, is offered at the next start and restored byte for byte, and the
// journal goes once the report is safe.
//
// The program killed mid-download runs as a child process of this test
// (the same executable, started with VESTIBULOMAT_TEST_PORT set).

#include "BezpiecznyZapis.h"
#include "CPort.h"
#include "Dziennik.h"
#include "Komunikaty.h"
#include "OknaTestowe.h"
#include "Pomocnicze.h"
#include "Potomek.h"
#include "PtyPair.h"
#include "RaportView.h"
#include "Symulator.h"
#include "konfiguracja.h"
#include "main.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <csignal>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>

namespace {

constexpr int kLimitMs = 20000;

QString PlikDziennika(const OknaTestowe &tmp)
{
    return tmp.PlikDziennika();
}

bool ZapiszPlik(const QString &sciezka, const QByteArray &dane)
{
    QDir().mkpath(QFileInfo(sciezka).absolutePath());
    QFile f(sciezka);
    return f.open(QIODevice::WriteOnly) && f.write(dane) == dane.size();
}

// A report as the device sends it, with what must survive unchanged: NUL,
// a bare CR, Polish letters in Windows-1250 ("łódź", "Sala główna").
QByteArray Raport(int dni)
{
    QByteArray r = "Licznik odwiedzin - obiekt: Sala g\xB3\xF3wna\r\n";
    for (int d = 1; d <= dni; ++d) {
        r += "Odwiedziny w dniu: 2026/11/" + QByteArray::number(d).rightJustified(2, '0') + "\r\n";
        for (int h = 8; h < 16; ++h)
            r += "  " + QByteArray::number(h).rightJustified(2, '0') + ":00  " +
                 QByteArray::number(d * h) +
                 " \xB3\xF3"
                 "d\xBC\r";
        r += QByteArray("Razem\0\r\n", 8);
    }
    return r;
}

// A journal as an earlier run leaves it.
QByteArray Dziennik(const QByteArray &bajty, const QByteArray &obiekt = "Sala 2")
{
    return "VESTIBULOMAT-DZIENNIK 1\nobiekt: " + obiekt +
           "\nport: /dev/ttyUSB0\npoczatek: 2026-12-08T14:05:33\n\n" + bajty;
}

// What the user does with a downloaded report before the program ends.
enum Akcja {
    Zapis,
    Poczta,
    PocztaZawsze,
    NieNowyOdbior,
    NieZamkniecie,
    AnulujZamkniecie,
    AnulujNowyOdbior
};

// The program as the child: downloads from the port named in the
// environment, prints "ANALIZA" after each end of transmission, and runs
// until it is killed.
int Dziecko(int argc, char **argv)
{
    QApplication app(argc, argv);
    TfrmMain::UstawKatalogProgramu(qEnvironmentVariable("VESTIBULOMAT_TEST_PROGRAM"));
    NagrywajKomunikaty([](Komunikaty::Rodzaj, const QString &tekst) {
        std::printf("BOX %s\n", qPrintable(tekst));
        std::fflush(stdout);
        return false;
    });
    UtworzOkna();
    frmMain->show();
    frmKonfiguracja->ediNazwa->setText(QStringLiteral("Sala 2"));
    frmMain->port->SetPort(qEnvironmentVariable("VESTIBULOMAT_TEST_PORT"));
    frmMain->timPytanie->setInterval(50);
    QObject::connect(frmMain->timTransmisja, &QTimer::timeout, frmMain, [] {
        std::printf("ANALIZA\n");
        std::fflush(stdout);
    });
    frmMain->tobPolacz->click();
    return app.exec();
}

} // namespace

class TstDziennik : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void raportPoZabiciuProgramu_data();
    void raportPoZabiciuProgramu();
    void dziennikZnikaGdyRaportBezpieczny_data();
    void dziennikZnikaGdyRaportBezpieczny();
    void nowyDziennikNaDyskuPoTransmisji();
    void nieOdkladaRaportNa30Dni();
    void uszkodzonyDziennik_data();
    void uszkodzonyDziennik();
    void dziennikNieDoZapisania_data();
    void dziennikNieDoZapisania();
    void dwieKopieNieDzielaDziennika();
    void dziennikNieZwyklyPlik_data();
    void dziennikNieZwyklyPlik();
    void folderStanuInnegoUzytkownika();

private:
    // A download from a pty: bytes sent, end of transmission awaited.
    bool odbierz(PtyPair &pty, const QByteArray &bajty);

    std::unique_ptr<OknaTestowe> tmp;
    Pudelka pudelka;
    bool odpowiedzTak = false;
    QString sciezkaZapisu; // the save dialog's answer; empty cancels
};

void TstDziennik::init()
{
    pudelka.clear();
    odpowiedzTak = false;
    sciezkaZapisu.clear();
    tmp = std::make_unique<OknaTestowe>(
        pudelka.Zapisuj(&odpowiedzTak),
        [this](const QString &, const QString &) { return sciezkaZapisu; });
    QVERIFY(tmp->isValid());
}

void TstDziennik::cleanup()
{
    tmp.reset();
}

bool TstDziennik::odbierz(PtyPair &pty, const QByteArray &bajty)
{
    QSignalSpy koniec(frmMain->timTransmisja, &QTimer::timeout);
    frmMain->port->SetPort(pty.SlaveName());
    frmMain->tobPolacz->click();
    if (!frmMain->port->Connected() || !pty.Send(bajty))
        return false;
    return QTest::qWaitFor([&] { return koniec.count() > 0; }, kLimitMs);
}

// --- a report survives the program ------------------------------------------------

void TstDziennik::raportPoZabiciuProgramu_data()
{
    QTest::addColumn<bool>("poKoncu"); // killed after the end of transmission
    QTest::newRow("killed mid-report") << false;
    QTest::newRow("killed after the end") << true;
}

void TstDziennik::raportPoZabiciuProgramu()
{
    QFETCH(bool, poKoncu);
    const QByteArray raport = Raport(28);
    const QString plikRaportu = tmp->filePath(QStringLiteral("raport.bin"));
    QVERIFY(ZapiszPlik(plikRaportu, raport));
    // Slow enough that the child is killed with most of it still on the way.
    Symulator sim(
        {"--report", plikRaportu, "--chunk", "64", "--gap", poKoncu ? "0" : "25", "--once"});
    QVERIFY2(sim.Ok(), qPrintable(sim.Blad()));

    const QDateTime przed = QDateTime::currentDateTime();
    QProcess dziecko;
    QProcessEnvironment srodowisko = QProcessEnvironment::systemEnvironment();
    srodowisko.insert(QStringLiteral("VESTIBULOMAT_TEST_PORT"), sim.Port());
    const QString program = tmp->filePath(QStringLiteral("dziecko"));
    QVERIFY(QDir().mkpath(program));
    srodowisko.insert(QStringLiteral("VESTIBULOMAT_TEST_PROGRAM"), program);
    dziecko.setProcessEnvironment(srodowisko);
    dziecko.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(dziecko.waitForStarted());

    QByteArray wyjscie;
    if (poKoncu) {
        QVERIFY(QTest::qWaitFor(
            [&] {
                wyjscie += dziecko.readAllStandardOutput();
                return wyjscie.contains("ANALIZA\n");
            },
            kLimitMs));
        QVERIFY(QTest::qWaitFor([&] { return CzytajPlik(PlikDziennika(*tmp)).endsWith(raport); },
                                kLimitMs));
    } else {
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo(PlikDziennika(*tmp)).size() > 2000; },
                                kLimitMs));
    }
    // What is in the file now stays there when the process dies.
    const QByteArray wDzienniku = CzytajPlik(PlikDziennika(*tmp));
    QVERIFY(::kill(pid_t(dziecko.processId()), SIGKILL) == 0);
    QVERIFY(dziecko.waitForFinished());
    wyjscie += dziecko.readAllStandardOutput();
    QVERIFY2(!wyjscie.contains("BOX"), wyjscie.constData());
    const QByteArray zapisane = wDzienniku.mid(wDzienniku.indexOf("\n\n") + 2);
    QVERIFY(!zapisane.isEmpty());

    // The next start asks once, naming the object and the download's time.
    odpowiedzTak = true;
    frmMain->show();
    QVERIFY(QTest::qWaitFor([&] { return !pudelka.isEmpty(); }, kLimitMs));
    QCOMPARE(pudelka.size(), 1);
    static const QRegularExpression wzor(QStringLiteral(
        "^Znaleziono niezapisany raport z (\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d) \\(obiekt: Sala "
        "2\\)\\. Przywrócić go\\?$"));
    const auto dopasowanie = wzor.match(pudelka.Teksty(Komunikaty::Rodzaj::Pytanie).value(0));
    QVERIFY2(dopasowanie.hasMatch(), qPrintable(pudelka.Opis()));
    const QDateTime czas =
        QDateTime::fromString(dopasowanie.captured(1), QStringLiteral("yyyy-MM-dd HH:mm"));
    QVERIFY(czas.secsTo(przed) < 60 && czas <= QDateTime::currentDateTime());

    // "Tak": the bytes as the device sent them, analysed, to be saved.
    const QByteArray przywrocone = frmMain->memDane->Bajty();
    if (poKoncu)
        QCOMPARE(przywrocone, raport);
    QVERIFY(przywrocone.startsWith(zapisane));
    QVERIFY(raport.startsWith(przywrocone));
    QCOMPARE(frmMain->TekstPanelu(1), QStringLiteral("Od:  2026-11-01"));
    if (poKoncu)
        QCOMPARE(frmMain->TekstPanelu(2), QStringLiteral("Do:  2026-11-28"));
    QVERIFY(frmMain->NiezapisaneDane);
    QVERIFY(frmMain->tobZapisz->isEnabled());
    QVERIFY(frmMain->memDane->isVisible());
    sciezkaZapisu = tmp->filePath(QStringLiteral("zapisany.txt"));
    frmMain->tobZapisz->click();
    QCOMPARE(CzytajPlik(sciezkaZapisu), przywrocone);
}

// --- the journal goes once the report is safe ---------------------------------------

void TstDziennik::dziennikZnikaGdyRaportBezpieczny_data()
{
    QTest::addColumn<int>("akcja");
    QTest::addColumn<bool>("oferowany"); // the next start offers the report
    QTest::addColumn<bool>("odlozony");  // it was set aside under its date
    // A file saved into the program folder, whose data and folder reach the
    // disk before the journal goes.
    QTest::addColumn<bool>("zapisany");
    QTest::newRow("saved") << int(Zapis) << false << false << true;
    QTest::newRow("mail handed over") << int(Poczta) << false << false << false;
    QTest::newRow("mail handed over, Zawsze copy") << int(PocztaZawsze) << false << false << true;
    QTest::newRow("Nie before a new download") << int(NieNowyOdbior) << false << false << false;
    QTest::newRow("Nie when closing") << int(NieZamkniecie) << false << false << false;
    QTest::newRow("Tak when closing, save cancelled")
        << int(AnulujZamkniecie) << true << false << false;
    QTest::newRow("Tak before a new download, save cancelled")
        << int(AnulujNowyOdbior) << false << true << false;
}

void TstDziennik::dziennikZnikaGdyRaportBezpieczny()
{
    QFETCH(int, akcja);
    QFETCH(bool, oferowany);
    QFETCH(bool, odlozony);
    QFETCH(bool, zapisany);
    frmMain->show();
    PtyPair pty;
    QVERIFY(pty.Ok());
    const QByteArray raport = Raport(2);
    QVERIFY(odbierz(pty, raport));
    QVERIFY(QTest::qWaitFor([&] { return CzytajPlik(PlikDziennika(*tmp)).endsWith(raport); },
                            kLimitMs));

    // What reached the disk, in order, as the writer did it.
    QStringList kolejnosc;
    BezpiecznyZapis::UstawObserwatora([&](BezpiecznyZapis::Zdarzenie z, const QString &sciezka) {
        const QString nazwa = QFileInfo(sciezka).fileName();
        if (z == BezpiecznyZapis::Zdarzenie::Usuniety)
            kolejnosc << QStringLiteral("usuniety ") + (nazwa.endsWith(QStringLiteral(".dziennik"))
                                                            ? QStringLiteral("dziennik")
                                                            : nazwa);
        else if (zapisany && QFileInfo(sciezka).absolutePath() == tmp->path())
            kolejnosc << QStringLiteral("plik");
        else if (sciezka == tmp->path())
            kolejnosc << QStringLiteral("folder");
    });
    std::unique_ptr<ZastepczyXdgEmail> poczta;
    switch (akcja) {
    case Zapis:
        sciezkaZapisu = tmp->filePath(QStringLiteral("raport.txt"));
        frmMain->tobZapisz->click();
        break;
    case Poczta:
    case PocztaZawsze:
        poczta = std::make_unique<ZastepczyXdgEmail>();
        frmKonfiguracja->ediKatalog->setText(tmp->path());
        frmKonfiguracja->cobZapis->setCurrentIndex(akcja == Poczta ? 2 : 0); // "Nigdy", "Zawsze"
        frmMain->tobMail->click();
        break;
    case NieNowyOdbior:
    case AnulujNowyOdbior:
        odpowiedzTak = akcja == AnulujNowyOdbior;
        frmMain->tobPolacz->click();
        break;
    case NieZamkniecie:
    case AnulujZamkniecie:
        odpowiedzTak = akcja == AnulujZamkniecie;
        frmMain->close();
        break;
    }
    BezpiecznyZapis::UstawObserwatora({});
    QVERIFY2(pudelka.Ile(Komunikaty::Rodzaj::Blad) == 0, qPrintable(pudelka.Opis()));
    if (zapisany)
        QCOMPARE(kolejnosc.mid(0, 3), (QStringList{QStringLiteral("plik"), QStringLiteral("folder"),
                                                   QStringLiteral("usuniety dziennik")}));
    const QStringList odlozone =
        QDir(tmp->KatalogStanu()).entryList({QStringLiteral("niezapisany_*.txt")}, QDir::Files);
    QCOMPARE(odlozone.size(), odlozony ? 1 : 0);
    if (odlozony)
        QVERIFY(CzytajPlik(tmp->KatalogStanu() + u'/' + odlozone[0]).endsWith(raport));

    pudelka.clear();
    odpowiedzTak = false;
    tmp->UruchomPonownie();
    frmMain->show();
    QTest::qWait(50); // the start-up question would come from the event loop
    QCOMPARE(pudelka.Teksty(Komunikaty::Rodzaj::Pytanie).size(), oferowany ? 1 : 0);
}

void TstDziennik::nowyDziennikNaDyskuPoTransmisji()
{
    // The first chunk does not wait for the disk: a new journal, and its
    // name in the folder, are synced with the flush at the end of the
    // transmission, as the chunks after it are.
    std::mutex m;
    int folder = 0;
    BezpiecznyZapis::UstawObserwatora([&](BezpiecznyZapis::Zdarzenie z, const QString &sciezka) {
        std::lock_guard l(m);
        folder += z == BezpiecznyZapis::Zdarzenie::KatalogZsynchronizowany &&
                  sciezka == tmp->KatalogStanu();
    });
    auto koniec = qScopeGuard([] { BezpiecznyZapis::UstawObserwatora({}); });
    frmMain->show();
    PtyPair pty;
    QVERIFY(pty.Ok());
    const QByteArray raport = Raport(2);
    QVERIFY(odbierz(pty, raport));
    QVERIFY(QTest::qWaitFor([&] { return frmMain->dziennik->Synchronizacje() > 0; }, kLimitMs));
    QVERIFY(CzytajPlik(PlikDziennika(*tmp)).endsWith(raport));
    std::lock_guard l(m);
    QCOMPARE(folder, 1);
}

void TstDziennik::nieOdkladaRaportNa30Dni()
{
    const QByteArray bajty = Raport(1) + QByteArray("\xB3\0\r", 3);
    QVERIFY(ZapiszPlik(PlikDziennika(*tmp), Dziennik(bajty)));
    // Kept files from earlier refusals: the older one is due for removal.
    const QString stary =
        tmp->KatalogStanu() + QStringLiteral("/niezapisany_2026-10-01_10-00-00.txt");
    const QString mlodszy =
        tmp->KatalogStanu() + QStringLiteral("/niezapisany_2026-10-20_10-00-00.txt");
    for (const auto &[plik, dni] : {std::pair{stary, 31}, std::pair{mlodszy, 29}}) {
        QVERIFY(ZapiszPlik(plik, "x"));
        QFile f(plik);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addDays(-dni),
                              QFileDevice::FileModificationTime));
    }

    // A later one, of this version: each is asked about, oldest first.
    const QString pozniejszy =
        tmp->KatalogStanu() + QStringLiteral("/raport-20261209-080000-0000abcd.dziennik");
    QVERIFY(ZapiszPlik(pozniejszy, ZapiszNaglowek({QStringLiteral("Sala 3"), QStringLiteral("COM1"),
                                                   QDateTime(QDate(2026, 12, 9), QTime(8, 0))}) +
                                       "drugi"));

    frmMain->show();
    QVERIFY(QTest::qWaitFor([&] { return pudelka.size() >= 2; }, kLimitMs));
    QCOMPARE(
        pudelka.Teksty(Komunikaty::Rodzaj::Pytanie),
        (QStringList{
            QStringLiteral("Znaleziono niezapisany raport z 2026-12-08 14:05 (obiekt: Sala 2). "
                           "Przywrócić go?"),
            QStringLiteral("Znaleziono niezapisany raport z 2026-12-09 08:00 (obiekt: Sala 3). "
                           "Przywrócić go?")}));
    QVERIFY(!QFileInfo::exists(pozniejszy));
    QVERIFY(QFileInfo::exists(tmp->KatalogStanu() +
                              QStringLiteral("/niezapisany_2026-12-09_08-00-00.txt")));
    // "Nie": nothing in the window, the file kept under its date.
    QCOMPARE(frmMain->memDane->Bajty(), QByteArray());
    QVERIFY(!frmMain->NiezapisaneDane);
    QVERIFY(!QFileInfo::exists(PlikDziennika(*tmp)));
    const QString odlozony =
        tmp->KatalogStanu() + QStringLiteral("/niezapisany_2026-12-08_14-05-33.txt");
    QCOMPARE(CzytajPlik(odlozony), Dziennik(bajty));
    QVERIFY(!QFileInfo::exists(stary));
    QVERIFY(QFileInfo::exists(mlodszy));

    pudelka.clear();
    tmp->UruchomPonownie();
    frmMain->show();
    QTest::qWait(50);
    QCOMPARE(pudelka.size(), 0);
    QVERIFY(QFileInfo::exists(odlozony));
}

void TstDziennik::uszkodzonyDziennik_data()
{
    QTest::addColumn<QByteArray>("plik");
    QTest::addColumn<QByteArray>("przywrocone"); // empty: nothing is offered
    const QByteArray r = Raport(2);
    QTest::newRow("cut short in the report")
        << Dziennik(r).left(Dziennik(r).size() - 100) << r.left(r.size() - 100);
    QTest::newRow("header damaged, its end kept")
        << "VESTIBUL\xFF\xFF\x01MAT 1\nobiekt: Sala 2\n\n" + r << r;
    QTest::newRow("no header at all") << r << r;
    QTest::newRow("cut inside the header")
        << QByteArray("VESTIBULOMAT-DZIENNIK 1\nobiekt: Sa") << QByteArray();
    QTest::newRow("header only") << Dziennik(QByteArray()) << QByteArray();
    QTest::newRow("empty file") << QByteArray() << QByteArray();
}

void TstDziennik::uszkodzonyDziennik()
{
    QFETCH(QByteArray, plik);
    QFETCH(QByteArray, przywrocone);
    QVERIFY(ZapiszPlik(PlikDziennika(*tmp), plik));
    odpowiedzTak = true;
    frmMain->show();
    QTest::qWait(50);
    QVERIFY2(pudelka.Ile(Komunikaty::Rodzaj::Blad) == 0, qPrintable(pudelka.Opis()));
    QCOMPARE(pudelka.Teksty(Komunikaty::Rodzaj::Pytanie).size(), przywrocone.isEmpty() ? 0 : 1);
    QCOMPARE(frmMain->memDane->Bajty(), przywrocone);
    QCOMPARE(frmMain->NiezapisaneDane, !przywrocone.isEmpty());
    if (przywrocone.isEmpty())
        QVERIFY(!QFileInfo::exists(PlikDziennika(*tmp)));
}

// --- a journal that cannot be written -------------------------------------------------

void TstDziennik::dziennikNieDoZapisania_data()
{
    QTest::addColumn<bool>("limitRozmiaru"); // else the state folder is a file's child
    QTest::addColumn<QString>("blad");
    // The next start offers it as incomplete; none when no journal was made.
    QTest::addColumn<bool>("niepelny");
    QTest::newRow("file size limit (disk full)") << true << QStringLiteral("EFBIG") << true;
    QTest::newRow("state folder cannot be made") << false << QStringLiteral("ENOTDIR") << false;
}

void TstDziennik::dziennikNieDoZapisania()
{
    QFETCH(bool, limitRozmiaru);
    QFETCH(QString, blad);
    QFETCH(bool, niepelny);
    if (!limitRozmiaru) {
        const QString zwykly = tmp->filePath(QStringLiteral("plik"));
        QVERIFY(ZapiszPlik(zwykly, "x"));
        qputenv("XDG_STATE_HOME", QFile::encodeName(zwykly + QStringLiteral("/state")));
        tmp->UruchomPonownie();
    }
    frmMain->show();
    QTest::qWait(50);

    // The program's own windows ignore SIGXFSZ: the test leaves it to them.
    std::optional<LimitRozmiaruPliku> limit;
    if (limitRozmiaru)
        QVERIFY(limit.emplace(1000).Ok());
    PtyPair pty;
    QVERIFY(pty.Ok());
    const QByteArray raport = Raport(12);
    QSignalSpy koniec(frmMain->timTransmisja, &QTimer::timeout);
    frmMain->port->SetPort(pty.SlaveName());
    frmMain->tobPolacz->click();
    // Several chunks, each written to the journal on its own.
    for (qsizetype i = 0; i < raport.size(); i += 500) {
        QVERIFY(pty.Send(raport.mid(i, 500)));
        QTest::qWait(300);
    }
    const bool skonczone = QTest::qWaitFor(
        [&] {
            return frmMain->memDane->Bajty().size() == raport.size() && koniec.count() > 0 &&
                   !frmMain->timTransmisja->isActive();
        },
        kLimitMs);
    limit.reset();
    QVERIFY(skonczone);

    // One message for the download, which went on to the end.
    QVERIFY(QTest::qWaitFor([&] { return pudelka.Ile(Komunikaty::Rodzaj::Blad) > 0; }, kLimitMs));
    QTest::qWait(300);
    QCOMPARE(pudelka.size(), 1);
    QVERIFY2(ZgodnyZWzorem(pudelka[0].tekst,
                           QStringLiteral("Nie można zapisywać zapasowej kopii odbieranego "
                                          "raportu (…)…")),
             qPrintable(pudelka.Opis()));
    QVERIFY2(OstatnieSzczegoly().contains(blad), qPrintable(OstatnieSzczegoly()));
    QCOMPARE(frmMain->memDane->Bajty(), raport);
    QCOMPARE(frmMain->TekstPanelu(2), QStringLiteral("Do:  2026-11-12"));

    // What the journal holds is never offered as the whole report.
    QVERIFY(!QFileInfo::exists(tmp->PlikDziennika()));
    pudelka.clear();
    frmMain->NiezapisaneDane = false;
    tmp->UruchomPonownie();
    frmMain->show();
    QTest::qWait(50);
    const QStringList pytania = pudelka.Teksty(Komunikaty::Rodzaj::Pytanie);
    QCOMPARE(pytania.size(), niepelny ? 1 : 0);
    if (niepelny)
        QVERIFY2(ZgodnyZWzorem(pytania[0], QStringLiteral("Znaleziono niezapisany raport z … "
                                                          "(obiekt: …), ale niepełny: dziennik "
                                                          "odbioru zawiera tylko jego część. "
                                                          "Przywrócić go?")),
                 qPrintable(pytania[0]));
}

void TstDziennik::dwieKopieNieDzielaDziennika()
{
    // Ten copies that ended with their reports unsaved, and one of an earlier
    // version: none takes anything from a copy still running, and every one
    // is offered, oldest first.
    QTemporaryDir katalog;
    const QDateTime t0 = QDateTime::currentDateTime().addDays(-1);
    TDziennik biezacy(katalog.path());
    biezacy.Rozpocznij({QStringLiteral("biezacy"), QStringLiteral("ttyUSB0"), t0}, "biezacy");
    for (int i = 1; i <= 10; ++i) {
        TDziennik d(katalog.path());
        d.Rozpocznij({QString::number(i), QStringLiteral("ttyUSB0"), t0.addSecs(-60 * (11 - i))},
                     "raport " + QByteArray::number(i));
    }
    QVERIFY(ZapiszPlik(
        katalog.filePath(QStringLiteral("raport-3.dziennik")),
        ZapiszNaglowek({QStringLiteral("stary"), QStringLiteral("COM1"), t0.addDays(-1)}) +
            "stary"));
    QVERIFY(ZapiszPlik(katalog.filePath(QStringLiteral("raport-5.blokada")), QByteArray()));

    TDziennik okno(katalog.path());
    const std::vector<OpisDziennika> lista = okno.Pozostawione();
    QStringList obiekty;
    for (const OpisDziennika &o : lista)
        obiekty << o.naglowek.obiekt;
    QCOMPARE(obiekty, QStringLiteral("stary 1 2 3 4 5 6 7 8 9 10").split(u' '));
    // A lock file of no journal is gone.
    QVERIFY(!QFileInfo::exists(katalog.filePath(QStringLiteral("raport-5.blokada"))));
    {
        // While one window offers them, another does not.
        TDziennik drugieOkno(katalog.path());
        QCOMPARE(drugieOkno.Pozostawione().size(), std::size_t(0));
    }
    QCOMPARE(okno.Przywroc(lista[0]).bajty, QByteArray("stary"));
    okno.Odloz(lista[1]);
    okno.ZwolnijPozostawione();
    TDziennik pozniej(katalog.path());
    const std::vector<OpisDziennika> reszta = pozniej.Pozostawione();
    QCOMPARE(reszta.size(), std::size_t(9));
    QCOMPARE(pozniej.Przywroc(reszta[0]).bajty, QByteArray("raport 2"));
    QCOMPARE(QDir(katalog.path()).entryList({QStringLiteral("niezapisany_*.txt")}).size(), 1);
}

void TstDziennik::dziennikNieZwyklyPlik_data()
{
    QTest::addColumn<bool>("fifo"); // else a link to a whole journal elsewhere
    QTest::newRow("FIFO without a writer") << true;
    QTest::newRow("link to a journal") << false;
}

void TstDziennik::dziennikNieZwyklyPlik()
{
    QFETCH(bool, fifo);
    QTemporaryDir katalog;
    const QString plik = katalog.filePath(QStringLiteral("raport-1.dziennik"));
    const QString cel = katalog.filePath(QStringLiteral("cel.txt"));
    QVERIFY(ZapiszPlik(cel, Dziennik(Raport(1))));
    if (fifo)
        QCOMPARE(::mkfifo(QFile::encodeName(plik).constData(), 0600), 0);
    else
        QVERIFY(QFile::link(cel, plik));
    // In a child under a watchdog: a look that blocks fails the row.
    const WynikPotomka w = UruchomWPotomku([&]() -> QString {
        TDziennik d(katalog.path());
        std::vector<Czytanie::BladCzytania> odrzucone;
        const std::size_t ile = d.Pozostawione(&odrzucone).size();
        QString wynik = QString::number(ile);
        for (const Czytanie::BladCzytania &e : odrzucone)
            wynik += u'|' + e.TekstUzytkownika();
        return wynik;
    });
    QVERIFY2(w.naCzas, "looking at the journal blocked");
    QVERIFY(w.ok);
    // Not offered, not removed, and the user is told which file it is.
    QVERIFY2(w.tekst.startsWith(QStringLiteral("0|Plik \"") + plik + u'"'), qPrintable(w.tekst));
    QVERIFY(QFileInfo(plik).isSymLink() != fifo);
    QCOMPARE(CzytajPlik(cel), Dziennik(Raport(1)));
}

void TstDziennik::folderStanuInnegoUzytkownika()
{
    if (::geteuid() != 0)
        QSKIP("only root can give a folder to another user");
    // A journal in a state folder another user owns (and could have forged).
    const QString plik = PlikDziennika(*tmp);
    QVERIFY(ZapiszPlik(plik, Dziennik(Raport(1))));
    const QByteArray folder = QFile::encodeName(tmp->KatalogStanu());
    QCOMPARE(::chown(folder.constData(), 65534, 65534), 0);
    const auto oddaj = qScopeGuard([&] { ::chown(folder.constData(), ::geteuid(), ::getegid()); });
    odpowiedzTak = true;

    frmMain->show();
    // The start-up look runs in one go: a question would be there with it.
    QVERIFY(QTest::qWaitFor([&] { return !pudelka.isEmpty(); }, kLimitMs));

    // Said once, naming the folder and its owner; nothing offered from it.
    QCOMPARE(pudelka.Teksty(Komunikaty::Rodzaj::Blad),
             QStringList{u"Folder „"_qs + tmp->KatalogStanu() +
                         u"” należy do innego użytkownika (nobody); program go nie używa. "
                         "Poproś administratora o usunięcie tego folderu."_qs});
    QCOMPARE(pudelka.size(), 1);
    QCOMPARE(frmMain->memDane->Bajty(), QByteArray());
    QCOMPARE(CzytajPlik(plik), Dziennik(Raport(1)));
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet("VESTIBULOMAT_TEST_PORT"))
        return Dziecko(argc, argv);
    QApplication app(argc, argv);
    TstDziennik test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dziennik.moc"
