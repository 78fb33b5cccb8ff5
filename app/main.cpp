#include "main.h"

#include "Bledy.h"
#include "CPort.h"
#include "Dziennik.h"
#include "Formaty.h"
#include "Katalog.h"
#include "Komunikaty.h"
#include "LiniaKomunikatu.h"
#include "Miejsca.h"
#include "Narzedzia.h"
#include "Otwarcie.h"
#include "Pobieranie.h"
#include "Podlaczone.h"
#include "Postep.h"
#include "PowrotUrzadzenia.h"
#include "RaportView.h"
#include "UslugaOkna.h"
#include "Ustawienia.h"
#include "Uwaga.h"
#include "Zapis.h"
#include "konfiguracja.h"
#include "oProgr.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <csignal>
#include <optional>
#include <stdexcept>

TfrmMain *frmMain = nullptr;

namespace {

QString &katalogZastepczy()
{
    static QString katalog;
    return katalog;
}

const char *const plikiObrazkow[] = {
    ":/obrazki/0-polacz-dane.svg",  ":/obrazki/1-polacz-bezczynny.svg",
    ":/obrazki/2-polacz-czeka.svg", ":/obrazki/3-mail-wyslany.svg",
    ":/obrazki/4-mail.svg",         ":/obrazki/5-mail-szary.svg",
    ":/obrazki/6-zapisany.svg",     ":/obrazki/7-zapisz.svg",
    ":/obrazki/8-zapisz-szary.svg",
};

// Runs a handler behind the general error handler.
template <typename F> auto chron(TfrmMain *okno, F handler)
{
    return [okno, handler] { Komunikaty::Chron([&] { (okno->*handler)(); }); };
}

} // namespace

void TfrmMain::UstawKatalogProgramu(const QString &katalog)
{
    QString k = katalog;
    if (!k.isEmpty() && !k.endsWith(u'/'))
        k += u'/';
    katalogZastepczy() = k;
}

