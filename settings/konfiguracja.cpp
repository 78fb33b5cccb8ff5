#include "konfiguracja.h"

#include "Bledy.h"
#include "CPortCtl.h"
#include "Katalog.h"
#include "Komunikaty.h"
#include "ObserwatorPortow.h"
#include "Poczta.h"
#include "Podlaczone.h"
#include "WalidatorUstawien.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

#include <algorithm>
#include <exception>

TfrmKonfiguracja *frmKonfiguracja = nullptr;

TfrmKonfiguracja::TfrmKonfiguracja(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmKonfiguracja"));
    setWindowTitle(QStringLiteral("Konfiguracja"));
    // 311 x 276 as designed; dopasujRozmiar() widens it for the tab captions.
    setFixedSize(311, 276);
    // The fixed positions below were laid out for an 11-pixel font.
    QFont maly = font();
    maly.setPixelSize(11);
    setFont(maly);

    auto nazwij = [](QObject *o, const char *nazwa) { o->setObjectName(QLatin1String(nazwa)); };
    auto etykieta = [&](QLabel *&l, const char *nazwa, const QString &tekst, QWidget *strona, int x,
                        int y) {
        l = new QLabel(tekst, strona);
        nazwij(l, nazwa);
        l->move(x, y);
        l->adjustSize();
    };
    auto edycja = [&](QLineEdit *&e, const char *nazwa, QWidget *strona, QRect r) {
        e = new QLineEdit(strona);
        nazwij(e, nazwa);
        e->setGeometry(r);
        e->setValidator(new WalidatorUstawien(e));
    };

    pcZakladki = new QTabWidget(this);
    nazwij(pcZakladki, "pcZakladki");
    pcZakladki->setGeometry(0, 0, 311, 276 - 46);

    ts_podstawowe = new QWidget;
    nazwij(ts_podstawowe, "ts_podstawowe");
    etykieta(Label2, "Label2", QStringLiteral("Nazwa obiektu:"), ts_podstawowe, 5, 10);
    edycja(ediNazwa, "ediNazwa", ts_podstawowe, QRect(20, 30, 231, 21));
    ediNazwa->setText(QStringLiteral("Obiekt"));

    TabSheet1 = new QWidget;
    nazwij(TabSheet1, "TabSheet1");
    etykieta(Label1, "Label1", QStringLiteral("Katalog w którym będą zapisywane dane:"), TabSheet1,
             5, 10);
    edycja(ediKatalog, "ediKatalog", TabSheet1, QRect(20, 30, 211, 21));
    // Replaced by the stored directory (or the program's) at start-up.
    ediKatalog->setText(QStringLiteral("/"));
    SpeedButton1 = new QToolButton(TabSheet1);
    nazwij(SpeedButton1, "SpeedButton1");
    SpeedButton1->setText(QStringLiteral("..."));
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    SpeedButton1->setGeometry(230, 30, 21, 21);
    etykieta(Label4, "Label4", QStringLiteral("Automatyczny zapis:"), TabSheet1, 5, 60);
    cobZapis = new QComboBox(TabSheet1);
    nazwij(cobZapis, "cobZapis");
    cobZapis->setEditable(false);
    cobZapis->addItems(
        {QStringLiteral("Zawsze"), QStringLiteral("Pytaj"), QStringLiteral("Nigdy")});
    cobZapis->setCurrentIndex(-1);
    cobZapis->setGeometry(20, 80, 231, 21);

    TabSheet3 = new QWidget;
    nazwij(TabSheet3, "TabSheet3");
    etykieta(Label3, "Label3", QStringLiteral("Adres e-mail:"), TabSheet3, 5, 10);
    edycja(ediMail, "ediMail", TabSheet3, QRect(20, 30, 231, 21));

    TabSheet2 = new QWidget;
    nazwij(TabSheet2, "TabSheet2");
    etykieta(Label5, "Label5", QStringLiteral("Numer portu COM:"), TabSheet2, 5, 10);
    chbSynchronizuj = new QCheckBox(QStringLiteral("Synchronizuj zegar z PC"), TabSheet2);
    nazwij(chbSynchronizuj, "chbSynchronizuj");
    chbSynchronizuj->setGeometry(5, 65, 151, 17);
    chbSynchronizuj->adjustSize();
    // The serial ports present; read again at every opening, as adapters
    // come and go. The picker always shows the port in force, also one that
    // is not plugged in, so that "Potwierdź" never loses it.
    ccbPort = new TComComboBox(TabSheet2);
    nazwij(ccbPort, "ccbPort");
    ccbPort->SetComProperty(cpPort);
    ccbPort->SetText(QStringLiteral("COM1"));
    ccbPort->setGeometry(15, 30, 145, 21);
    chbPodglad = new QCheckBox(QStringLiteral("Podgląd transmisji on-line"), TabSheet2);
    nazwij(chbPodglad, "chbPodglad");
    chbPodglad->setGeometry(5, 90, 146, 17);
    chbPodglad->adjustSize();
    lblNoweUrzadzenie = new QLabel(TabSheet2);
    nazwij(lblNoweUrzadzenie, "lblNoweUrzadzenie");
    lblNoweUrzadzenie->setTextFormat(Qt::PlainText); // the device names itself
    lblNoweUrzadzenie->setWordWrap(true);
    lblNoweUrzadzenie->setGeometry(5, 115, 290, 30);
    lblNoweUrzadzenie->hide();
    btnUzyj = new QPushButton(QStringLiteral("Użyj"), TabSheet2);
    nazwij(btnUzyj, "btnUzyj");
    btnUzyj->setGeometry(15, 148, 75, 25);
    btnUzyj->setAutoDefault(false);
    btnUzyj->hide();
    obserwator = new TObserwatorPortow(this);

    pcZakladki->addTab(ts_podstawowe, QStringLiteral("Podstawowe"));
    pcZakladki->addTab(TabSheet1, QStringLiteral("Zapisywanie"));
    pcZakladki->addTab(TabSheet3, QStringLiteral("Wysyłanie"));
    pcZakladki->addTab(TabSheet2, QStringLiteral("Zaawansowane"));

    Panel1 = new QWidget(this);
    nazwij(Panel1, "Panel1");
    Panel1->setGeometry(0, 276 - 46, 311, 46);
    Button1 = new QPushButton(QStringLiteral("Potwierdź"), Panel1);
    nazwij(Button1, "Button1");
    Button1->setGeometry(210, 10, 75, 25);
    Button2 = new QPushButton(QStringLiteral("Anuluj"), Panel1);
    nazwij(Button2, "Button2");
    Button2->setGeometry(25, 10, 75, 25);
    // Neither button answers Enter.
    for (QPushButton *b : {Button1, Button2}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    dopasujRozmiar();

    setTabOrder(pcZakladki, ediNazwa);
    setTabOrder(ediNazwa, ediKatalog);
    setTabOrder(ediKatalog, cobZapis);
    setTabOrder(cobZapis, ediMail);
    setTabOrder(ediMail, chbSynchronizuj);
    setTabOrder(chbSynchronizuj, ccbPort);
    setTabOrder(ccbPort, chbPodglad);
    setTabOrder(chbPodglad, Button1);
    setTabOrder(Button1, Button2);

    connectHandlers();
}

void TfrmKonfiguracja::dopasujRozmiar()
{
    ensurePolished();
    // The four captions side by side, as the style draws them in the font in
    // use; a narrower dialog would hide "Zaawansowane", the page holding the
    // port, behind scroll arrows. A small gap keeps the last tab off the edge.
    const int karty = pcZakladki->tabBar()->sizeHint().width() +
                      pcZakladki->tabBar()->fontMetrics().averageCharWidth();
    const int szerokosc = std::max(311, karty);
    setFixedSize(szerokosc, 276);
    pcZakladki->setGeometry(0, 0, szerokosc, 276 - 46);
    Panel1->setGeometry(0, 276 - 46, szerokosc, 46);
    // "Potwierdź" keeps its distance from the right edge.
    Button1->move(szerokosc - (311 - 210), 10);
    // The line about a new device takes the page's width.
    lblNoweUrzadzenie->resize(szerokosc - 15, lblNoweUrzadzenie->height());
}

void TfrmKonfiguracja::connectHandlers()
{
    connect(Button1, &QPushButton::clicked, this,
            [this] { Komunikaty::Chron([&] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this,
            [this] { Komunikaty::Chron([&] { Button2Click(); }); });
    connect(SpeedButton1, &QToolButton::clicked, this,
            [this] { Komunikaty::Chron([&] { SpeedButton1Click(); }); });
    connect(btnUzyj, &QPushButton::clicked, this,
            [this] { Komunikaty::Chron([&] { btnUzyjClick(); }); });
    connect(obserwator, &TObserwatorPortow::zmiana, this,
            [this] { Komunikaty::Chron([&] { PortyZmienione(); }); });
    // The picker runs this after a pick by the user, behind the general error
    // handler; selections made by code fire nothing.
    ccbPort->OnChange = [this](TComComboBox *) { ccbPortChange(); };
}

void TfrmKonfiguracja::Button2Click()
{
    done(2);
}

void TfrmKonfiguracja::Button1Click()
{
    // A refused address is not stored: the dialog stays open where it can be
    // mended, and the mail command would refuse it anyway.
    if (const QString blad = KomunikatBleduAdresu(ediMail->text()); !blad.isEmpty()) {
        pcZakladki->setCurrentWidget(TabSheet3);
        ediMail->setFocus();
        ediMail->selectAll();
        throw BladProgramu(blad);
    }
    // The dialog closes as confirmed even when the file cannot be written:
    // the edits are in force for this run. The error is shown afterwards.
    std::exception_ptr blad;
    try {
        Ustawienia::Zapisz(katalogProgramu, WartosciUstawien());
    } catch (...) {
        blad = std::current_exception();
    }
    done(1);
    if (blad)
        std::rethrow_exception(blad);
}

void TfrmKonfiguracja::PolaczPort(TCustomComPort *port)
{
    ccbPort->SetComPort(port);
}

void TfrmKonfiguracja::ccbPortChange()
{
    // The pick takes effect at once, whether or not the dialog is confirmed:
    // an open port is closed, renamed and opened again on the new device.
    TCustomComPort *port = ccbPort->ComPort();
    const QString nazwa = WybranyPort();
    const bool byl = port && port->Connected();
    if (byl)
        port->SetConnected(false);
    if (port)
        port->SetPort(nazwa);
    emit portZmieniony(nazwa);
    if (byl)
        port->SetConnected(true);
}

void TfrmKonfiguracja::FormShow()
{
    pcZakladki->setCurrentWidget(ts_podstawowe);
    ccbPort->RefreshPorts();
    znanePorty.clear();
    for (const TComPortInfo &p : ccbPort->ListedPorts())
        znanePorty.append(p.Name);
    noweUrzadzenie.clear();
    lblNoweUrzadzenie->hide();
    btnUzyj->hide();
}

void TfrmKonfiguracja::PortyZmienione()
{
    // The list follows what is plugged in; the selection stays where the
    // user left it, also on a port that is gone ("(niepodłączony)").
    ccbPort->RereadList();
    const QList<TComPortInfo> teraz = ccbPort->ListedPorts();
    const TComPortInfo nowy = NowyPort(znanePorty, teraz);
    znanePorty.clear();
    for (const TComPortInfo &p : teraz)
        znanePorty.append(p.Name);

    if (PortObecny(WybranyPort())) {
        noweUrzadzenie.clear();
    } else if (!nowy.Name.isEmpty()) {
        noweUrzadzenie = nowy.Name;
        lblNoweUrzadzenie->setText(QStringLiteral("Wykryto nowe urządzenie: ") + OpisPortu(nowy));
    } else if (!znanePorty.contains(noweUrzadzenie)) {
        noweUrzadzenie.clear(); // pulled out again
    }
    lblNoweUrzadzenie->setVisible(!noweUrzadzenie.isEmpty());
    btnUzyj->setVisible(!noweUrzadzenie.isEmpty());
}

void TfrmKonfiguracja::btnUzyjClick()
{
    // The user's pick, as from the list; "Potwierdź" still stores it.
    ccbPort->PickDevice(noweUrzadzenie);
    noweUrzadzenie.clear();
    lblNoweUrzadzenie->hide();
    btnUzyj->hide();
}

void TfrmKonfiguracja::SpeedButton1Click()
{
    if (frmKatalog->exec() == 1)
        ediKatalog->setText(frmKatalog->Directory());
}

QString TfrmKonfiguracja::WybranyPort() const
{
    return ccbPort->Text();
}

void TfrmKonfiguracja::WybierzPort(const QString &nazwa)
{
    ccbPort->SetText(nazwa);
}

Ustawienia::Wartosci TfrmKonfiguracja::WartosciUstawien() const
{
    Ustawienia::Wartosci w;
    w.obiekt = ediNazwa->text();
    w.katalog = ediKatalog->text();
    w.autozapis = cobZapis->currentIndex();
    w.mail = ediMail->text();
    w.port = WybranyPort();
    w.synchronizuj = chbSynchronizuj->isChecked();
    w.podglad = chbPodglad->isChecked();
    return w;
}

void TfrmKonfiguracja::reject()
{
    done(2);
}

void TfrmKonfiguracja::showEvent(QShowEvent *event)
{
    // The style or the fonts may have changed since the dialog was built.
    if (!event->spontaneous())
        dopasujRozmiar();
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        Komunikaty::Chron([&] { FormShow(); });
        obserwator->Start();
    }
}

void TfrmKonfiguracja::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        obserwator->Stop();
}

void TfrmKonfiguracja::keyPressEvent(QKeyEvent *event)
{
    // Escape does not close the dialog: only the buttons and the close box do.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
