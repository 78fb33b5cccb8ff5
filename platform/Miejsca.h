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
