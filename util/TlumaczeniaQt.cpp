#include "TlumaczeniaQt.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>

bool ZaladujTlumaczeniaQt()
{
    QCoreApplication *aplikacja = QCoreApplication::instance();
    if (!aplikacja)
        return false;
    // The translator is a child of the application: an application created
    // anew (as tests do) gets its own.
    const QString nazwa = QStringLiteral("qtbase_pl");
    if (aplikacja->findChild<QTranslator *>(nazwa, Qt::FindDirectChildrenOnly))
        return true;

    const QString katalog = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto *tlumacz = new QTranslator(aplikacja);
    tlumacz->setObjectName(nazwa);
    if (!tlumacz->load(nazwa, katalog)) {
        delete tlumacz;
        // Not worth a box: every text of our own is Polish anyway.
        std::fprintf(stderr,
                     "Vestibulomat: brak polskich tłumaczeń Qt (qtbase_pl.qm w %s); "
                     "zainstaluj pakiet qt6-translations-l10n.\n",
                     qPrintable(katalog));
        return false;
    }
    QCoreApplication::installTranslator(tlumacz);
    return true;
}
