// The main window: start-up, settings applied at the first show, the command
// states, and the question about an unsaved report when closing.

#include "CPort.h"
#include "CPortCtl.h"
#include "Komunikaty.h"
#include "LiniaKomunikatu.h"
#include "Miejsca.h"
#include "Narzedzia.h"
#include "OknaTestowe.h"
#include "Otwarcie.h"
#include "Pomocnicze.h"
#include "Przebiegi.h"
#include "RaportView.h"
#include "konfiguracja.h"
#include "main.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A report as the device sends it: Windows-1250 letters, two days, no line
// break at its end.
const QByteArray kRaport = "Licznik odwiedzin - obiekt: Sala g\xB3\xF3wna\r\n"
                           "Odwiedziny w dniu: 2026/12/01\r\n  08:00  25\r\n"
                           "Odwiedziny w dniu: 2026/12/07\r\n  09:00  \xA3\xF3\x64\xBA 3\r\n"
                           "Razem odwiedzin: 28";
const QString kNazwaRaportu = QStringLiteral("Sala_2026-12-01_2026-12-07.txt");

// One run of the timer in the record of unattended runs, ended at koniec.
void ZapiszPrzebieg(int kod, const QString &komunikat, const QString &plik, const QDateTime &koniec)
{
    QDir().mkpath(KatalogStanu());
    Przebieg p;
    p.poczatek = koniec.addSecs(-40);
    p.koniec = koniec;
    p.kod = kod;
    p.komunikat = komunikat;
    p.plik = plik;
    DopiszPrzebieg(KatalogStanu(), p);
}

QDateTime Rano(int dzien = 8)
{
    return QDateTime(QDate(2026, 12, dzien), QTime(6, 0, 41));
}

bool ZapiszPlik(const QString &sciezka, const QByteArray &dane)
{
    QFile f(sciezka);
    return f.open(QIODevice::WriteOnly) && f.write(dane) == dane.size();
}

void Aktywuj(QWidget *okno)
{
    QApplication::setActiveWindow(okno);
    QVERIFY(QTest::qWaitForWindowActive(okno));
}

// Ends every modal window that opens while it lives (a save dialog opened
// by the save command, for example), so no test hangs on one.
class Zamykacz : public QObject
{
public:
    Zamykacz()
    {
        connect(&zegar, &QTimer::timeout, this, [] {
            if (QWidget *w = QApplication::activeModalWidget()) {
                if (auto *d = qobject_cast<QDialog *>(w))
                    d->reject();
                else
                    w->close();
            }
        });
        zegar.start(20);
    }

private:
    QTimer zegar;
};

enum Krok { Start, Polaczony, BezPolaczenia, Oczekiwanie, Dane, Zapisany, Wyslany };

// The picture a button shows, as drawn.
QImage Obraz(const QToolButton *b)
{
    return b->icon().pixmap(QSize(16, 16)).toImage();
}

void Wykonaj(TfrmMain *m, Krok k)
{
    switch (k) {
    case Start:
        m->StanStart();
        break;
    case Polaczony:
        m->StanPolaczony();
        break;
    case BezPolaczenia:
        m->StanBezPolaczenia();
        break;
    case Oczekiwanie:
        m->StanOczekiwanie();
        break;
    case Dane:
        m->StanDane();
        break;
    case Zapisany:
        m->StanZapisany();
        break;
    case Wyslany:
        m->StanWyslany();
        break;
    }
}

// The three pictures each button can show, taken from a window just made
// ("Start"), with the port open ("Polaczony"), after a chunk ("Dane"), and
// after saving ("Zapisany") or mailing ("Wyslany"). The window goes back to
// its start state afterwards.
struct Wzory
{
    QMap<Krok, QImage> polacz, zapisz, mail;

    explicit Wzory(TfrmMain *m)
    {
        polacz[Start] = Obraz(m->tobPolacz);
        zapisz[Start] = Obraz(m->tobZapisz);
        mail[Start] = Obraz(m->tobMail);
        m->StanPolaczony();
        polacz[Polaczony] = Obraz(m->tobPolacz);
        m->StanDane();
        polacz[Dane] = Obraz(m->tobPolacz);
        zapisz[Dane] = Obraz(m->tobZapisz);
        mail[Dane] = Obraz(m->tobMail);
        m->StanZapisany();
        zapisz[Zapisany] = Obraz(m->tobZapisz);
        m->StanWyslany();
        mail[Wyslany] = Obraz(m->tobMail);
        m->StanStart();
    }
};

// A status panel shows its text whole: its frame, the indent a framed label
// keeps (half an "x") and the text all fit.
void PanelMiesciTekst(const QString &tekst)
{
    auto *panel = frmMain->stbStatus->findChild<QLabel *>(QStringLiteral("stbStatusPanel0"));
    QVERIFY(panel);
    const QFontMetrics fm = panel->fontMetrics();
    QVERIFY2(panel->contentsRect().width() >=
                 fm.horizontalAdvance(tekst) + fm.horizontalAdvance(u'x') / 2,
             qPrintable(QStringLiteral("%1 px for \"%2\"").arg(panel->width()).arg(tekst)));
}

} // namespace

Q_DECLARE_METATYPE(QList<int>)

