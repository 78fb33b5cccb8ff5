#pragma once

#include <QWidget>

// Progress window shown while a report arrives and while it is analysed.
class TfrmPasek : public QWidget
{
    Q_OBJECT

public:
    explicit TfrmPasek(QWidget *parent = nullptr);
};

extern TfrmPasek *frmPasek;
