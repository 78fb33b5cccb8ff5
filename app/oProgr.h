#pragma once

// About window: the program's name and the version of its executable.
//
// The main window's "&O programie" shows it modally; the result is not used:
//
//     frmOprogramie->exec();
//
// "&Zamknij", Esc (wherever the focus is) and the close box end it with 1.

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class TfrmOprogramie : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmOprogramie(QWidget *parent = nullptr);

    QFrame *Panel1;
    QLabel *ProductName;
    QLabel *labVersion;
    QPushButton *zamknij;

    void FormCreate();
    void zamknijClick();

public slots:
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent *zdarzenie) override;

private:
    void connectHandlers();
};

extern TfrmOprogramie *frmOprogramie;