class TstFrmMain : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void szescOknITytulProgramu();
    void kontrolkiNaStarcie();
    void ustawieniaPrzyPierwszymPokazaniu_data();
    void ustawieniaPrzyPierwszymPokazaniu();
    void bezPlikuNicNieJestTworzone();
    void zlyAutozapisNieKosztujeResztyUstawien_data();
    void zlyAutozapisNieKosztujeResztyUstawien();
    void pytanieOZapisPrzyZamykaniu_data();
    void pytanieOZapisPrzyZamykaniu();
    void stanyPolecen_data();
    void stanyPolecen();
    void zmianaPortuWDialoguWidacWPanelu_data();
    void zmianaPortuWDialoguWidacWPanelu();
    void konfiguracjaOtwieraSieNaPierwszejStronie();

    void przebiegWLinii_data();
    void przebiegWLinii();
    void ukrytyPrzebiegNieWraca_data();
    void ukrytyPrzebiegNieWraca();
    void otwartyRaportJakOdebrany_data();
    void otwartyRaportJakOdebrany();
    void otwartyRaportWyslanyNicNieNadpisuje();
    void otwarcieOdrzucone_data();
    void otwarcieOdrzucone();

private:
    void pokaz(const QByteArray &ini = QByteArray());

    std::unique_ptr<OknaTestowe> tmp; // the program directory with the windows
    Pudelka pudelka;
    bool odpowiedz = false;
    QList<QObject *> alerty; // what was announced to a screen reader as an alert
};

void TstFrmMain::init()
{
    pudelka.clear();
    odpowiedz = false;
    alerty.clear();
    TLiniaKomunikatu::UstawSluchaczaDostepnosci([this](QAccessibleEvent *e) {
        if (e->type() == QAccessible::Alert)
            alerty.append(e->object());
    });
    tmp = std::make_unique<OknaTestowe>(pudelka.Zapisuj(&odpowiedz));
    QVERIFY(tmp->isValid());
}

void TstFrmMain::cleanup()
{
    tmp.reset();
    TLiniaKomunikatu::UstawSluchaczaDostepnosci({});
}