TfrmMain::TfrmMain(QWidget *parent)
    : QMainWindow(parent)
{
    utworzKontrolki();
    dziennik = new TDziennik(KatalogStanu(), this);
    pobieranie->dziennik = dziennik;
    connectHandlers();
    Komunikaty::Chron([&] { FormCreate(); });
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::utworzKontrolki()
{
    Q_INIT_RESOURCE(obrazki);
    auto nazwij = [](QObject *o, const char *nazwa) { o->setObjectName(QLatin1String(nazwa)); };

    nazwij(this, "frmMain");
    setWindowTitle(QStringLiteral("Vestibulomat"));
    setWindowIcon(IkonaProgramu());
    resize(696, 479);
    if (const QScreen *ekran = QGuiApplication::primaryScreen())
        move(ekran->availableGeometry().center() - rect().center());
    QPalette paleta = palette();
    paleta.setColor(QPalette::Window, Qt::white);
    setPalette(paleta);
    setAutoFillBackground(true);
    // Small captions, as the window was designed for: the toolbar's 88-pixel
    // buttons hold " Połącz/Odbierz " whole.
    QFont maly = font();
    maly.setPixelSize(11);
    setFont(maly);

    for (const char *plik : plikiObrazkow)
        ImageList1.append(QIcon(QLatin1String(plik)));

    // Status bar: port, first day, last day, and an empty panel.
    stbStatus = new QStatusBar(this);
    nazwij(stbStatus, "stbStatus");
    for (int i = 0; i < 4; ++i) {
        panele[i] = new QLabel(stbStatus);
        panele[i]->setObjectName(QStringLiteral("stbStatusPanel%1").arg(i));
        panele[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // Port names and descriptions come from the device and the settings.
        panele[i]->setTextFormat(Qt::PlainText);
        dopasujPanel(i);
        stbStatus->addWidget(panele[i]);
    }
    setStatusBar(stbStatus);

    // Menu.
    MainMenu1 = menuBar();
    nazwij(MainMenu1, "MainMenu1");
    auto akcja = [&](QAction *&a, const char *nazwa, const QString &tekst) {
        a = new QAction(tekst, this);
        nazwij(a, nazwa);
    };
    Plik1 = new QMenu(QStringLiteral("&Plik"), MainMenu1);
    nazwij(Plik1, "Plik1");
    akcja(WylijOdbierz1, "WylijOdbierz1", QStringLiteral("Połącz/&Odbierz"));
    akcja(OtworzRaport1, "OtworzRaport1", QStringLiteral("&Otwórz raport…"));
    akcja(Zapisz1, "Zapisz1", QStringLiteral("Zapi&sz"));
    akcja(Wylij1, "Wylij1", QStringLiteral("&Wyślij"));
    akcja(N2, "N2", QString());
    N2->setSeparator(true);
    akcja(Zakocz1, "Zakocz1", QStringLiteral("&Zakończ"));
    Plik1->addActions({WylijOdbierz1, OtworzRaport1, Zapisz1, Wylij1, N2, Zakocz1});
    MainMenu1->addMenu(Plik1);
    akcja(Konfiguracja1, "Konfiguracja1", QStringLiteral("&Konfiguracja"));
    MainMenu1->addAction(Konfiguracja1);
    Pomoc1 = new QMenu(QStringLiteral("Pomo&c"), MainMenu1);
    nazwij(Pomoc1, "Pomoc1");
    akcja(Tematypomocy1, "Tematypomocy1", QStringLiteral("&Tematy pomocy"));
    akcja(N1, "N1", QString());
    N1->setSeparator(true);
    akcja(Oprogramie1, "Oprogramie1", QStringLiteral("&O programie"));
    Pomoc1->addActions({Tematypomocy1, N1, Oprogramie1});
    MainMenu1->addMenu(Pomoc1);
    // The desktop's keys beside the menu's access keys.
    Tematypomocy1->setShortcut(QKeySequence(Qt::Key_F1));
    OtworzRaport1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    Zapisz1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    Zakocz1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    // Toolbar: captioned buttons with pictures and hints.
    ToolBar1 = new QToolBar(this);
    nazwij(ToolBar1, "ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    addToolBar(Qt::TopToolBarArea, ToolBar1);
    auto przycisk = [&](QToolButton *&b, const char *nazwa, const QString &tekst,
                        const QString &podpowiedz) {
        b = new QToolButton(ToolBar1);
        nazwij(b, nazwa);
        b->setText(tekst);
        // The blanks around a caption are only for the layout; a screen
        // reader says the words.
        b->setAccessibleName(tekst.trimmed());
        b->setToolTip(podpowiedz);
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        // 88 x 36, wider only where the font would cut a caption short.
        b->setMinimumSize(88, 36);
        b->setFixedHeight(36);
        ToolBar1->addWidget(b);
    };
    przycisk(tobPolacz, "tobPolacz", QStringLiteral(" Połącz/Odbierz "),
             QStringLiteral("Połącz/Odbierz"));
    przycisk(tobZapisz, "tobZapisz", QStringLiteral("Zapisz"), QStringLiteral("Zapisz"));
    przycisk(tobMail, "tobMail", QStringLiteral("Wyślij"), QStringLiteral("Wyślij E-mail"));

    // The message line above the report area, hidden while it has nothing
    // to say; made first, so Tab reaches its buttons before the report.
    auto *srodek = new QWidget(this);
    auto *uklad = new QVBoxLayout(srodek);
    uklad->setContentsMargins(0, 0, 0, 0);
    uklad->setSpacing(0);
    panKomunikat = new TLiniaKomunikatu(srodek);
    // As high as its text; with the report area hidden it stays at the top.
    uklad->addWidget(panKomunikat, 0, Qt::AlignTop);

    // The report area (it keeps the received bytes); hidden until a download.
    memDane = new TRaportView(srodek);
    nazwij(memDane, "memDane");
    memDane->hide();
    uklad->addWidget(memDane, 1);
    setCentralWidget(srodek);

    // The dialogue with the device: its three timers (all stopped) and the
    // serial port, the window's own fields for the rest of the run.
    pobieranie = new TPobieranie(this);
    timTimeOut = pobieranie->timTimeOut;
    timPytanie = pobieranie->timPytanie;
    timTransmisja = pobieranie->timTransmisja;
    port = pobieranie->port;
    pobieranie->Synchronizuj = [] { return frmKonfiguracja->chbSynchronizuj->isChecked(); };
    powrot = new TPowrotUrzadzenia(this);

    // Save dialog: set up here, once for the whole run.
    SaveDialog1 = new QFileDialog(this);
    nazwij(SaveDialog1, "SaveDialog1");
    PrzygotujDialogZapisu(SaveDialog1);
    OpenDialog1 = new QFileDialog(this);
    nazwij(OpenDialog1, "OpenDialog1");
    PrzygotujDialogOtwarcia(OpenDialog1);

    StanStart();
}

void TfrmMain::connectHandlers()
{
    connect(WylijOdbierz1, &QAction::triggered, this, chron(this, &TfrmMain::tobPolaczClick));
    connect(OtworzRaport1, &QAction::triggered, this, chron(this, &TfrmMain::OtworzRaport1Click));
    connect(Zapisz1, &QAction::triggered, this, chron(this, &TfrmMain::tobZapiszClick));
    connect(Wylij1, &QAction::triggered, this, chron(this, &TfrmMain::tobMailClick));
    connect(Zakocz1, &QAction::triggered, this, chron(this, &TfrmMain::Zakocz1Click));
    connect(Konfiguracja1, &QAction::triggered, this, chron(this, &TfrmMain::Konfiguracja1Click));
    connect(Tematypomocy1, &QAction::triggered, this, chron(this, &TfrmMain::Tematypomocy1Click));
    connect(Oprogramie1, &QAction::triggered, this, chron(this, &TfrmMain::Oprogramie1Click));

    connect(tobPolacz, &QToolButton::clicked, this, chron(this, &TfrmMain::tobPolaczClick));
    connect(tobZapisz, &QToolButton::clicked, this, chron(this, &TfrmMain::tobZapiszClick));
    connect(tobMail, &QToolButton::clicked, this, chron(this, &TfrmMain::tobMailClick));
    connect(panKomunikat->btnOtworz, &QPushButton::clicked, this,
            chron(this, &TfrmMain::btnOtworzClick));
    connect(panKomunikat->btnUkryj, &QPushButton::clicked, this,
            chron(this, &TfrmMain::UkryjKomunikat));

    connect(timPytanie, &QTimer::timeout, this, chron(this, &TfrmMain::timPytanieTimer));
    connect(timTimeOut, &QTimer::timeout, this, chron(this, &TfrmMain::timTimeOutTimer));
    connect(timTransmisja, &QTimer::timeout, this, chron(this, &TfrmMain::timTransmisjaTimer));
    port->OnRxChar = [this](TCustomComPort *, int count) {
        Komunikaty::Chron([&] { portRxChar(count); });
    };
    port->OnDeviceLost = [this](TCustomComPort *, const EComPort &blad) {
        Komunikaty::Chron([&] { portUtracony(blad); });
    };
    connect(powrot, &TPowrotUrzadzenia::wrocilo, this, &TfrmMain::UrzadzenieWrocilo);
    // Once per download; the download goes on.
    connect(dziennik, &TDziennik::bladZapisu, this,
            [](const QString &tekst, const QString &szczegoly) {
                Komunikaty::PokazBlad(tekst, szczegoly);
            });
}

void TfrmMain::FormCreate()
{
    NiezapisaneDane = false;
    KatalogProgramu = katalogZastepczy().isEmpty() ? QCoreApplication::applicationDirPath() + u'/'
                                                   : katalogZastepczy();
    HelpFile = KatalogProgramu + QStringLiteral("Vestibulomat.hlp");
    UstawFormaty();
    DataOd.clear();
    DataDo.clear();
}

void TfrmMain::FormShow()
{
    TfrmKonfiguracja *k = frmKonfiguracja;
    const Ustawienia::Wartosci w = Ustawienia::Czytaj(KatalogProgramu);

    k->ediNazwa->setText(w.obiekt);
    k->ediKatalog->setText(w.katalog);
    k->cobZapis->setCurrentIndex(
        w.autozapis >= 0 && w.autozapis < k->cobZapis->count() ? w.autozapis : -1);
    k->ediMail->setText(w.mail);
    // The picker resolves the stored name (a name in the wrong letter case
    // becomes the device's own); the panel and the port take its answer, so
    // that all three name the same port.
    k->WybierzPort(w.port);
    UstawPanel(0, PortWPanelu(k->WybranyPort()));
    port->SetPort(k->WybranyPort()); // the port stays closed until the first download
    k->chbSynchronizuj->setChecked(w.synchronizuj);
    k->chbPodglad->setChecked(w.podglad);
    UstawTytul();

    // A stored save policy that is not a number must not cost the other
    // settings: nothing is selected, the rest is applied, and the error is
    // shown once everything is in place.
    if (!w.bladAutozapisu.isEmpty())
        throw BladProgramu(
            w.bladAutozapisu + QStringLiteral(" Wybierz automatyczny zapis w konfiguracji "
                                              "i naciśnij \"Potwierdź\""),
            QStringLiteral("Plik ustawień: ") + w.plik + QStringLiteral(", sekcja [konfig]"));
}

void TfrmMain::FormCloseQuery(bool &CanClose)
{
    CanClose = true;
    if (!NiezapisaneDane) {
        // The client still holds the mailed report: it is the user's now.
        if (raportyWPoczcie.contains(memDane->Bajty()))
            dziennik->Usun();
        return;
    }
    if (Komunikaty::Pytanie(
            QStringLiteral("Czy chcesz zapisać dane przed zamknięciem programu?"))) {
        // A save that fails keeps the window open; its error goes on to the
        // general error handler. A cancelled one leaves the journal, so the
        // report is offered at the next start.
        CanClose = false;
        tobZapiszClick();
        CanClose = true;
    } else {
        dziennik->Usun();
    }
}

void TfrmMain::Zakocz1Click()
{
    close();
}

void TfrmMain::Konfiguracja1Click()
{
    frmKonfiguracja->exec();
}

void TfrmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!pokazane && !event->spontaneous()) {
        pokazane = true;
        Komunikaty::Chron([&] { FormShow(); });
        // What the timer's run did while the window was closed; from now
        // on the window answers such a run's request for the port.
        Komunikaty::Chron([&] { PokazPrzebieg(); });
        usluga = new TUslugaOkna(
            [this] {
                bool wolny = false;
                Komunikaty::Chron([&] { wolny = ZwolnijPort(); });
                return wolny;
            },
            this);
        // Once the window is on the screen: a report an earlier run left.
        QTimer::singleShot(0, this, chron(this, &TfrmMain::PrzywrocRaport));
    }
}

void TfrmMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // Back to the window (from another program, a dialog, the desktop): a
    // run of the timer may have ended meanwhile.
    if (event->type() == QEvent::ActivationChange && pokazane && isActiveWindow())
        Komunikaty::Chron([&] { PokazPrzebieg(); });
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    bool mozna = false;
    if (!Komunikaty::Chron([&] { FormCloseQuery(mozna); }))
        mozna = false;
    event->setAccepted(mozna);
}

