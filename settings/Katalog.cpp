#include "Katalog.h"

#include <QDir>

TfrmKatalog *frmKatalog = nullptr;

TfrmKatalog::TfrmKatalog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmKatalog"));
    setWindowTitle(QStringLiteral("Wybór katalogu"));
    resize(289, 285);
}

QString TfrmKatalog::Directory() const
{
    return QDir::currentPath();
}