void TstFrmMain::pokaz(const QByteArray &ini)
{
    if (!ini.isNull()) {
        QFile f(tmp->filePath(QStringLiteral("Vestibulomat.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ini);
    }
    frmMain->show();
}

void TstFrmMain::szescOknITytulProgramu()
{
    QVERIFY(frmMain && frmKonfiguracja);
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Vestibulomat"));
    QCOMPARE(TytulProgramu(), QStringLiteral("Vestibulomat"));
    QCOMPARE(frmMain->KatalogProgramu, tmp->path() + u'/');
    QCOMPARE(frmMain->HelpFile, tmp->path() + QStringLiteral("/Vestibulomat.hlp"));
    QCOMPARE(frmKonfiguracja->KatalogProgramu(), frmMain->KatalogProgramu);
    // Only the main window is shown, and only it ends the program.
    const auto okna = QApplication::topLevelWidgets();
    for (QWidget *w : okna)
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
    QVERIFY(frmMain->testAttribute(Qt::WA_QuitOnClose));
    QVERIFY(!frmKonfiguracja->testAttribute(Qt::WA_QuitOnClose));
}

void TstFrmMain::kontrolkiNaStarcie()
{
    TfrmMain *m = frmMain;
    QCOMPARE(m->windowTitle(), QStringLiteral("Vestibulomat"));
    QCOMPARE(m->size(), QSize(696, 479));
    QVERIFY(!m->NiezapisaneDane);
    QVERIFY(m->DataOd.isEmpty() && m->DataDo.isEmpty());

    struct P
    {
        const char *nazwa, *tekst, *podpowiedz;
        bool wlaczony;
        const char *dlaCzytnika; // what a screen reader says
    };
    for (const P &p : {P{"tobPolacz", " Połącz/Odbierz ", "Połącz/Odbierz", true, "Połącz/Odbierz"},
                       P{"tobZapisz", "Zapisz", "Zapisz", false, "Zapisz"},
                       P{"tobMail", "Wyślij", "Wyślij E-mail", false, "Wyślij"}}) {
        auto *b = m->findChild<QToolButton *>(QLatin1String(p.nazwa));
        QVERIFY2(b, p.nazwa);
        QCOMPARE(b->text(), QString::fromUtf8(p.tekst));
        QCOMPARE(QAccessible::queryAccessibleInterface(b)->text(QAccessible::Name),
                 QString::fromUtf8(p.dlaCzytnika));
        QCOMPARE(b->toolTip(), QString::fromUtf8(p.podpowiedz));
        QCOMPARE(b->isEnabled(), p.wlaczony);
        QCOMPARE(b->height(), 36);
        QVERIFY(b->width() >= 88);
    }
    // Nine pictures tell the states apart: each button has three of its own.
    const Wzory w(m);
    const QList<QImage> obrazy = w.polacz.values() + w.zapisz.values() + w.mail.values();
    QCOMPARE(obrazy.size(), 9);
    for (qsizetype i = 0; i < obrazy.size(); ++i) {
        QVERIFY2(!obrazy[i].isNull(), qPrintable(QString::number(i)));
        for (qsizetype j = 0; j < i; ++j)
            QVERIFY2(obrazy[i] != obrazy[j], qPrintable(QStringLiteral("%1 = %2").arg(i).arg(j)));
    }

    struct M
    {
        const char *nazwa, *tekst;
        bool wlaczony;
        const char *skrot = "";
    };
    for (const M &p :
         {M{"WylijOdbierz1", "Połącz/&Odbierz", true},
          M{"OtworzRaport1", "&Otwórz raport…", true, "Ctrl+O"},
          M{"Zapisz1", "Zapi&sz", false, "Ctrl+S"}, M{"Wylij1", "&Wyślij", false},
          M{"Zakocz1", "&Zakończ", true, "Ctrl+Q"}, M{"Konfiguracja1", "&Konfiguracja", true},
          M{"Tematypomocy1", "&Tematy pomocy", true, "F1"},
          M{"Oprogramie1", "&O programie", true}}) {
        auto *a = m->findChild<QAction *>(QLatin1String(p.nazwa));
        QVERIFY2(a, p.nazwa);
        QCOMPARE(a->text(), QString::fromUtf8(p.tekst));
        QCOMPARE(a->isEnabled(), p.wlaczony);
        QCOMPARE(a->shortcut(), QKeySequence(QLatin1String(p.skrot)));
    }
    QCOMPARE(m->Plik1->title(), QStringLiteral("&Plik"));
    QCOMPARE(m->Pomoc1->title(), QStringLiteral("Pomo&c"));
    QCOMPARE(m->Plik1->actions(), QList<QAction *>({m->WylijOdbierz1, m->OtworzRaport1, m->Zapisz1,
                                                    m->Wylij1, m->N2, m->Zakocz1}));
    QCOMPARE(m->Pomoc1->actions(), QList<QAction *>({m->Tematypomocy1, m->N1, m->Oprogramie1}));
    QVERIFY(m->N1->isSeparator() && m->N2->isSeparator());
    // "&Konfiguracja" is a command of the menu bar itself.
    QVERIFY(m->MainMenu1->actions().contains(m->Konfiguracja1));
    QVERIFY(!m->Konfiguracja1->menu());

    auto *mem = m->findChild<TRaportView *>(QStringLiteral("memDane"));
    QVERIFY(mem);
    QVERIFY(mem->isHidden());
    QVERIFY(mem->isReadOnly());
    // Long lines scroll sideways; they are never folded.
    QCOMPARE(mem->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);

    // Nothing polls or waits before the user asks. The download tests
    // shorten these periods, so the designed ones (a poll a second, ten
    // seconds for an answer, half a second of silence ends a report) are
    // pinned here. A coarse timer may fire early enough to take a pause
    // inside a report for its end.
    for (auto [nazwa, ms] : {std::pair{"timPytanie", 1000}, std::pair{"timTimeOut", 10000},
                             std::pair{"timTransmisja", 500}}) {
        auto *t = m->findChild<QTimer *>(QLatin1String(nazwa));
        QVERIFY2(t, nazwa);
        QVERIFY(!t->isActive());
        QCOMPARE(t->interval(), ms);
        QCOMPARE(t->timerType(), Qt::PreciseTimer);
    }

    for (int i = 0; i < 4; ++i) {
        auto *l = m->stbStatus->findChild<QLabel *>(QStringLiteral("stbStatusPanel%1").arg(i));
        QVERIFY(l);
        QCOMPARE(m->TekstPanelu(i), QString());
        // Device strings and paths may hold "<": never read as markup.
        QCOMPARE(l->textFormat(), Qt::PlainText);
    }

    QCOMPARE(m->SaveDialog1->defaultSuffix(), QStringLiteral("txt"));
    QCOMPARE(m->SaveDialog1->nameFilters(), QStringList{QStringLiteral("Pliki tekstowe (*.txt)")});
    QVERIFY(m->SaveDialog1->testOption(QFileDialog::DontConfirmOverwrite));
    QCOMPARE(m->SaveDialog1->acceptMode(), QFileDialog::AcceptSave);
    QCOMPARE(m->OpenDialog1->acceptMode(), QFileDialog::AcceptOpen);
    QCOMPARE(m->OpenDialog1->nameFilters().value(0), QStringLiteral("Pliki tekstowe (*.txt)"));
    // Nothing to tell at start: the message line waits hidden.
    QVERIFY(m->panKomunikat->isHidden());
}

void TstFrmMain::ustawieniaPrzyPierwszymPokazaniu_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("nazwa");
    QTest::addColumn<QString>("katalog"); // "*" stands for the program directory
    QTest::addColumn<int>("zapis");
    QTest::addColumn<QString>("mail");
    QTest::addColumn<QString>("port"); // in panel 0 and in the picker
    QTest::addColumn<bool>("synchro");
    QTest::addColumn<bool>("podglad");

    QTest::newRow("no file: defaults")
        << QByteArray() << QStringLiteral("Obiekt") << QStringLiteral("*") << 1 << QString()
        << QStringLiteral("COM1") << false << false;
    QTest::newRow("every key, True in both boxes")
        << QByteArray("[konfig]\r\nobiekt=Sklep\r\nkatalog=/dane/\r\nautozapis=0\r\n"
                      "mail=a@b.pl\r\nport=COM1\r\nsynchro=True\r\npodglad=True\r\n")
        << QStringLiteral("Sklep") << QStringLiteral("/dane/") << 0 << QStringLiteral("a@b.pl")
        << QStringLiteral("COM1") << true << true;
    QTest::newRow("true in lower case and capitals is false")
        << QByteArray("[konfig]\nsynchro=true\npodglad=TRUE\n") << QStringLiteral("Obiekt")
        << QStringLiteral("*") << 1 << QString() << QStringLiteral("COM1") << false << false;
    QTest::newRow("a digit is false")
        << QByteArray("[konfig]\nsynchro=1\npodglad= True \n") << QStringLiteral("Obiekt")
        << QStringLiteral("*") << 1 << QString() << QStringLiteral("COM1") << false << true;
    QTest::newRow("autozapis 7 selects nothing")
        << QByteArray("[konfig]\nautozapis=7\n") << QStringLiteral("Obiekt") << QStringLiteral("*")
        << -1 << QString() << QStringLiteral("COM1") << false << false;
    QTest::newRow("autozapis -1 selects nothing")
        << QByteArray("[konfig]\nautozapis=-1\n") << QStringLiteral("Obiekt") << QStringLiteral("*")
        << -1 << QString() << QStringLiteral("COM1") << false << false;
    QTest::newRow("pseudo-terminal path: panel 0 shows it whole")
        << QByteArray("[konfig]\nport=/dev/pts/3\n") << QStringLiteral("Obiekt")
        << QStringLiteral("*") << 1 << QString() << QStringLiteral("/dev/pts/3") << false << false;
    QTest::newRow("absent adapter by its id: panel 0 names the link, not its path")
        << QByteArray("[konfig]\nport=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5-if00\n")
        << QStringLiteral("Obiekt") << QStringLiteral("*") << 1 << QString()
        << QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5-if00") << false << false;
    QTest::newRow("empty port") << QByteArray("[konfig]\nport=\n") << QStringLiteral("Obiekt")
                                << QStringLiteral("*") << 1 << QString() << QString() << false
                                << false;
    QTest::newRow("blanks dropped, quotes removed, Polish letters")
        << QByteArray("[KONFIG]\nOBIEKT=  Sklep \xafu\xb3\x77 \n katalog = \" /m ja/ \"\n")
        << QStringLiteral("Sklep Żułw") << QStringLiteral(" /m ja/ ") << 1 << QString()
        << QStringLiteral("COM1") << false << false;
}

void TstFrmMain::ustawieniaPrzyPierwszymPokazaniu()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, nazwa);
    QFETCH(QString, katalog);
    QFETCH(int, zapis);
    QFETCH(QString, mail);
    QFETCH(QString, port);
    QFETCH(bool, synchro);
    QFETCH(bool, podglad);
    if (katalog == QLatin1String("*"))
        katalog = tmp->path() + u'/';

    pokaz(ini);

    TfrmKonfiguracja *k = frmKonfiguracja;
    QCOMPARE(k->ediNazwa->text(), nazwa);
    QCOMPARE(k->ediKatalog->text(), katalog);
    QCOMPARE(k->cobZapis->currentIndex(), zapis);
    QCOMPARE(k->ediMail->text(), mail);
    // A by-id link is shown by the short name a user knows, never the long path.
    const QString panel = port.startsWith(QLatin1String("/dev/serial/by-id/"))
                              ? port.section(u'/', -1) + QStringLiteral(" (niepodłączony)")
                              : port;
    QCOMPARE(frmMain->TekstPanelu(0), panel);
    PanelMiesciTekst(panel);
    QCOMPARE(k->WybranyPort(), port);
    QCOMPARE(k->chbSynchronizuj->isChecked(), synchro);
    QCOMPARE(k->chbPodglad->isChecked(), podglad);
    QCOMPARE(frmMain->windowTitle(), QStringLiteral("Vestibulomat v") + WersjaProgramu());
    QVERIFY(pudelka.isEmpty());
}

