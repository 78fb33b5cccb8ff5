#pragma once

// The configuration dialog. Its controls are the program's settings for the
// run: the main window fills them from the settings file at start-up, and
// every command reads the control it needs at the moment of use.
// "Potwierdź" also writes all seven settings to the file; "Anuluj" and the
// close box only close the dialog (the edits stay in force for the run).

#include "Ustawienia.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class QCheckBox;
class QComboBox;
class TComComboBox;
class TCustomComPort;
class QLabel;
class QLineEdit;
class QPushButton;
class QHideEvent;
class QShowEvent;
class TObserwatorPortow;
class QKeyEvent;
class QTabWidget;
class QToolButton;
class QWidget;

class TfrmKonfiguracja : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmKonfiguracja(QWidget *parent = nullptr);

    // Controls (each with the same objectName).
    QTabWidget *pcZakladki = nullptr;
    QWidget *TabSheet1 = nullptr;
    QWidget *ts_podstawowe = nullptr;
    QWidget *TabSheet3 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *ediKatalog = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *ediNazwa = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *ediMail = nullptr;
    QWidget *TabSheet2 = nullptr;
    QWidget *Panel1 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;
    QCheckBox *chbSynchronizuj = nullptr;
    QLabel *Label4 = nullptr;
    QComboBox *cobZapis = nullptr;
    QLabel *Label5 = nullptr;
    TComComboBox *ccbPort = nullptr; // the port picker
    QToolButton *SpeedButton1 = nullptr;
    QCheckBox *chbPodglad = nullptr;
    // Under the picker, while the port in force is missing: an adapter that
    // was plugged in with the dialog open, and the button that picks it.
    QLabel *lblNoweUrzadzenie = nullptr;
    QPushButton *btnUzyj = nullptr;

    // Handlers; their bodies throw, the guard is in the connections.
    void Button2Click();
    void Button1Click();
    void ccbPortChange();
    void FormShow();
    void SpeedButton1Click();
    // Something was plugged in or pulled out while the dialog is open.
    void PortyZmienione();
    void btnUzyjClick();

    // The port picker: the port it shows, as stored and opened (empty when
    // none), and showing a stored port name: the entry that the name means
    // is selected ("COM1" the entry ttyS0, a name in another letter case the
    // listed device's name), and a port that is not present gets an entry of
    // its own, so that "Potwierdź" stores it unchanged.
    QString WybranyPort() const;
    void WybierzPort(const QString &nazwa);

    // The seven settings as the controls hold them now.
    Ustawienia::Wartosci WartosciUstawien() const;

    // The program directory with a trailing "/": where the settings file is.
    void UstawKatalogProgramu(const QString &katalog) { katalogProgramu = katalog; }
    // Binds the port picker to the main window's serial port component, which
    // a pick in ccbPort moves to the new device.
    void PolaczPort(TCustomComPort *port);
    const QString &KatalogProgramu() const { return katalogProgramu; }

signals:
    // The user picked another port; the main window moves its port there.
    void portZmieniony(const QString &nazwa);

public slots:
    // The close box (and anything else that rejects) ends with result 2.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void connectHandlers();
    // At least 311 x 276, and as wide as the four tab captions need.
    void dopasujRozmiar();

    QString katalogProgramu;
    // Watches /dev only while the dialog is on the screen.
    TObserwatorPortow *obserwator = nullptr;
    QStringList znanePorty; // the ports listed before the last change
    QString noweUrzadzenie; // the node "Użyj" picks
};

extern TfrmKonfiguracja *frmKonfiguracja;
