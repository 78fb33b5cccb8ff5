#pragma once

// Qt's own texts in Polish: the buttons of message boxes, the widget save
// dialog, context menus of edit boxes, the tab bar's scroll buttons. The
// whole interface is Polish by design, so the Polish catalogue is loaded
// whatever the user's locale.

// Installs Qt's Polish translations (qtbase_pl.qm from Qt's translations
// folder) into the running application. Called once the application object
// exists; a second call does nothing. Returns false, with a warning on
// standard error, when the catalogue is missing (Debian package
// qt6-translations-l10n): the program then goes on with Qt's English texts.
bool ZaladujTlumaczeniaQt();
