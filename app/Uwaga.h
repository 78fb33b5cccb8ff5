#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// Retry dialog, asked when the device has not answered for ten seconds.
//
// exec() returns
//   1  "&Tak": poll again,
//   2  "&Nie", Esc, or the window's close box: give up,
//   5  set from outside with done(5) when data arrives while the question is
//      shown (the reception does it; the user's answer is then not needed).
//
// The main window's use:
//   switch (frmUwaga->exec()) { case 1: ...; case 2: ...; default: ... }
// and, for each received chunk:
//   if (frmUwaga->isVisible()) frmUwaga->done(5);
class TfrmUwaga : public QDialog
{
    Q_OBJECT

public:
    enum Wynik { Ponow = 1, Rezygnuj = 2, Dane = 5 };

    explicit TfrmUwaga(QWidget *parent = nullptr);

    QLabel *Label1 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;

    void Button1Click();
    void Button2Click();

    // Esc and the close box end the dialog as "&Nie" does.
    void reject() override;
};

extern TfrmUwaga *frmUwaga;
