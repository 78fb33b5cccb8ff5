#include "Zapis.h"

#include "FolderWlasny.h"

#include <QFileDialog>
#include <QGuiApplication>

#include <cerrno>

bool ZapiszNowyRaport(const QString &sciezka, const QByteArray &dane)
{
    BezpiecznyZapis::Opcje opcje;
    opcje.tylkoNowy = true;
    try {
        BezpiecznyZapis::Zapisz(sciezka, dane, opcje);
    } catch (const EZapisPliku &e) {
        if (e.Kod() == EEXIST)
            return false;
        throw;
    }
    return true;
}

namespace {

DialogZapisu &zastepstwo()
{
    static DialogZapisu dialog;
    return dialog;
}

} // namespace

void ZapiszRaport(const QString &sciezka, const QByteArray &dane)
{
    BezpiecznyZapis::Zapisz(sciezka, dane, {BezpiecznyZapis::Nazwa::Wybrana, 0666, false});
}

void KopiujRaport(const QString &zrodlo, const QString &cel)
{
    // The copy did not arrive either way: a source that cannot be read is
    // reported as a write of the destination that failed.
    using BezpiecznyZapis::Krok;
    QByteArray dane;
    bool zwykly = false;
    try {
        zwykly =
            BezpiecznyZapis::CzytajZwyklyPlik(zrodlo, dane) == BezpiecznyZapis::Zastano::ZwyklyPlik;
    } catch (const EZapisPliku &e) {
        throw EZapisPliku(Krok::Zapis, cel, e.Kod(), QString(), e.Wywolanie());
    }
    if (!zwykly)
        throw EZapisPliku(Krok::Zapis, cel, ENOENT, QString(), QStringLiteral("source: ") + zrodlo);
    BezpiecznyZapis::Zapisz(cel, dane, {BezpiecznyZapis::Nazwa::Wygenerowana, 0666, false});
}

QString TekstBleduZapisu(const EZapisPliku &e, const QString &sciezka)
{
    // The file the error names, so that this line and the details agree.
    QString tekst =
        QStringLiteral("Błąd podczas zapisu pliku: ") + (e.Plik().isEmpty() ? sciezka : e.Plik());
    if (const QString powod = e.Powod(); !powod.isEmpty())
        tekst += QStringLiteral(" (") + powod + u')';
    return tekst;
}

QString SciezkaWKatalogu(const QString &katalog, const QString &nazwa)
{
    return katalog + u'/' + nazwa;
}

QString ZapiszZalacznik(const QString &katalogTemp, const QString &nazwa, const QByteArray &dane)
{
    const QString sciezka = SciezkaWKatalogu(katalogTemp, nazwa);
    // Only the user may read the report the mail carries.
    const BezpiecznyZapis::Opcje opcje{BezpiecznyZapis::Nazwa::Wygenerowana, 0600, false};
    try {
        BezpiecznyZapis::Zapisz(sciezka, dane, opcje);
        return sciezka;
    } catch (const EZapisPliku &) {
        // Expected on the first send: the folder is made on demand.
    }
    UtworzFolderWlasny(katalogTemp);
    BezpiecznyZapis::Zapisz(sciezka, dane, opcje);
    return sciezka;
}

void UstawDialogZapisu(DialogZapisu dialog)
{
    zastepstwo() = std::move(dialog);
}

void PrzygotujDialogZapisu(QFileDialog *dialog)
{
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(QStringLiteral("Pliki tekstowe (*.txt)"));
    dialog->setDefaultSuffix(QStringLiteral("txt"));
    dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        dialog->setOption(QFileDialog::DontUseNativeDialog, true);
}

QString WybierzPlikZapisu(QFileDialog *dialog, const QString &katalog, const QString &nazwa)
{
    if (zastepstwo())
        return zastepstwo()(katalog, nazwa);
    dialog->setDirectory(katalog);
    dialog->selectFile(nazwa);
    if (dialog->exec() != QDialog::Accepted)
        return {};
    const QStringList wybrane = dialog->selectedFiles();
    return wybrane.isEmpty() ? QString() : wybrane.constFirst();
}