void TstFrmMain::bezPlikuNicNieJestTworzone()
{
    pokaz();
    QVERIFY(!QFile::exists(tmp->filePath(QStringLiteral("Vestibulomat.ini"))));
    // Showing the window again does not read the file again.
    frmKonfiguracja->ediNazwa->setText(QStringLiteral("zmieniony"));
    frmMain->hide();
    frmMain->show();
    QCOMPARE(frmKonfiguracja->ediNazwa->text(), QStringLiteral("zmieniony"));
}

void TstFrmMain::zlyAutozapisNieKosztujeResztyUstawien_data()
{
    QTest::addColumn<QByteArray>("wartosc");
    QTest::newRow("letters") << QByteArray("abc");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("decimal fraction") << QByteArray("1.5");
}

void TstFrmMain::zlyAutozapisNieKosztujeResztyUstawien()
{
    QFETCH(QByteArray, wartosc);
    pokaz("[konfig]\nobiekt=Sklep\nautozapis=" + wartosc +
          "\nmail=x@y.pl\nport=ttyS3\nsynchro=True\npodglad=True\n");

    QCOMPARE(pudelka.size(), 1);
    QCOMPARE(pudelka[0].rodzaj, Komunikaty::Rodzaj::Blad);
    const QString oczekiwany =
        QStringLiteral("Wartość \"%1\" klucza \"autozapis\" nie jest liczbą całkowitą. ")
            .arg(QString::fromLatin1(wartosc));
    QVERIFY2(pudelka[0].tekst.startsWith(oczekiwany), qPrintable(pudelka[0].tekst));
    // What to do follows; the settings file is named in the details.
    QVERIFY2(pudelka[0].tekst.contains(QStringLiteral("Potwierdź")), qPrintable(pudelka[0].tekst));
    QVERIFY(OstatnieSzczegoly().contains(QStringLiteral("Vestibulomat.ini")));

    TfrmKonfiguracja *k = frmKonfiguracja;
    QCOMPARE(k->cobZapis->currentIndex(), -1);
    QCOMPARE(k->ediNazwa->text(), QStringLiteral("Sklep"));
    QCOMPARE(k->ediMail->text(), QStringLiteral("x@y.pl"));
    QCOMPARE(frmMain->TekstPanelu(0), QStringLiteral("ttyS3"));
    QVERIFY(k->chbSynchronizuj->isChecked());
    QVERIFY(k->chbPodglad->isChecked());
    QCOMPARE(frmMain->windowTitle(), QStringLiteral("Vestibulomat v") + WersjaProgramu());
    QVERIFY(frmMain->isVisible());
}

