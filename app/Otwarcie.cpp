#include "Otwarcie.h"

#include "Bledy.h"

#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>

#include <cerrno>
#include <sys/stat.h>

namespace {

DialogOtwarcia &zastepstwo()
{
    static DialogOtwarcia dialog;
    return dialog;
}

// What stands under the name instead of a report, for the message. A look
// only: nothing is opened.
QString CoTamJest(const QString &sciezka)
{
    struct stat st;
    if (::stat(QFile::encodeName(sciezka).constData(), &st) != 0 &&
        ::lstat(QFile::encodeName(sciezka).constData(), &st) != 0)
        return QStringLiteral("plik specjalny");
    return Czytanie::RodzajPliku(st.st_mode);
}

} // namespace

QByteArray CzytajRaport(const QString &sciezka, Czytanie::Dowiazanie dowiazanie)
{
    std::optional<Czytanie::Plik> plik;
    try {
        plik = Czytanie::Czytaj(sciezka, Czytanie::NajwiekszyRaport, dowiazanie);
    } catch (const Czytanie::BladCzytania &e) {
        using P = Czytanie::BladCzytania::Przyczyna;
        QString tekst;
        switch (e.PrzyczynaBledu()) {
        case P::NieZwyklyPlik:
            tekst = QStringLiteral("Nie można otworzyć raportu: „%1” to %2, a nie plik z "
                                   "raportem. Wybierz plik raportu")
                        .arg(sciezka, CoTamJest(sciezka));
            break;
        case P::ZaDuzy:
            tekst = QStringLiteral("Nie można otworzyć raportu: plik „%1” jest większy niż "
                                   "%2 MiB, a tak dużego raportu licznik nie przysyła. Wybierz "
                                   "plik raportu")
                        .arg(sciezka)
                        .arg(Czytanie::NajwiekszyRaport >> 20);
            break;
        case P::Dowiazanie:
            tekst = QStringLiteral("Nie można otworzyć raportu: w miejscu pliku „%1” jest teraz "
                                   "dowiązanie. Otwórz raport poleceniem „Otwórz raport” z "
                                   "menu „Plik”")
                        .arg(sciezka);
            break;
        case P::System:
            tekst = QStringLiteral("Nie można otworzyć raportu „%1” (%2)")
                        .arg(sciezka, OpisBleduSystemu(e.Kod()));
            break;
        }
        throw BladProgramu(tekst, e.Szczegoly());
    }
    if (!plik)
        throw BladProgramu(
            QStringLiteral("Nie można otworzyć raportu: plik „%1” nie istnieje; "
                           "mógł zostać przeniesiony albo usunięty")
                .arg(sciezka),
            QStringLiteral("Plik: %1\n%2").arg(sciezka, SzczegolyBleduSystemu(ENOENT)));
    return plik->dane;
}

void UstawDialogOtwarcia(DialogOtwarcia dialog)
{
    zastepstwo() = std::move(dialog);
}

void PrzygotujDialogOtwarcia(QFileDialog *dialog)
{
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters(
        {QStringLiteral("Pliki tekstowe (*.txt)"), QStringLiteral("Wszystkie pliki (*)")});
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        dialog->setOption(QFileDialog::DontUseNativeDialog, true);
}

QString WybierzPlikOtwarcia(QFileDialog *dialog, const QString &katalog)
{
    if (zastepstwo())
        return zastepstwo()(katalog);
    dialog->setDirectory(katalog);
    if (dialog->exec() != QDialog::Accepted)
        return {};
    const QStringList wybrane = dialog->selectedFiles();
    return wybrane.isEmpty() ? QString() : wybrane.constFirst();
}