// Command states.

void TfrmMain::UstawObrazek(QToolButton *przycisk, int indeks)
{
    // Every chunk received sets the same images again; a new icon would
    // lay out and repaint the tool bar each time.
    const QVariant bylo = przycisk->property("imageIndex");
    if (bylo.isValid() && bylo.toInt() == indeks)
        return;
    przycisk->setProperty("imageIndex", indeks);
    przycisk->setIcon(ImageList1.value(indeks));
}

int TfrmMain::IndeksObrazka(const QToolButton *przycisk)
{
    return przycisk->property("imageIndex").toInt();
}

void TfrmMain::StanStart()
{
    tobPolacz->setEnabled(true);
    UstawObrazek(tobPolacz, obrPolaczBezczynny);
    tobZapisz->setEnabled(false);
    UstawObrazek(tobZapisz, obrZapiszSzary);
    tobMail->setEnabled(false);
    UstawObrazek(tobMail, obrMailSzary);
    Zapisz1->setEnabled(false);
    Wylij1->setEnabled(false);
}

void TfrmMain::StanPolaczony()
{
    UstawObrazek(tobPolacz, obrPolaczCzeka);
    tobZapisz->setEnabled(false);
    UstawObrazek(tobZapisz, obrZapiszSzary);
    tobMail->setEnabled(false);
    UstawObrazek(tobMail, obrMailSzary);
    Zapisz1->setEnabled(false);
    Wylij1->setEnabled(false);
}

