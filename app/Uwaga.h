#pragma once

#include <QDialog>

// Retry dialog: asked when the device has not answered for ten seconds.
// Results: 1 retry, 2 give up (also the window frame), 5 data arrived meanwhile.
class TfrmUwaga : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmUwaga(QWidget *parent = nullptr);
};

extern TfrmUwaga *frmUwaga;
