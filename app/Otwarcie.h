#pragma once

// Opening a saved report again: the open dialog and reading the file.
//
// A report file is read as the device's bytes, exactly as they are in the
// file, through the program's bounded reader (Czytanie.h): opened without
// waiting, taken only when it is a regular file, and no larger than the
// largest report the program accepts. Anything else is refused with a
// Polish message naming the file.

#include "Czytanie.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QFileDialog;

// The report file sciezka, byte for byte. dowiazanie: Podazaj for a file the
// user picked (a link to a regular file is followed), Odrzuc for a name the
// program recorded itself. Throws BladProgramu (Bledy.h) with the file named
// when it is missing, not a regular file, over Czytanie::NajwiekszyRaport or
// cannot be read; the system's wording goes into the details.
QByteArray CzytajRaport(const QString &sciezka, Czytanie::Dowiazanie dowiazanie);

// The answer of the open dialog, for tests: given the starting directory,
// the picked file or an empty text for cancel.
using DialogOtwarcia = std::function<QString(const QString &katalog)>;

// Replaces the open dialog (tests answer it without showing a window); an
// empty function brings the real dialog back.
void UstawDialogOtwarcia(DialogOtwarcia dialog);

// Sets up the open dialog once, as the save dialog is set up: the filter
// "Pliki tekstowe (*.txt)" (and all files), one existing file, the
// desktop's own dialog where its platform theme offers one, otherwise Qt's
// widget dialog, in Polish.
void PrzygotujDialogOtwarcia(QFileDialog *dialog);

// Shows the open dialog starting in katalog; the picked file's full path,
// or an empty text when the user cancelled.
QString WybierzPlikOtwarcia(QFileDialog *dialog, const QString &katalog);