void TstFrmMain::pytanieOZapisPrzyZamykaniu_data()
{
    QTest::addColumn<bool>("niezapisane");
    QTest::addColumn<bool>("tak");
    QTest::addColumn<int>("pytania");
    QTest::addColumn<bool>("ctrlQ"); // closed with Ctrl+Q instead of the menu
    QTest::newRow("saved report: no question") << false << true << 0 << false;
    QTest::newRow("unsaved report, No: closes without saving") << true << false << 1 << false;
    QTest::newRow("unsaved report, Yes and the save dialog cancelled: closes")
        << true << true << 1 << false;
    QTest::newRow("unsaved report, Ctrl+Q asks too") << true << false << 1 << true;
}

void TstFrmMain::pytanieOZapisPrzyZamykaniu()
{
    QFETCH(bool, niezapisane);
    QFETCH(bool, tak);
    QFETCH(int, pytania);
    QFETCH(bool, ctrlQ);
    pokaz();
    frmMain->NiezapisaneDane = niezapisane;
    odpowiedz = tak;

    Zamykacz zamykacz;
    // Through the menu command or its key, as the user closes the program.
    if (ctrlQ) {
        QApplication::setActiveWindow(frmMain);
        QVERIFY(QTest::qWaitForWindowActive(frmMain));
        QTest::keyClick(frmMain, Qt::Key_Q, Qt::ControlModifier);
    } else {
        frmMain->Zakocz1->trigger();
    }

    int zadane = 0;
    for (const Pudelko &p : std::as_const(pudelka)) {
        if (p.rodzaj == Komunikaty::Rodzaj::Pytanie) {
            ++zadane;
            QCOMPARE(p.tekst,
                     QStringLiteral("Czy chcesz zapisać dane przed zamknięciem programu?"));
        }
    }
    QCOMPARE(zadane, pytania);
    QVERIFY(!frmMain->isVisible());
}

void TstFrmMain::stanyPolecen_data()
{
    // Each button shows the picture it shows after the named state (see Wzory).
    QTest::addColumn<QList<int>>("kroki");
    QTest::addColumn<bool>("zapiszWlaczony");
    QTest::addColumn<int>("jakPolacz");
    QTest::addColumn<int>("jakZapisz");
    QTest::addColumn<int>("jakMail");

    QTest::newRow("start after a saved and mailed report")
        << QList<int>{Dane, Zapisany, Wyslany, Start} << false << int(Start) << int(Start)
        << int(Start);
    QTest::newRow("port open after a report") << QList<int>{Dane, Zapisany, Polaczony} << false
                                              << int(Polaczony) << int(Start) << int(Start);
    QTest::newRow("chunk received")
        << QList<int>{Polaczony, Dane} << true << int(Dane) << int(Dane) << int(Dane);
    QTest::newRow("port did not open")
        << QList<int>{Polaczony, BezPolaczenia} << false << int(Start) << int(Start) << int(Start);
    QTest::newRow("no answer, then retry") << QList<int>{Polaczony, BezPolaczenia, Oczekiwanie}
                                           << false << int(Polaczony) << int(Start) << int(Start);
    QTest::newRow("no answer keeps an earlier report's commands")
        << QList<int>{Dane, BezPolaczenia} << true << int(Start) << int(Dane) << int(Dane);
    QTest::newRow("saved") << QList<int>{Dane, Zapisany} << true << int(Dane) << int(Zapisany)
                           << int(Dane);
    QTest::newRow("mailed, then saved") << QList<int>{Dane, Wyslany, Zapisany} << true << int(Dane)
                                        << int(Zapisany) << int(Wyslany);
}

void TstFrmMain::stanyPolecen()
{
    QFETCH(QList<int>, kroki);
    QFETCH(bool, zapiszWlaczony);
    QFETCH(int, jakPolacz);
    QFETCH(int, jakZapisz);
    QFETCH(int, jakMail);

    TfrmMain *m = frmMain;
    const Wzory w(m);
    for (int k : kroki)
        Wykonaj(m, Krok(k));
    QVERIFY(m->tobPolacz->isEnabled());
    QVERIFY(m->WylijOdbierz1->isEnabled());
    QVERIFY(Obraz(m->tobPolacz) == w.polacz.value(Krok(jakPolacz)));
    QVERIFY(Obraz(m->tobZapisz) == w.zapisz.value(Krok(jakZapisz)));
    QVERIFY(Obraz(m->tobMail) == w.mail.value(Krok(jakMail)));
    // The menu items go with their buttons.
    for (QObject *o : {static_cast<QObject *>(m->tobZapisz), static_cast<QObject *>(m->tobMail),
                       static_cast<QObject *>(m->Zapisz1), static_cast<QObject *>(m->Wylij1)})
        QCOMPARE(o->property("enabled").toBool(), zapiszWlaczony);
}

void TstFrmMain::zmianaPortuWDialoguWidacWPanelu_data()
{
    QTest::addColumn<QString>("przed"); // picked in between, when not empty
    QTest::addColumn<QString>("nazwa");
    const QString dluga = QStringLiteral("/dev/virtual-serial/licznik-wejsc-przy-drzwiach-0");
    QTest::newRow("adapter") << QString() << QStringLiteral("ttyUSB0");
    QTest::newRow("long path after a short name") << QStringLiteral("ttyS0") << dluga;
    QTest::newRow("short name after a long path: narrow again") << dluga << QStringLiteral("ttyS0");
    QTest::newRow("absent by-id link: its name, not its path")
        << QStringLiteral("ttyS0")
        << QStringLiteral("/dev/serial/by-id/usb-Prolific_PL2303-if00-port0");
}