void TfrmMain::StanBezPolaczenia()
{
    UstawObrazek(tobPolacz, obrPolaczBezczynny);
}

void TfrmMain::StanOczekiwanie()
{
    UstawObrazek(tobPolacz, obrPolaczCzeka);
}

void TfrmMain::StanDane()
{
    UstawObrazek(tobPolacz, obrPolaczDane);
    tobZapisz->setEnabled(true);
    UstawObrazek(tobZapisz, obrZapisz);
    tobMail->setEnabled(true);
    UstawObrazek(tobMail, obrMail);
    Zapisz1->setEnabled(true);
    Wylij1->setEnabled(true);
}

void TfrmMain::StanZapisany()
{
    UstawObrazek(tobZapisz, obrZapisany);
}

void TfrmMain::StanWyslany()
{
    UstawObrazek(tobMail, obrMailWyslany);
}

QString TfrmMain::TekstPanelu(int panel) const
{
    return panele.at(panel)->text();
}

void TfrmMain::UstawPanel(int panel, const QString &tekst)
{
    panele.at(panel)->setText(tekst);
    // A path longer than half the screen is still readable on hover. A tool
    // tip has no plain-text mode: the text is escaped, blanks kept.
    panele.at(panel)->setToolTip(tekst.isEmpty()
                                     ? QString()
                                     : QStringLiteral("<p style='white-space:pre'>") +
                                           tekst.toHtmlEscaped() + QStringLiteral("</p>"));
    dopasujPanel(panel);
}

