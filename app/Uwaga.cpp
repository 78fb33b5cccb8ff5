#include "Uwaga.h"

TfrmUwaga *frmUwaga = nullptr;

TfrmUwaga::TfrmUwaga(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmUwaga"));
    setWindowTitle(QStringLiteral("Uwaga!"));
    setFixedSize(319, 74);
}
