#pragma once

// Where the program keeps its files.
//
// A copy that lives in a writable directory is portable: the settings file
// and the "temp" folder lie beside the executable. Installed in a system
// directory, it uses the per-user places instead:
//   $XDG_CONFIG_HOME/Vestibulomat/Vestibulomat.ini (default ~/.config/...)
//   $XDG_CACHE_HOME/Vestibulomat/temp              (default ~/.cache/...)
// A settings file beside the executable keeps being read until the per-user
// file exists, so an installation can ship defaults.
//
// The journal of a report being received (Dziennik.h) is per-user state in
// every case, never beside the executable:
//   $XDG_STATE_HOME/Vestibulomat                   (default ~/.local/state/...)
//
// katalogProgramu is the program's directory with a trailing "/".

#include <QString>

// The settings file to read.
QString PlikUstawienDoOdczytu(const QString &katalogProgramu);

// The settings file to write. When it is the per-user file and that does not
// exist yet, its directory is created and the file beside the executable (if
// any) is copied there first, so hand-added sections are not lost.
QString PlikUstawienDoZapisu(const QString &katalogProgramu);

// The folder for mail attachments, without a trailing "/". Not created here.
QString KatalogTymczasowy(const QString &katalogProgramu);

// The per-user state folder, without a trailing "/". Not created here.
QString KatalogStanu();
