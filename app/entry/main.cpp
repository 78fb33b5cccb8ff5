#include "main.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    UtworzOkna();
    frmMain->show();
    const int kod = app.exec();
    UsunOkna();
    return kod;
}
