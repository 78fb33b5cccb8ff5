#include "Zapis.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>

namespace {

[[noreturn]] void NieMoznaUtworzyc(const QString &sciezka)
{
    throw EZapisPliku(QStringLiteral("Cannot create file %1").arg(sciezka).toUtf8().toStdString());
}

[[noreturn]] void BladZapisu()
{
    throw EZapisPliku("Stream write error");
}

// Devices and pipes (/dev/null, a FIFO) cannot be replaced by renaming a
// sibling over them: they are written in place.
void ZapiszWMiejscu(const QString &sciezka, const QByteArray &dane)
{
    QFile plik(sciezka);
    if (!plik.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        NieMoznaUtworzyc(sciezka);
    if (plik.write(dane) != dane.size())
        BladZapisu();
    plik.close();
    if (plik.error() != QFileDevice::NoError)
        BladZapisu();
}

DialogZapisu &zastepstwo()
{
    static DialogZapisu dialog;
    return dialog;
}

} // namespace

void ZapiszRaport(const QString &sciezka, const QByteArray &dane)
{
    const QFileInfo info(sciezka);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        ZapiszWMiejscu(sciezka, dane);
        return;
    }

    QSaveFile plik(sciezka);
    // A file that may be written in a directory that may not (a shared
    // folder) is still saved, in place, as the user asked.
    plik.setDirectWriteFallback(true);
    // Unbuffered, so that a short write (disk full, size limit) shows in the
    // count here: a buffered QSaveFile can lose it at commit() and rename the
    // cut file over the old one. Without commit() the old file stays.
    if (!plik.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        NieMoznaUtworzyc(sciezka);
    if (plik.write(dane) != dane.size())
        BladZapisu();
    if (!plik.commit())
        BladZapisu();
}

bool KopiujRaport(const QString &zrodlo, const QString &cel)
{
    QFile wejscie(zrodlo);
    if (!wejscie.open(QIODevice::ReadOnly))
        return false;
    const QByteArray dane = wejscie.readAll();
    if (wejscie.error() != QFileDevice::NoError)
        return false;
    try {
        ZapiszRaport(cel, dane);
    } catch (const EZapisPliku &) {
        return false;
    }
    return true;
}

QString SciezkaWKatalogu(const QString &katalog, const QString &nazwa)
{
    return katalog + u'/' + nazwa;
}

QString ZapiszZalacznik(const QString &katalogTemp, const QString &nazwa, const QByteArray &dane)
{
    const QString sciezka = SciezkaWKatalogu(katalogTemp, nazwa);
    try {
        ZapiszRaport(sciezka, dane);
        return sciezka;
    } catch (const EZapisPliku &) {
        // Expected on the first send: the folder is made on demand.
    }
    QDir().mkpath(katalogTemp);
    ZapiszRaport(sciezka, dane);
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
}

QString WybierzPlikZapisu(QFileDialog *dialog, const QString &katalog, const QString &nazwa)
{
    if (zastepstwo())
        return zastepstwo()(katalog, nazwa);
    PrzygotujDialogZapisu(dialog);
    dialog->setDirectory(katalog);
    dialog->selectFile(nazwa);
    if (dialog->exec() != QDialog::Accepted)
        return {};
    const QStringList wybrane = dialog->selectedFiles();
    return wybrane.isEmpty() ? QString() : wybrane.constFirst();
}
