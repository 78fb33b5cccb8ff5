#pragma once

#include <QDialog>

// About window: program name and version.
class TfrmOprogramie : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmOprogramie(QWidget *parent = nullptr);
};

extern TfrmOprogramie *frmOprogramie;
