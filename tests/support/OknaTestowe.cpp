#include "OknaTestowe.h"

#include "Miejsca.h"
#include "Otwarcie.h"
#include "RaportView.h"
#include "main.h"

#include <QDir>
#include <QFile>

OknaTestowe::OknaTestowe(Odbiorca komunikaty, DialogZapisu dialog)
{
    if (!m_katalog.isValid())
        return;
    TfrmMain::UstawKatalogProgramu(m_katalog.path());
    // Per-user places inside the test's own folder, never the real home.
    const char *const podkatalogi[4] = {"config", "cache", "state", "data"};
    for (int i = 0; i < 4; ++i) {
        Zmienna &z = m_zmienne[i];
        z.byla = qEnvironmentVariableIsSet(z.nazwa);
        z.wartosc = qgetenv(z.nazwa);
        qputenv(z.nazwa, QFile::encodeName(m_katalog.filePath(QLatin1String(podkatalogi[i]))));
    }
    m_nagrywa = bool(komunikaty);
    if (m_nagrywa)
        NagrywajKomunikaty(std::move(komunikaty));
    else
        m_poprzednie = Komunikaty::UstawUjscie(&m_pudelka);
    UstawDialogZapisu(std::move(dialog));
    UtworzOkna();
}

OknaTestowe::~OknaTestowe()
{
    if (!m_katalog.isValid())
        return;
    // The windows go first, while a box they might still show is caught.
    UsunOkna();
    UstawDialogZapisu({});
    UstawDialogOtwarcia({});
    if (m_nagrywa)
        NagrywajKomunikaty({});
    else
        Komunikaty::UstawUjscie(m_poprzednie);
    TfrmMain::UstawKatalogProgramu(QString());
    for (const Zmienna &z : m_zmienne) {
        if (z.byla)
            qputenv(z.nazwa, z.wartosc);
        else
            qunsetenv(z.nazwa);
    }
}

QString OknaTestowe::KatalogStanu() const
{
    return ::KatalogStanu();
}

QString OknaTestowe::PlikDziennika() const
{
    const QDir stan(KatalogStanu());
    const QStringList pliki = stan.entryList({QStringLiteral("raport-*.dziennik")}, QDir::Files);
    return stan.filePath(pliki.isEmpty() ? QStringLiteral("raport-brak.dziennik") : pliki.first());
}

void OknaTestowe::UruchomPonownie()
{
    UsunOkna();
    UtworzOkna();
}

void UmiescRaport(const QByteArray &bajty)
{
    frmMain->memDane->Wyczysc();
    frmMain->memDane->DodajBajty(bajty);
    frmMain->DataOd = QStringLiteral("03-05-01");
    frmMain->DataDo = QStringLiteral("03-05-31");
    frmMain->NiezapisaneDane = true;
    frmMain->StanDane();
}