void TstFrmMain::zmianaPortuWDialoguWidacWPanelu()
{
    QFETCH(QString, przed);
    QFETCH(QString, nazwa);
    pokaz();
    QComboBox *port = frmKonfiguracja->ccbPort;
    auto *panel = frmMain->stbStatus->findChild<QLabel *>(QStringLiteral("stbStatusPanel0"));
    int szerokosc = 0; // of the panel when the name was first picked
    for (const QString &n : {nazwa, przed, nazwa}) {
        if (n.isEmpty())
            continue;
        if (port->findText(n) < 0)
            port->addItem(n);
        const int i = port->findText(n);
        port->setCurrentIndex(i);
        emit port->activated(i);
        // A by-id link is shown by the short name a user knows.
        const QString pokazany = n.startsWith(QLatin1String("/dev/serial/by-id/"))
                                     ? n.section(u'/', -1) + QStringLiteral(" (niepodłączony)")
                                     : n;
        QCOMPARE(frmMain->TekstPanelu(0), pokazany);
        PanelMiesciTekst(pokazany);
        if (n == nazwa && szerokosc == 0)
            szerokosc = panel->width();
    }
    // The panel is as wide as the name needs, whatever came before.
    QCOMPARE(panel->width(), szerokosc);
}

void TstFrmMain::konfiguracjaOtwieraSieNaPierwszejStronie()
{
    pokaz();
    frmKonfiguracja->pcZakladki->setCurrentIndex(3);
    QWidget *strona = nullptr;
    bool widoczny = false;
    QTimer::singleShot(0, frmKonfiguracja, [&] {
        widoczny = frmKonfiguracja->isVisible();
        strona = frmKonfiguracja->pcZakladki->currentWidget();
        frmKonfiguracja->Button2->click();
    });
    frmMain->Konfiguracja1->trigger();
    QVERIFY(widoczny);
    QCOMPARE(strona, frmKonfiguracja->ts_podstawowe);
    QVERIFY(!frmKonfiguracja->isVisible());
    QVERIFY(!QFile::exists(tmp->filePath(QStringLiteral("Vestibulomat.ini"))));
}

// --- the timer's last run, and a saved report opened again ------------------------------

void TstFrmMain::przebiegWLinii_data()
{
    QTest::addColumn<int>("kod");
    QTest::addColumn<QString>("komunikat");
    QTest::addColumn<QString>("plik"); // in the program directory; empty: none saved
    QTest::addColumn<QString>("tekst");
    QTest::addColumn<bool>("otworz");

    QTest::newRow("saved run: the file's name, Otwórz and Ukryj")
        << 0 << QString() << QStringLiteral("raporty/") + kNazwaRaportu
        << QStringLiteral("Pobrano bez okna 2026-12-08 06:00: ") + kNazwaRaportu << true;
    QTest::newRow("failed run: its message, Ukryj only")
        << 4 << QStringLiteral("Katalog zapisu /mnt/udzial nie istnieje.") << QString()
        << QStringLiteral("Pobieranie bez okna nie powiodło się (2026-12-08 06:00): Katalog "
                          "zapisu /mnt/udzial nie istnieje.")
        << false;
    QTest::newRow("failed run: a message with markup stays text")
        << 3 << QStringLiteral("Port <b>ttyUSB0</b> jest zajęty.") << QString()
        << QStringLiteral("Pobieranie bez okna nie powiodło się (2026-12-08 06:00): Port "
                          "<b>ttyUSB0</b> jest zajęty.")
        << false;
}

void TstFrmMain::przebiegWLinii()
{
    QFETCH(int, kod);
    QFETCH(QString, komunikat);
    QFETCH(QString, plik);
    QFETCH(QString, tekst);
    QFETCH(bool, otworz);
    ZapiszPrzebieg(1, QStringLiteral("starszy przebieg"), QString(), Rano(7));
    ZapiszPrzebieg(kod, komunikat, plik.isEmpty() ? plik : tmp->filePath(plik), Rano());
    pokaz();

    TLiniaKomunikatu *linia =
        frmMain->findChild<TLiniaKomunikatu *>(QStringLiteral("panKomunikat"));
    QVERIFY(linia && linia->isVisible());
    auto *etykieta = linia->findChild<QLabel *>(QStringLiteral("labKomunikat"));
    QVERIFY(etykieta);
    QCOMPARE(etykieta->text(), tekst);
    QCOMPARE(etykieta->textFormat(), Qt::PlainText);
    auto *btnOtworz = linia->findChild<QPushButton *>(QStringLiteral("btnOtworz"));
    auto *btnUkryj = linia->findChild<QPushButton *>(QStringLiteral("btnUkryj"));
    QVERIFY(btnOtworz && btnUkryj);
    QCOMPARE(btnOtworz->isVisible(), otworz);
    QCOMPARE(btnOtworz->text(), QStringLiteral("Otwórz"));
    QVERIFY(btnUkryj->isVisible());
    QCOMPARE(btnUkryj->text(), QStringLiteral("Ukryj"));
    // Above the report area, and nothing to answer: no box.
    QLayout *srodek = frmMain->centralWidget()->layout();
    QVERIFY(srodek->indexOf(linia) >= 0 &&
            srodek->indexOf(linia) < srodek->indexOf(frmMain->memDane));
    QVERIFY2(pudelka.isEmpty(), qPrintable(pudelka.Opis()));

    // A screen reader reads it as an alert, once.
    QAccessibleInterface *dostep = QAccessible::queryAccessibleInterface(linia);
    QVERIFY(dostep);
    QCOMPARE(dostep->role(), QAccessible::AlertMessage);
    QCOMPARE(dostep->text(QAccessible::Name), tekst);
    QCOMPARE(alerty, QList<QObject *>{linia});

    // Back to the window: the same run is not told again.
    Aktywuj(frmMain);
    QApplication::setActiveWindow(nullptr);
    QTRY_VERIFY(!frmMain->isActiveWindow());
    Aktywuj(frmMain);
    QCOMPARE(alerty.size(), 1);
    QCOMPARE(etykieta->text(), tekst);

    // Tab reaches the line's buttons.
    QList<QWidget *> zFokusem;
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget()
                                                    : static_cast<QWidget *>(frmMain),
                        Qt::Key_Tab);
        zFokusem.append(QApplication::focusWidget());
    }
    QVERIFY(zFokusem.contains(btnUkryj));
    QCOMPARE(zFokusem.contains(btnOtworz), otworz);
}

