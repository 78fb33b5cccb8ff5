// The command line's arguments, read in-process: who gets them (the window or
// the command line), and what the command line answers before any download.

#include "Opcje.h"

#include <QTest>

class TstOpcje : public QObject
{
    Q_OBJECT

private slots:
    void argumenty_data();
    void argumenty();
};

namespace {

const int kPobieranie = -1; // the options ask for a download

QString Uzycie(const QString &powod)
{
    return powod + QStringLiteral(" Pomoc: vestibulomat --help");
}

} // namespace

void TstOpcje::argumenty_data()
{
    QTest::addColumn<QStringList>("argumenty");
    QTest::addColumn<bool>("okno");
    QTest::addColumn<int>("kod");
    QTest::addColumn<QString>("naWyjsciu"); // a part of stdout
    QTest::addColumn<QString>("blad");      // the whole line on stderr
    QTest::addColumn<int>("czekaj");
    QTest::addColumn<QString>("katalog");

    auto okno = [](const char *nazwa, const QStringList &argumenty) {
        QTest::newRow(nazwa) << argumenty << true << 0 << QString() << QString() << 0 << QString();
    };
    auto pobieranie = [](const char *nazwa, const QStringList &argumenty, int czekaj,
                         const QString &katalog = QString()) {
        QTest::newRow(nazwa) << argumenty << false << kPobieranie << QString() << QString()
                             << czekaj << katalog;
    };
    auto wypisuje = [](const char *nazwa, const QStringList &argumenty, const QString &tekst) {
        QTest::newRow(nazwa) << argumenty << false << 0 << tekst << QString() << 60 << QString();
    };
    auto odmawia = [](const char *nazwa, const QStringList &argumenty, const QString &powod) {
        QTest::newRow(nazwa) << argumenty << false << 64 << QString() << Uzycie(powod) << 60
                             << QString();
    };

    // The window: nothing, or only Qt's own options, which Qt takes with one
    // dash or two, a value in the next argument, and "=" where Qt takes it.
    okno("no arguments", {});
    okno("platform", {"-platform", "xcb"});
    okno("platform with two dashes", {"--platform", "offscreen"});
    okno("style as two arguments", {"-style", "fusion"});
    okno("style with =", {"-style=fusion"});
    okno("style sheet with = and two dashes", {"--stylesheet=a.qss"});
    okno("switches of Qt", {"-reverse", "-widgetcount", "--nograb"});
    okno("xcb's display and name", {"-display", ":1", "-name", "licznik"});
    okno("window geometry and title", {"-qwindowgeometry", "640x480", "--qwindowtitle", "Sala"});
    okno("a value that looks like our option is Qt's", {"-qwindowtitle", "--pobierz"});
    okno("session of the session manager", {"-session", "abc_123"});

    // The command line refuses forms Qt does not take.
    odmawia("platform with = is not Qt's", {"-platform=xcb"},
            QStringLiteral("Nieznany argument \"-platform=xcb\"."));
    odmawia("switch of Qt with a value", {"-reverse=1"},
            QStringLiteral("Nieznany argument \"-reverse=1\"."));
    odmawia("three dashes", {"---platform", "xcb"},
            QStringLiteral("Nieznany argument \"---platform\"."));
    odmawia("Qt's option beside ours", {"--pobierz", "-style", "fusion"},
            QStringLiteral("Nieznany argument \"-style\"."));

    // A download, with its wait and folder in either form.
    pobieranie("download with the defaults", {"--pobierz"}, 60);
    pobieranie("wait as two arguments", {"--pobierz", "--czekaj", "5"}, 5);
    pobieranie("wait with =", {"--czekaj=5", "--pobierz"}, 5);
    pobieranie("longest wait", {"--pobierz", "--czekaj", "86400"}, 86400);
    pobieranie("the last wait counts", {"--pobierz", "--czekaj", "5", "--czekaj=7"}, 7);
    pobieranie("folder as two arguments", {"--pobierz", "--katalog", "/mnt/raporty"}, 60,
               QStringLiteral("/mnt/raporty"));
    pobieranie("folder with =", {"--pobierz", "--katalog=/mnt/a=b"}, 60,
               QStringLiteral("/mnt/a=b"));
    pobieranie("folder named like an option", {"--pobierz", "--katalog", "--help"}, 60,
               QStringLiteral("--help"));

    // Help and version, whatever else is asked.
    wypisuje("help", {"--help"},
             QStringLiteral("Użycie: vestibulomat --pobierz [--czekaj SEKUNDY] "
                            "[--katalog FOLDER]\n"));
    wypisuje("short help", {"-h"}, QStringLiteral("64 błędne argumenty, 78 nie można użyć pliku"));
    wypisuje("help before a download", {"--pobierz", "--help"},
             QStringLiteral("  systemctl --user enable --now vestibulomat-pobierz.timer\n"));
    wypisuje("version", {"--version"}, QStringLiteral("Vestibulomat "));

    // Anything else: exit 64 and one line naming what is wrong.
    odmawia("one dash", {"-pobierz"}, QStringLiteral("Nieznany argument \"-pobierz\"."));
    odmawia("no dash", {"pobierz"}, QStringLiteral("Nieznany argument \"pobierz\"."));
    odmawia("a word after the option", {"--pobierz", "extra"},
            QStringLiteral("Nieznany argument \"extra\"."));
    odmawia("empty argument", {""}, QStringLiteral("Nieznany argument \"\"."));
    odmawia("empty argument after the option", {"--pobierz", ""},
            QStringLiteral("Nieznany argument \"\"."));
    odmawia("lone dash", {"-"}, QStringLiteral("Nieznany argument \"-\"."));
    odmawia("end of options", {"--pobierz", "--"}, QStringLiteral("Nieznany argument \"--\"."));
    odmawia("mistyped option", {"--pobiez"}, QStringLiteral("Nieznany argument \"--pobiez\"."));
    odmawia("switch with a value", {"--pobierz=tak"},
            QStringLiteral("Nieznany argument \"--pobierz=tak\"."));
    odmawia("help with one dash and more letters", {"-help"},
            QStringLiteral("Nieznany argument \"-help\"."));
    odmawia("the first wrong argument is named", {"--pobierz", "--x=1", "--y"},
            QStringLiteral("Nieznany argument \"--x=1\"."));
    odmawia("wait without its value", {"--pobierz", "--czekaj"},
            QStringLiteral("Brak wartości opcji --czekaj."));
    odmawia("folder without its value", {"--pobierz", "--katalog"},
            QStringLiteral("Brak wartości opcji --katalog."));
    odmawia("wait of zero", {"--pobierz", "--czekaj", "0"},
            QStringLiteral("Opcja --czekaj wymaga liczby sekund od 1 do 86400, podano \"0\"."));
    odmawia("wait over a day", {"--pobierz", "--czekaj=86401"},
            QStringLiteral("Opcja --czekaj wymaga liczby sekund od 1 do 86400, podano \"86401\"."));
    odmawia("negative wait", {"--pobierz", "--czekaj", "-5"},
            QStringLiteral("Opcja --czekaj wymaga liczby sekund od 1 do 86400, podano \"-5\"."));
    odmawia("run's time limit of zero", {"--pobierz", "--najdluzej=0"},
            QStringLiteral("Opcja --najdluzej wymaga liczby sekund od 1 do 86400, podano \"0\"."));
    odmawia("run's time limit in words", {"--pobierz", "--najdluzej", "dużo"},
            QStringLiteral("Opcja --najdluzej wymaga liczby sekund od 1 do 86400, podano \"dużo\"."));
    odmawia("wait in words", {"--pobierz", "--czekaj", "abc"},
            QStringLiteral("Opcja --czekaj wymaga liczby sekund od 1 do 86400, podano \"abc\"."));
    odmawia("wait with an empty value", {"--pobierz", "--czekaj="},
            QStringLiteral("Opcja --czekaj wymaga liczby sekund od 1 do 86400, podano \"\"."));
    odmawia("wait swallows the next option", {"--czekaj", "--pobierz"},
            QStringLiteral("Opcja --czekaj wymaga liczby sekund od 1 do "
                           "86400, podano \"--pobierz\"."));
    odmawia("a wrong wait among good ones", {"--pobierz", "--czekaj=x", "--czekaj", "5"},
            QStringLiteral("Opcja --czekaj wymaga liczby sekund od 1 do 86400, podano \"x\"."));
    odmawia("empty folder", {"--pobierz", "--katalog="},
            QStringLiteral("Opcja --katalog wymaga nazwy folderu."));
    odmawia("wait without download", {"--czekaj=5"},
            QStringLiteral("Opcje --czekaj i --katalog działają tylko z --pobierz."));
    odmawia("folder without download", {"--katalog", "/tmp"},
            QStringLiteral("Opcje --czekaj i --katalog działają tylko z --pobierz."));
}

void TstOpcje::argumenty()
{
    QFETCH(QStringList, argumenty);
    QFETCH(bool, okno);
    QFETCH(int, kod);
    QFETCH(QString, naWyjsciu);
    QFETCH(QString, blad);
    QFETCH(int, czekaj);
    QFETCH(QString, katalog);

    const QStringList wszystkie = QStringList{QStringLiteral("vestibulomat")} + argumenty;
    QCOMPARE(DlaOkna(wszystkie), okno);
    if (okno)
        return;

    const Opcje o = CzytajOpcje(wszystkie);
    const Odpowiedz odp = OdpowiedzNaOpcje(o);
    QCOMPARE(odp.kod, kod);
    QCOMPARE(odp.blad, blad);
    if (naWyjsciu.isEmpty())
        QCOMPARE(odp.wyjscie, QString());
    else
        QVERIFY2(odp.wyjscie.contains(naWyjsciu), qPrintable(odp.wyjscie));
    if (kod == kPobieranie) {
        QCOMPARE(o.czekaj, czekaj);
        QCOMPARE(o.katalog.value_or(QString()), katalog);
        QCOMPARE(o.katalog.has_value(), !katalog.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TstOpcje)
#include "tst_opcje.moc"
