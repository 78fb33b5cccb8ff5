#include "Zapis.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <string>

namespace {

using Etap = EZapisPliku::Etap;

// What the user can do about it, by the system's reason.
QString Wskazowka(Etap etap, int kod)
{
    switch (kod) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return QStringLiteral("Zwolnij miejsce na dysku lub wybierz inny folder");
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("Wybierz folder, w którym możesz zapisywać");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("Wybierz istniejący folder");
    case ENAMETOOLONG:
        return QStringLiteral("Wybierz krótszą nazwę pliku");
    case EISDIR:
        return QStringLiteral("Wybierz inną nazwę pliku");
    default:
        return etap == Etap::Utworzenie
                   ? QStringLiteral("Wybierz inny folder lub inną nazwę pliku")
                   : QStringLiteral("Spróbuj ponownie lub wybierz inny folder");
    }
}

std::string TekstTechniczny(Etap etap, const QString &sciezka)
{
    if (etap == Etap::Utworzenie)
        return QStringLiteral("Cannot create file %1").arg(sciezka).toStdString();
    return "Stream write error";
}

[[noreturn]] void NieMoznaUtworzyc(const QString &sciezka, int kod, const QString &opisQt)
{
    throw EZapisPliku(Etap::Utworzenie, sciezka, kod, opisQt);
}

[[noreturn]] void BladZapisu(const QString &sciezka, int kod, const QString &opisQt)
{
    throw EZapisPliku(Etap::Zapis, sciezka, kod, opisQt);
}

// Devices and pipes (/dev/null, a FIFO) cannot be replaced by renaming a
// sibling over them: they are written in place.
void ZapiszWMiejscu(const QString &sciezka, const QByteArray &dane)
{
    // Qt's file classes leave errno of the system call that failed (they
    // read it themselves for their error text): it is cleared before each
    // step and read right after, so a failure without a system call reads 0.
    QFile plik(sciezka);
    errno = 0;
    if (!plik.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        NieMoznaUtworzyc(sciezka, errno, plik.errorString());
    errno = 0;
    if (plik.write(dane) != dane.size())
        BladZapisu(sciezka, errno, plik.errorString());
    errno = 0;
    plik.close();
    if (plik.error() != QFileDevice::NoError)
        BladZapisu(sciezka, errno, plik.errorString());
}

DialogZapisu &zastepstwo()
{
    static DialogZapisu dialog;
    return dialog;
}

} // namespace

EZapisPliku::EZapisPliku(Etap etap, const QString &sciezka, int kod, const QString &opisQt)
    : std::runtime_error(TekstTechniczny(etap, sciezka))
    , m_etap(etap)
    , m_sciezka(sciezka)
    , m_kod(kod)
    , m_opisQt(opisQt)
{}

QString EZapisPliku::Powod() const
{
    return m_kod != 0 && PolskiOpisBleduSystemu(m_kod) ? OpisBleduSystemu(m_kod) : QString();
}

QString EZapisPliku::TekstUzytkownika() const
{
    QString tekst = m_etap == Etap::Utworzenie
                        ? QStringLiteral("Nie można utworzyć pliku \"%1\"")
                        : QStringLiteral("Nie udało się zapisać pliku \"%1\"");
    tekst = tekst.arg(m_sciezka);
    const QString powod = Powod();
    if (!powod.isEmpty())
        tekst += QStringLiteral(": ") + powod;
    else if (m_kod != 0)
        tekst += QStringLiteral(": nieoczekiwany błąd systemu");
    return tekst + QStringLiteral(". ") + Wskazowka(m_etap, m_kod);
}

QString EZapisPliku::Szczegoly() const
{
    const QString pierwsza = QString::fromStdString(what());
    if (m_kod != 0)
        return pierwsza + u'\n' + SzczegolyBleduSystemu(m_kod);
    return m_opisQt.isEmpty() ? pierwsza : pierwsza + u'\n' + m_opisQt;
}

void ZapiszRaport(const QString &sciezka, const QByteArray &dane)
{
    const QFileInfo info(sciezka);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        ZapiszWMiejscu(sciezka, dane);
        return;
    }
    // The file class says only "refers to a directory", with no errno.
    if (info.isDir())
        NieMoznaUtworzyc(sciezka, EISDIR, QString());

    QSaveFile plik(sciezka);
    // A file that may be written in a directory that may not (a shared
    // folder) is still saved, in place, as the user asked.
    plik.setDirectWriteFallback(true);
    // Unbuffered, so that a short write (disk full, size limit) shows in the
    // count here: a buffered QSaveFile can lose it at commit() and rename the
    // cut file over the old one. Without commit() the old file stays.
    // errno as in ZapiszWMiejscu.
    errno = 0;
    if (!plik.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        NieMoznaUtworzyc(sciezka, errno, plik.errorString());
    errno = 0;
    if (plik.write(dane) != dane.size())
        BladZapisu(sciezka, errno, plik.errorString());
    // The temporary file may have no name until here (O_TMPFILE): giving it
    // the chosen one is where a name too long or a folder gone shows.
    errno = 0;
    if (!plik.commit())
        NieMoznaUtworzyc(sciezka, errno, plik.errorString());
}

void KopiujRaport(const QString &zrodlo, const QString &cel)
{
    // The copy did not arrive either way: a source that cannot be read is
    // reported as a write of the destination that failed.
    QFile wejscie(zrodlo);
    errno = 0;
    if (!wejscie.open(QIODevice::ReadOnly))
        BladZapisu(cel, errno, wejscie.errorString());
    errno = 0;
    const QByteArray dane = wejscie.readAll();
    if (wejscie.error() != QFileDevice::NoError)
        BladZapisu(cel, errno, wejscie.errorString());
    ZapiszRaport(cel, dane);
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
