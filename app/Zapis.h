#pragma once

// Writing a received report to disk: the save command's file, the mail
// attachment in the temporary folder and its copy into the save directory.
//
// A report is written byte for byte as received: no byte-order mark, no line
// break added, NUL bytes kept. An existing file is replaced only once the new
// one has been written completely, so a failed save leaves the old file as it
// was.

#include <QByteArray>
#include <QString>

#include <functional>
#include <stdexcept>

class QFileDialog;

// A report file that could not be created or written. The message is one of
// "Cannot create file <path>" and "Stream write error".
class EZapisPliku : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Writes dane to sciezka, creating the file or replacing an existing one.
// Throws EZapisPliku; on failure an existing file keeps its old contents.
void ZapiszRaport(const QString &sciezka, const QByteArray &dane);

// Copies the file zrodlo to cel, replacing an existing cel. Returns false when
// the copy did not arrive; cel is then left as it was.
bool KopiujRaport(const QString &zrodlo, const QString &cel);

// katalog + "/" + nazwa. The directory text is used as typed, so one ending
// in "/" gives two separators in a row, which the file system reads as one.
QString SciezkaWKatalogu(const QString &katalog, const QString &nazwa);

// Writes the mail attachment nazwa into katalogTemp. When the first write
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

// Sets up the save dialog: filter "Pliki tekstowe (*.txt)", default suffix
// txt (added to a name typed without an extension), no overwrite question.
void PrzygotujDialogZapisu(QFileDialog *dialog);

// Shows the save dialog starting in katalog and proposing nazwa; returns the
// confirmed full path, or an empty text when the user cancelled. Uses the
// replacement from UstawDialogZapisu when one is installed.
QString WybierzPlikZapisu(QFileDialog *dialog, const QString &katalog, const QString &nazwa);