void TstFrmMain::ukrytyPrzebiegNieWraca_data()
{
    QTest::addColumn<int>("jak"); // 0 "Ukryj", 1 a new download, 2 nothing
    QTest::addColumn<bool>("poRestarcie");
    QTest::newRow("Ukryj: not after a restart") << 0 << false;
    QTest::newRow("a new download: not after a restart") << 1 << false;
    QTest::newRow("left shown: back after a restart") << 2 << true;
}

void TstFrmMain::ukrytyPrzebiegNieWraca()
{
    QFETCH(int, jak);
    QFETCH(bool, poRestarcie);
    ZapiszPrzebieg(0, QString(), tmp->filePath(kNazwaRaportu), Rano());
    pokaz();
    QVERIFY(frmMain->panKomunikat->isVisible());
    if (jak == 0) {
        frmMain->panKomunikat->btnUkryj->click();
    } else if (jak == 1) {
        frmMain->port->SetPort(tmp->filePath(QStringLiteral("brak-portu")));
        frmMain->tobPolacz->click();
    }
    QCOMPARE(frmMain->panKomunikat->isVisible(), jak == 2);

    tmp->UruchomPonownie();
    frmMain->show();
    QCOMPARE(frmMain->panKomunikat->isVisible(), poRestarcie);

    // A newer run is shown whatever became of the one before, as soon as
    // the user comes back to the window.
    ZapiszPrzebieg(5, QStringLiteral("Licznik nie zakończył raportu."), QString(), Rano(9));
    Aktywuj(frmMain);
    QVERIFY(frmMain->panKomunikat->isVisible());
    QCOMPARE(frmMain->panKomunikat->Tekst(),
             QStringLiteral("Pobieranie bez okna nie powiodło się (2026-12-09 06:00): Licznik "
                            "nie zakończył raportu."));
}

void TstFrmMain::otwartyRaportJakOdebrany_data()
{
    QTest::addColumn<int>("jak"); // 0 the line's "Otwórz", 1 Ctrl+O, 2 Ctrl+O on a link
    QTest::addColumn<bool>("niezapisany");
    QTest::newRow("Otwórz in the line") << 0 << false;
    QTest::newRow("Ctrl+O") << 1 << false;
    QTest::newRow("Ctrl+O through a link the user picked") << 2 << false;
    QTest::newRow("Ctrl+O over an unsaved report asks first") << 1 << true;
    QTest::newRow("Otwórz over an unsaved report asks first") << 0 << true;
}

void TstFrmMain::otwartyRaportJakOdebrany()
{
    QFETCH(int, jak);
    QFETCH(bool, niezapisany);
    const QString plik = tmp->filePath(kNazwaRaportu);
    QVERIFY(ZapiszPlik(plik, kRaport));
    const QString link = tmp->filePath(QStringLiteral("ostatni.txt"));
    QVERIFY(QFile::link(plik, link));
    const QString otwierany = jak == 2 ? link : plik;
    ZapiszPrzebieg(0, QString(), plik, Rano());
    QStringList katalogi;
    UstawDialogOtwarcia([&](const QString &katalog) {
        katalogi.append(katalog);
        return otwierany;
    });
    pokaz();
    if (niezapisany)
        UmiescRaport("inny raport\r\n");

    if (jak == 0) {
        frmMain->panKomunikat->btnOtworz->click();
        QVERIFY(!frmMain->panKomunikat->isVisible());
    } else {
        Aktywuj(frmMain);
        QTest::keyClick(frmMain, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(katalogi, QStringList{frmKonfiguracja->ediKatalog->text()});
    }

    QCOMPARE(pudelka.Teksty(Komunikaty::Rodzaj::Pytanie),
             niezapisany ? QStringList{QStringLiteral(
                               "Czy chcesz zapisać dane przed odczytaniem nowej serii danych?")}
                         : QStringList{});
    QCOMPARE(pudelka.Ile(Komunikaty::Rodzaj::Blad), 0);
    QCOMPARE(frmMain->memDane->Bajty(), kRaport);
    QVERIFY(frmMain->memDane->isVisible());
    QCOMPARE(frmMain->DataOd, QStringLiteral(" 2026-12-01"));
    QCOMPARE(frmMain->DataDo, QStringLiteral(" 2026-12-07"));
    QCOMPARE(frmMain->TekstPanelu(1), QStringLiteral("Od:  2026-12-01"));
    QCOMPARE(frmMain->TekstPanelu(2), QStringLiteral("Do:  2026-12-07"));
    QCOMPARE(frmMain->windowTitle(), QStringLiteral("Vestibulomat v") + WersjaProgramu() +
                                         QStringLiteral(" - ") + QFileInfo(otwierany).fileName());
    QVERIFY(!frmMain->NiezapisaneDane);
    QVERIFY(frmMain->tobZapisz->isEnabled() && frmMain->tobMail->isEnabled());
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobZapisz), int(obrZapisany));

    // "Zapisz" writes it as a received one, byte for byte.
    const QString kopia = tmp->filePath(QStringLiteral("kopia.txt"));
    UstawDialogZapisu([&](const QString &, const QString &) { return kopia; });
    frmMain->tobZapisz->click();
    QCOMPARE(CzytajPlik(kopia, "<missing>"), kRaport);

    // Closing asks nothing.
    const int pytania = pudelka.Ile(Komunikaty::Rodzaj::Pytanie);
    frmMain->Zakocz1->trigger();
    QCOMPARE(pudelka.Ile(Komunikaty::Rodzaj::Pytanie), pytania);
    QVERIFY(!frmMain->isVisible());
}

