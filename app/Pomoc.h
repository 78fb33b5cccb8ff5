#pragma once

// Opening the program's help with the desktop's viewer.
//
// The main window's "&Tematy pomocy" calls:
//
//     OtworzPomoc(KatalogProgramu);
//
// A "Vestibulomat.hlp" placed beside the executable is opened when there is
// one (someone may have a viewer for it); otherwise the HTML help
// "Vestibulomat.html", beside the executable or in the installed data
// directory (".../share/vestibulomat/"). When no help file is found or none
// can be opened, a message says so.

#include <QString>
#include <QStringList>

// The help files that exist, in the order they are tried. katalogProgramu
// ends with "/".
QStringList PlikiPomocy(const QString &katalogProgramu);

// Opens the first help file that the desktop accepts; reports failure with
// a message window.
void OtworzPomoc(const QString &katalogProgramu);
