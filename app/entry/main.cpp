#include "main.h"
#include "Miejsca.h"
#include "Poczta.h"
#include "TlumaczeniaQt.h"
#include "UjscieOkien.h"
#include "WierszPolecen.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Anything but Qt's own options ("--pobierz", "--help", a mistyped word)
    // is the command line's: no window and no display.
    if (WierszPolecen(argc, argv))
        return UruchomWierszPolecen(argc, argv);
    QApplication app(argc, argv);
    ZaladujTlumaczeniaQt();
    // The program's messages and errors are boxes above its windows.
    UjscieOkien pudelka;
    const Komunikaty::UstawioneUjscie ujscie(pudelka);
    // The desktop matches the window to its menu entry by this name; the
    // icon is the one the menu shows.
    QGuiApplication::setDesktopFileName(QStringLiteral("pl.vestibulomat.Vestibulomat"));
    QApplication::setWindowIcon(IkonaProgramu());
    UtworzOkna();
    // Attachments handed to the mail client last time are no longer needed.
    UsunStareZalaczniki(KatalogTymczasowy(frmMain->KatalogProgramu));
    frmMain->show();
    const int kod = app.exec();
    UsunOkna();
    return kod;
}
