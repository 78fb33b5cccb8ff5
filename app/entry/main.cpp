#include "main.h"
#include "Miejsca.h"
#include "Poczta.h"
#include "TlumaczeniaQt.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ZaladujTlumaczeniaQt();
    UtworzOkna();
    // Attachments handed to the mail client last time are no longer needed.
    UsunStareZalaczniki(KatalogTymczasowy(frmMain->KatalogProgramu));
    frmMain->show();
    const int kod = app.exec();
    UsunOkna();
    return kod;
}
