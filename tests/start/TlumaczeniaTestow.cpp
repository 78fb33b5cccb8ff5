// Linked whole into every test executable: the application that QTEST_MAIN
// creates speaks Polish in Qt's own texts, as the program does.

#include "TlumaczeniaQt.h"

#include <QCoreApplication>

namespace {

void PolskieTekstyQt()
{
    ZaladujTlumaczeniaQt();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(PolskieTekstyQt)
