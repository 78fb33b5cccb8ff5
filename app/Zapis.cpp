#include "Zapis.h"

#include "BezpiecznyZapis.h"
#include "FolderWlasny.h"

#include <QFileDialog>

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

// The writer's failure as the user reads it, naming the file as the user
// knows it: creating the file (looking at the name, opening, renaming) or
// writing it.
[[noreturn]] void Zglos(const BezpiecznyZapis::Blad &e, const QString &sciezka)
{
    using BezpiecznyZapis::Krok;
    const Krok k = e.KrokBledu();
    const bool utworzenie = k == Krok::Sprawdzenie || k == Krok::Utworzenie ||
                            k == Krok::ZmianaNazwy || k == Krok::SynchronizacjaKatalogu;
    throw EZapisPliku(utworzenie ? Etap::Utworzenie : Etap::Zapis, sciezka, e.Kod(), e.Szczegoly(),
                      e.PowodWlasny() ? e.Powod() : QString());
}

void Zapisz(const QString &sciezka, const QByteArray &dane, const BezpiecznyZapis::Opcje &opcje)
{
    try {
        BezpiecznyZapis::Zapisz(sciezka, dane, opcje);
    } catch (const BezpiecznyZapis::Blad &e) {
        Zglos(e, sciezka);
    }
}

} // namespace

bool ZapiszNowyRaport(const QString &sciezka, const QByteArray &dane)
{
    BezpiecznyZapis::Opcje opcje;
    opcje.tylkoNowy = true;
    try {
        BezpiecznyZapis::Zapisz(sciezka, dane, opcje);
    } catch (const BezpiecznyZapis::Blad &e) {
        if (e.Kod() == EEXIST)
            return false;
        Zglos(e, sciezka);
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

EZapisPliku::EZapisPliku(Etap etap, const QString &sciezka, int kod, const QString &opis,
                         const QString &powod)
    : std::runtime_error(TekstTechniczny(etap, sciezka))
    , m_etap(etap)
    , m_sciezka(sciezka)
    , m_kod(kod)
    , m_opis(opis)
    , m_powod(powod)
{}

QString EZapisPliku::Powod() const
{
    if (!m_powod.isEmpty())
        return m_powod;
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
    if (!m_opis.isEmpty())
        return pierwsza + u'\n' + m_opis;
    return m_kod != 0 ? pierwsza + u'\n' + SzczegolyBleduSystemu(m_kod) : pierwsza;
}

void ZapiszRaport(const QString &sciezka, const QByteArray &dane)
{
    Zapisz(sciezka, dane, {BezpiecznyZapis::Nazwa::Wybrana, 0666, false});
}

void KopiujRaport(const QString &zrodlo, const QString &cel)
{
    // The copy did not arrive either way: a source that cannot be read is
    // reported as a write of the destination that failed.
    QByteArray dane;
    try {
        if (BezpiecznyZapis::CzytajZwyklyPlik(zrodlo, dane) != BezpiecznyZapis::Zastano::ZwyklyPlik)
            throw EZapisPliku(Etap::Zapis, cel, ENOENT, QStringLiteral("source: ") + zrodlo);
    } catch (const BezpiecznyZapis::Blad &e) {
        throw EZapisPliku(Etap::Zapis, cel, e.Kod(), e.Szczegoly());
    }
    Zapisz(cel, dane, {BezpiecznyZapis::Nazwa::Wygenerowana, 0666, false});
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
    } catch (const BezpiecznyZapis::Blad &) {
        // Expected on the first send: the folder is made on demand.
    }
    UtworzFolderWlasny(katalogTemp);
    Zapisz(sciezka, dane, opcje);
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
