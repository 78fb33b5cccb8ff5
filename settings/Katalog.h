#pragma once

#include <QDialog>

// Directory chooser for the save directory. Result 1 confirms, 2 cancels;
// the caller then reads the directory that is open in the list.
class TfrmKatalog : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmKatalog(QWidget *parent = nullptr);

    // The directory open in the directory list (no trailing "/" except at "/").
    QString Directory() const;
};

extern TfrmKatalog *frmKatalog;