void TstFrmMain::otwartyRaportWyslanyNicNieNadpisuje()
{
    // The opened file lies in the save folder under the report's own name:
    // "Zawsze" after mailing would copy the same bytes onto it.
    QDir().mkpath(tmp->filePath(QStringLiteral("raporty")));
    const QString plik = tmp->filePath(QStringLiteral("raporty/") + kNazwaRaportu);
    QVERIFY(ZapiszPlik(plik, kRaport));
    pokaz();
    frmKonfiguracja->ediNazwa->setText(QStringLiteral("Sala"));
    frmKonfiguracja->ediKatalog->setText(tmp->filePath(QStringLiteral("raporty")));
    frmKonfiguracja->ediMail->setText(QStringLiteral("biuro@example.org"));
    frmKonfiguracja->cobZapis->setCurrentIndex(0);
    UstawDialogOtwarcia([&](const QString &) { return plik; });
    frmMain->OtworzRaport1->trigger();
    QCOMPARE(frmMain->NazwaPliku(), kNazwaRaportu);
    struct stat przed
    {
    };
    QCOMPARE(::stat(QFile::encodeName(plik).constData(), &przed), 0);

    ZastepczyXdgEmail xdg;
    frmMain->tobMail->click();

    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobMail), int(obrMailWyslany));
    struct stat po
    {
    };
    QCOMPARE(::stat(QFile::encodeName(plik).constData(), &po), 0);
    QCOMPARE(po.st_ino, przed.st_ino);
    QCOMPARE(po.st_mtim.tv_sec, przed.st_mtim.tv_sec);
    QCOMPARE(po.st_mtim.tv_nsec, przed.st_mtim.tv_nsec);
    QCOMPARE(QDir(tmp->filePath(QStringLiteral("raporty"))).entryList(QDir::Files | QDir::Hidden),
             QStringList{kNazwaRaportu});
    QVERIFY2(pudelka.isEmpty(), qPrintable(pudelka.Opis()));
}

void TstFrmMain::otwarcieOdrzucone_data()
{
    QTest::addColumn<QString>("rodzaj");
    QTest::addColumn<bool>("zLinii"); // the line's "Otwórz" instead of Ctrl+O
    QTest::addColumn<QString>("powod");
    QTest::newRow("FIFO") << QStringLiteral("fifo") << false << QStringLiteral("to kolejka FIFO");
    QTest::newRow("directory") << QStringLiteral("folder") << false << QStringLiteral("to folder");
    QTest::newRow("sparse file one byte over 64 MiB")
        << QStringLiteral("duzy") << false << QStringLiteral("większy niż 64 MiB");
    QTest::newRow("recorded file gone")
        << QStringLiteral("brak") << true << QStringLiteral("nie istnieje");
    QTest::newRow("recorded file replaced by a link")
        << QStringLiteral("link") << true << QStringLiteral("dowiązanie");
}

void TstFrmMain::otwarcieOdrzucone()
{
    QFETCH(QString, rodzaj);
    QFETCH(bool, zLinii);
    QFETCH(QString, powod);
    const QString sciezka = tmp->filePath(QStringLiteral("raport.txt"));
    const QByteArray nazwa = QFile::encodeName(sciezka);
    if (rodzaj == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(nazwa.constData(), 0600), 0);
    } else if (rodzaj == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(sciezka));
    } else if (rodzaj == QLatin1String("duzy")) {
        QFile f(sciezka);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize((qint64(64) << 20) + 1));
    } else if (rodzaj == QLatin1String("link")) {
        QVERIFY(ZapiszPlik(tmp->filePath(QStringLiteral("inny.txt")), kRaport));
        QVERIFY(QFile::link(tmp->filePath(QStringLiteral("inny.txt")), sciezka));
    }
    if (zLinii)
        ZapiszPrzebieg(0, QString(), sciezka, Rano());
    UstawDialogOtwarcia([&](const QString &) { return sciezka; });
    pokaz();
    UmiescRaport("trzymany raport\r\n");
    const QString tytul = frmMain->windowTitle();

    // The watchdog: an open that blocks ends the test instead of hanging it.
    ::alarm(10);
    if (zLinii) {
        frmMain->panKomunikat->btnOtworz->click();
    } else {
        Aktywuj(frmMain);
        QTest::keyClick(frmMain, Qt::Key_O, Qt::ControlModifier);
    }
    ::alarm(0);

    const QStringList bledy = pudelka.Teksty(Komunikaty::Rodzaj::Blad);
    QCOMPARE(bledy.size(), 1);
    QVERIFY2(bledy[0].contains(QStringLiteral("„") + sciezka + QStringLiteral("”")),
             qPrintable(bledy[0]));
    QVERIFY2(bledy[0].contains(powod), qPrintable(bledy[0]));
    QCOMPARE(pudelka.Ile(Komunikaty::Rodzaj::Pytanie), 0);
    // The window keeps what it held.
    QCOMPARE(frmMain->memDane->Bajty(), QByteArray("trzymany raport\r\n"));
    QVERIFY(frmMain->NiezapisaneDane);
    QCOMPARE(frmMain->windowTitle(), tytul);
}

QTEST_MAIN(TstFrmMain)
#include "tst_frmmain.moc"
