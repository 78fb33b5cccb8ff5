#pragma once

// Where the program keeps its files.
//
// A copy that lives in a writable directory is portable: the settings file
// and the "temp" folder lie beside the executable. The settings file is
// also kept there when the file itself may be written though its folder
// may not (it is then rewritten in place). Otherwise, installed in a system
// directory, the program uses the per-user places instead:
//   $XDG_CONFIG_HOME/Vestibulomat/Vestibulomat.ini (default ~/.config/...)
//   $XDG_CACHE_HOME/Vestibulomat/temp              (default ~/.cache/...)
// A settings file beside the executable keeps being read until the per-user
// file exists, so an installation can ship defaults.
//
// An installed copy (bin/ beside share/vestibulomat/, from the package or
// "cmake --install") keeps the user's reports in the documents folder.
//
// The journal of a report being received (Dziennik.h) is per-user state in
// every case, never beside the executable:
//   $XDG_STATE_HOME/Vestibulomat                   (default ~/.local/state/...)
//
// katalogProgramu is the program's directory with a trailing "/".

#include "FolderWlasny.h"

#include <QList>
#include <QString>

// The settings file to read. A per-user folder that another user owns is
// passed over, as if it held no file.
QString PlikUstawienDoOdczytu(const QString &katalogProgramu);

// The settings file to write. When it is the per-user file, its folder is
// made the user's own (FolderWlasny.h), and when the file does not exist yet
// the file beside the executable (if any) is copied there first, so
// hand-added sections are not lost. Throws EFolderWlasny when another user
// owns that folder.
QString PlikUstawienDoZapisu(const QString &katalogProgramu);

// Why the settings file plikUstawien, when it is the per-user one, must not
// be used, in the words OpenSSH uses for its own files: "Zły właściciel albo
// uprawnienia pliku ustawień „PLIK”: może go zmieniać inny użytkownik (KTO).
// Program używa ustawień domyślnych". So when another user (not root) owns
// it, or group or others may write it and the user cannot take their write
// bits away (the user's own file loses them here, without a word). Empty
// when it may be used, when it does not exist, and for a file beside the
// executable, which is the installation's to ship. PlikUstawienDoZapisu
// replaces a file refused so by a fresh one, never writing into it.
QString PowodNieufnosci(const QString &plikUstawien);
// The technical line for that message: owner, group and mode found.
QString SzczegolyNieufnosci(const QString &plikUstawien);

// The program's own folders that another user owns, for the message at
// start-up (FolderWlasny::Komunikat names each and its owner): the per-user
// settings folder when the settings are per-user, the attachments' folder,
// the journal's state folder. Nothing is made; each one listed is not used.
QList<FolderWlasny> ObceFolderyProgramu(const QString &katalogProgramu);

// The folder for mail attachments, without a trailing "/". Not created here.
QString KatalogTymczasowy(const QString &katalogProgramu);

// An installed copy: the program directory is a bin/ folder whose sibling
// share/vestibulomat/ holds the installed data (the help).
bool KopiaZainstalowana(const QString &katalogProgramu);

// The save folder used when the settings name none, with a trailing "/": the
// program directory for a portable copy in a folder that can be written;
// for an installed copy or one in a folder that cannot be written, the
// user's documents folder when it exists, else the home folder.
QString DomyslnyKatalogZapisu(const QString &katalogProgramu);

// Whether reports can be written into the folder katalog: 0 when they can,
// else the errno that says why not (ENOENT, ENOTDIR, EACCES, EROFS, ...).
int BladKataloguZapisu(const QString &katalog);
//
// The per-user state folder, without a trailing "/". Not created here.
QString KatalogStanu();
