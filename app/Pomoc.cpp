#include "Pomoc.h"

#include "Komunikaty.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

namespace {

const QString plikHlp = QStringLiteral("Vestibulomat.hlp");
const QString plikHtml = QStringLiteral("Vestibulomat.html");

void dodajJesliJest(QStringList &lista, const QString &sciezka)
{
    if (sciezka.isEmpty())
        return;
    const QFileInfo info(sciezka);
    if (!info.isFile())
        return;
    const QString pelna = info.absoluteFilePath();
    if (!lista.contains(pelna))
        lista << pelna;
}

} // namespace

QStringList PlikiPomocy(const QString &katalogProgramu)
{
    QStringList pliki;
    dodajJesliJest(pliki, katalogProgramu + plikHlp);
    dodajJesliJest(pliki, katalogProgramu + plikHtml);
    // An installed program: bin/ beside share/vestibulomat/, or any of the
    // system's data directories.
    dodajJesliJest(pliki, katalogProgramu + QStringLiteral("../share/vestibulomat/") + plikHtml);
    dodajJesliJest(pliki, QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                                 QStringLiteral("vestibulomat/") + plikHtml));
    return pliki;
}

void OtworzPomoc(const QString &katalogProgramu)
{
    const QStringList pliki = PlikiPomocy(katalogProgramu);
    if (pliki.isEmpty()) {
        Komunikaty::Komunikat(QStringLiteral("Nie znaleziono pliku pomocy %1 w katalogu %2.")
                                  .arg(plikHtml, QDir::toNativeSeparators(katalogProgramu)));
        return;
    }
    for (const QString &plik : pliki) {
        if (QDesktopServices::openUrl(QUrl::fromLocalFile(plik)))
            return;
    }
    Komunikaty::Komunikat(
        QStringLiteral("Nie można otworzyć pliku pomocy %1.\nBrak programu do przeglądania "
                       "(zainstaluj pakiet xdg-utils i przeglądarkę internetową).")
            .arg(pliki.last()));
}