void TfrmMain::dopasujPanel(int panel)
{
    // 50, 100, 100 and 50 pixels as designed, wider when the text needs it
    // in the font in use ("/dev/pts/3", a long day), but never so wide that
    // the window outgrows the screen.
    static constexpr int szerokosci[4] = {50, 100, 100, 50};
    QLabel *etykieta = panele.at(panel);
    const QFontMetrics fm = etykieta->fontMetrics();
    // A framed label indents its text by half an "x"; as much again on the
    // right keeps the last letter off the frame.
    const int tekst = etykieta->text().isEmpty()
                          ? 0
                          : fm.horizontalAdvance(etykieta->text()) + fm.horizontalAdvance(u'x') +
                                2 * etykieta->frameWidth();
    int szerokosc = std::max(szerokosci[panel], tekst);
    if (const QScreen *ekran = screen())
        szerokosc = std::min(szerokosc,
                             std::max(szerokosci[panel], ekran->availableGeometry().width() / 2));
    etykieta->setFixedWidth(szerokosc);
}

void TfrmMain::PortZmieniony(const QString &nazwa)
{
    // The dialog has already moved the port component; only the panel is ours.
    UstawPanel(0, PortWPanelu(nazwa));
}

// Start-up.

QIcon IkonaProgramu()
{
    Q_INIT_RESOURCE(obrazki);
    return QIcon(QStringLiteral(":/obrazki/vestibulomat.svg"));
}

void UtworzOkna()
{
    QCoreApplication::setApplicationName(QStringLiteral("Vestibulomat"));
    // A file-size limit must fail a write (EFBIG), which the journal and the
    // save report, instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);

    frmMain = new TfrmMain;
    frmKonfiguracja = new TfrmKonfiguracja;
    frmKonfiguracja->UstawKatalogProgramu(frmMain->KatalogProgramu);
    frmKonfiguracja->PolaczPort(frmMain->port);
    QObject::connect(
        frmKonfiguracja, &TfrmKonfiguracja::portZmieniony, frmMain,
        [](const QString &nazwa) { Komunikaty::Chron([&] { frmMain->PortZmieniony(nazwa); }); });
    frmOprogramie = new TfrmOprogramie;
    frmKatalog = new TfrmKatalog;
    frmPasek = new TfrmPasek;
    frmUwaga = new TfrmUwaga;

    // Only closing the main window ends the program.
    for (QWidget *okno : std::initializer_list<QWidget *>{frmKonfiguracja, frmOprogramie,
                                                          frmKatalog, frmPasek, frmUwaga})
        okno->setAttribute(Qt::WA_QuitOnClose, false);
}

void UsunOkna()
{
    delete frmUwaga;
    frmUwaga = nullptr;
    delete frmPasek;
    frmPasek = nullptr;
    delete frmKatalog;
    frmKatalog = nullptr;
    delete frmOprogramie;
    frmOprogramie = nullptr;
    delete frmKonfiguracja;
    frmKonfiguracja = nullptr;
    delete frmMain;
    frmMain = nullptr;
}
