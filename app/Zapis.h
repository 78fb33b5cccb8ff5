#pragma once

// Writing a received report to disk: the save command's file, the mail
// attachment in the temporary folder and its copy into the save directory.
//
// A report is written byte for byte as received: no byte-order mark, no line
// break added, NUL bytes kept, through the program's one writer
// (BezpiecznyZapis.h): an existing file is replaced only once the new one is
// complete and on the disk, so a failed save leaves the old file as it was.
// A failure is the writer's EZapisPliku, naming the file as the caller gave it.

#include "BezpiecznyZapis.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QFileDialog;

// Writes dane to sciezka, the name the user picked in the save dialog,
// creating the file or replacing an existing one; a link is followed, a FIFO
// or device written in place. Throws EZapisPliku; on failure an existing
// file keeps its old contents. The file and its folder are synced on return.
void ZapiszRaport(const QString &sciezka, const QByteArray &dane);

// Writes dane under sciezka, a name the program made up, only when nothing
// at all is there: false when the name is taken (a file, a link, a pipe), which
// is then left alone. The file and its folder are on the disk when it returns
// true. Throws EZapisPliku for any other failure.
bool ZapiszNowyRaport(const QString &sciezka, const QByteArray &dane);

// Copies the file zrodlo to cel, a name the program made, replacing an
// existing regular file cel. A link, FIFO or device under that name is left
// alone and refused with a reason of its own. Throws EZapisPliku when the
// copy did not arrive; cel is then left as it was.
void KopiujRaport(const QString &zrodlo, const QString &cel);

// "Błąd podczas zapisu pliku: " and the file the error names (sciezka when
// it names none), with the reason in brackets; the caller adds what became
// of the report.
QString TekstBleduZapisu(const EZapisPliku &e, const QString &sciezka);

// katalog + "/" + nazwa. The directory text is used as typed, so one ending
// in "/" gives two separators in a row, which the file system reads as one.
QString SciezkaWKatalogu(const QString &katalog, const QString &nazwa);

// Writes the mail attachment nazwa into katalogTemp, mode 0600, by the rule
// for names the program makes (see KopiujRaport). When the first write
// fails (on the first send the folder does not exist yet) the folder is
// created and the write tried once more. Returns the full path written;
// throws EZapisPliku when the second write fails too.
QString ZapiszZalacznik(const QString &katalogTemp, const QString &nazwa, const QByteArray &dane);

// The answer of the save dialog, for tests: given the starting directory and
// the proposed name, the confirmed full path or an empty text for cancel.
using DialogZapisu = std::function<QString(const QString &katalog, const QString &nazwa)>;

// Replaces the save dialog (tests answer it without showing a window); an
// empty function brings the real dialog back.
void UstawDialogZapisu(DialogZapisu dialog);

// Sets up the save dialog, once, when the main window makes it: filter
// "Pliki tekstowe (*.txt)", default suffix txt (added to a name typed
// without an extension), no overwrite question. The desktop's own dialog
// where its platform theme offers one; otherwise (a bare session, the
// tests) Qt's widget dialog, in Polish.
void PrzygotujDialogZapisu(QFileDialog *dialog);

// Shows the save dialog, as PrzygotujDialogZapisu left it, starting in
// katalog and proposing nazwa; returns the confirmed full path, or an empty
// text when the user cancelled. Uses the replacement from UstawDialogZapisu
// when one is installed.
QString WybierzPlikZapisu(QFileDialog *dialog, const QString &katalog, const QString &nazwa);
