#include "Postep.h"

TfrmPasek *frmPasek = nullptr;

TfrmPasek::TfrmPasek(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmPasek"));
    setWindowTitle(QStringLiteral("Pasek postępu"));
    resize(491, 97);
}
