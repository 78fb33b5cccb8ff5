#include "oProgr.h"

TfrmOprogramie *frmOprogramie = nullptr;

TfrmOprogramie::TfrmOprogramie(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmOprogramie"));
    setWindowTitle(QStringLiteral("Informacja o programie"));
    setFixedSize(282, 185);
}
