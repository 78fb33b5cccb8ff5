#pragma once

// The main window: toolbar, menu, the report area, status bar, the three
// timers of the download and the program's state between commands.
//
// Handlers keep one rule: their bodies throw, and the guard
// (Komunikaty::Chron) sits in the connections made by connectHandlers(). So a
// handler that calls another (FormCloseQuery -> tobZapiszClick) sees its
// errors. Code that calls a handler from a new entry point (a serial event,
// a lambda) wraps the call in Komunikaty::Chron itself.
//
// The handlers live in several files: main.cpp (start-up, closing,
// configuration, command states), main_odbior.cpp (download and analysis),
// main_zapis.cpp (file name, saving, mailing), main_pomoc.cpp (help, about),
// main_przebiegi.cpp (the message line about the timer's runs, opening a
// saved report, handing the port over to the timer's run).

#include "LiniaKomunikatu.h"

#include <QByteArray>
#include <QDateTime>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QString>

#include <array>
#include <exception>

class QAction;
class QCloseEvent;
class QEvent;
class QFileDialog;
class QLabel;
class QMenu;
class QMenuBar;
class QShowEvent;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;
class EComPort;
class TComPort;
class TDziennik;
class TPobieranie;
class TPowrotUrzadzenia;
class TRaportView;
class TUslugaOkna;
namespace Czytanie {
enum class Dowiazanie;
}

// The meaning of each picture of ImageList1; a toolbar button keeps its
// current index in the property "imageIndex".
enum Obrazek : int {
    obrPolaczDane = 0,      // plug, green arrow: data is arriving or has arrived
    obrPolaczBezczynny = 1, // plug, grey arrow: idle
    obrPolaczCzeka = 2,     // plug, red arrow: port open, waiting for the device
    obrMailWyslany = 3,     // green tick: report mailed
    obrMail = 4,            // send arrow: report can be mailed
    obrMailSzary = 5,       // greyed send arrow: nothing to mail
    obrZapisany = 6,        // red floppy disk: report saved
    obrZapisz = 7,          // floppy disk: report can be saved
    obrZapiszSzary = 8      // greyed floppy disk: nothing to save
};

class TfrmMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit TfrmMain(QWidget *parent = nullptr);
    ~TfrmMain() override;

    // Controls (each QObject has the same objectName).
    QStatusBar *stbStatus = nullptr;
    QMenuBar *MainMenu1 = nullptr;
    QMenu *Plik1 = nullptr;
    QAction *Konfiguracja1 = nullptr;
    QMenu *Pomoc1 = nullptr;
    TRaportView *memDane = nullptr;
    TComPort *port = nullptr;
    QList<QIcon> ImageList1; // the nine pictures, indexed by Obrazek
    QToolBar *ToolBar1 = nullptr;
    QToolButton *tobPolacz = nullptr;
    QToolButton *tobZapisz = nullptr;
    QToolButton *tobMail = nullptr;
    QTimer *timTimeOut = nullptr;
    QTimer *timPytanie = nullptr;
    QFileDialog *SaveDialog1 = nullptr;
    QAction *Oprogramie1 = nullptr;
    QAction *N1 = nullptr;
    QAction *Tematypomocy1 = nullptr;
    QAction *Zakocz1 = nullptr;
    QAction *N2 = nullptr;
    QAction *WylijOdbierz1 = nullptr;
    QAction *Zapisz1 = nullptr;
    QAction *Wylij1 = nullptr;
    QTimer *timTransmisja = nullptr;
    // Beyond the designed controls: "&Otwórz raport…" in "&Plik", its
    // dialog, and the message line above the report area.
    QAction *OtworzRaport1 = nullptr;
    QFileDialog *OpenDialog1 = nullptr;
    TLiniaKomunikatu *panKomunikat = nullptr;

    // State.
    QString DataOd;               // first day of the report, "-" separated; empty when none
    QString DataDo;               // last day of the report; empty when none
    bool NiezapisaneDane = false; // a report is held that was neither saved nor mailed
    QString KatalogProgramu;      // the executable's directory with a trailing "/"
    QString HelpFile;             // KatalogProgramu + "Vestibulomat.hlp"
    // The copy on disk of the report being received, until it is saved,
    // mailed or given up; it brings the report back after a crash.
    TDziennik *dziennik = nullptr;
    // Reports handed to a mail client that has not ended yet, once per
    // hand-off: their journal stays until it ends well or the program closes.
    QList<QByteArray> raportyWPoczcie;
    // The dialogue with the device; it owns port and the three timers.
    TPobieranie *pobieranie = nullptr;
    // Waits for a lost adapter to come back (main_port.cpp).
    TPowrotUrzadzenia *powrot = nullptr;

    // Start-up and closing (main.cpp).
    void FormCreate();
    void FormShow();
    void FormCloseQuery(bool &CanClose);
    void Zakocz1Click();
    void Konfiguracja1Click();

    // Download (main_odbior.cpp).
    void tobPolaczClick();
    void timPytanieTimer();
    void portRxChar(int count); // count: the number of bytes waiting
    void OdbiorDanych();        // bookkeeping after every received chunk
    void timTimeOutTimer();
    void timTransmisjaTimer();
    void AnalizujDane();
    // Start-up: offers the report that an earlier run left unsaved.
    void PrzywrocRaport();

    // Report output (main_zapis.cpp).
    QString NazwaPliku();
    void tobZapiszClick();
    void tobMailClick();

    // The timer's runs, saved reports, the port (main_przebiegi.cpp).
    // Reads the record of unattended runs; a run newer than the last one
    // this user was shown gets the message line.
    void PokazPrzebieg();
    // "Ukryj", and any new download: the line goes until a newer run.
    void UkryjKomunikat();
    void btnOtworzClick();
    void OtworzRaport1Click();
    // Reads the report file sciezka and shows it as a received one, marked
    // saved; the caption names the file. A file that is refused leaves the
    // window as it was (the error goes on to the caller).
    void OtworzRaport(const QString &sciezka, Czytanie::Dowiazanie dowiazanie);
    // Before a new report replaces an unsaved one: the question whether to
    // save it first, and its journal kept or given up.
    void PrzedNowymRaportem();
    // The caption: "Vestibulomat v" and the version, then the opened file.
    void UstawTytul(const QString &plik = QString());
    // Asked over the session bus by the timer's run: closes the port unless
    // the device is being polled or is sending. True when the port is free.
    bool ZwolnijPort();

    // Help and about (main_pomoc.cpp).
    void Tematypomocy1Click();
    void Oprogramie1Click();

    // Command states: every place that changes the toolbar and the menu goes
    // through these. "Unchanged" controls are left alone.
    void StanStart();         // start: download idle, nothing to save or mail
    void StanPolaczony();     // port open, waiting: save and mail disabled
    void StanBezPolaczenia(); // the port did not open, or no answer: download idle
    void StanOczekiwanie();   // polling again after a retry
    void StanDane();          // a chunk arrived: save and mail enabled
    void StanZapisany();      // the report was saved
    void StanWyslany();       // the report was mailed

    // The picture of a toolbar button, and its index.
    void UstawObrazek(QToolButton *przycisk, int indeks);
    static int IndeksObrazka(const QToolButton *przycisk);

    // The four status bar panels (0 port, 1 "Od: ", 2 "Do: ", 3 empty).
    QString TekstPanelu(int panel) const;
    void UstawPanel(int panel, const QString &tekst);

    // The configuration dialog picked another port.
    void PortZmieniony(const QString &nazwa);

    // Tests point the program directory at a temporary folder with this
    // before the windows are created; an empty text restores the real one.
    static void UstawKatalogProgramu(const QString &katalog);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // "Błąd podczas połączenia", then what went wrong and what to do; the
    // technical text in the box's details.
    void PokazBladPolaczenia(const std::exception &e);
    // Before a download opens the port (main_port.cpp): the adapter that came
    // back, or the one adapter offered when the port in force is missing.
    void PrzedPolaczeniem();
    // The port for this run, in the dialog, the component and the status bar.
    void UstawPort(const QString &nazwa);
    // The lost adapter is back: said in the status bar.
    void UrzadzenieWrocilo(const QString &opis);
    // A missing port with several adapters plugged in: the list, on a line
    // of its own, for the connection error; otherwise nothing.
    QString PodlaczoneDoKomunikatu() const;
    // Polling ends: timers stopped, the retry question withdrawn, idle picture.
    void ZakonczOdpytywanie();
    // The device went away while the port was open.
    void portUtracony(const EComPort &e);
    // A hand-off left running ended with status (0 sent); bajty and opis
    // name the report it carried.
    void PocztaZakonczona(const QByteArray &bajty, const QString &opis, int status);
    // A received chunk goes into the journal; the first one starts it.
    void ZapiszWDzienniku(const QByteArray &kawalek);

    void utworzKontrolki();
    void connectHandlers();
    // A status panel as wide as designed or as its text needs.
    void dopasujPanel(int panel);

    // A message in the line; a run's line it replaces counts as seen.
    void PokazKomunikat(TLiniaKomunikatu::Rodzaj rodzaj, const QString &tekst, bool zOtworz,
                        const QString &podpowiedz = QString());
    // The run the line shows has been seen: remembered across restarts.
    void ZapamietajPrzebieg();

    std::array<QLabel *, 4> panele{};
    bool pokazane = false;
    // On the session bus from the first show, when there is a bus.
    TUslugaOkna *usluga = nullptr;
    QDateTime pokazanyPrzebieg; // the run the line shows; invalid when none
    QString plikPrzebiegu;      // the file that run saved, for "Otwórz"
    QDateTime widzianyPrzebieg; // the newest run this user was shown
    bool bladRekorduPokazany = false;
    bool pytanieOZapis = false; // the question before a new report is open
};

extern TfrmMain *frmMain;

// Sets the application title and creates the six windows once, in the fixed
// order: frmMain, frmKonfiguracja, frmOprogramie, frmKatalog, frmPasek,
// frmUwaga. The program's entry and the tests both start this way.
void UtworzOkna();

// Destroys the six windows (last created first) and clears their pointers.
void UsunOkna();

// The program's own icon (the one its menu entry shows), for the windows.
QIcon IkonaProgramu();
