#include "OknaTestowe.h"

#include "RaportView.h"
#include "main.h"

#include <QFile>

namespace {

void Przywroc(const char *nazwa, bool byla, const QByteArray &wartosc)
{
    if (byla)
        qputenv(nazwa, wartosc);
    else
        qunsetenv(nazwa);
}

} // namespace

OknaTestowe::OknaTestowe(Komunikaty::Hook komunikaty, DialogZapisu dialog)
{
    if (!m_katalog.isValid())
        return;
    TfrmMain::UstawKatalogProgramu(m_katalog.path());
    // Per-user places inside the test's own folder, never the real home.
    m_bylConfig = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    m_bylCache = qEnvironmentVariableIsSet("XDG_CACHE_HOME");
    m_config = qgetenv("XDG_CONFIG_HOME");
    m_cache = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_katalog.filePath(QStringLiteral("config"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_katalog.filePath(QStringLiteral("cache"))));
    Komunikaty::UstawHook(std::move(komunikaty));
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
    Komunikaty::UstawHook({});
    TfrmMain::UstawKatalogProgramu(QString());
    Przywroc("XDG_CONFIG_HOME", m_bylConfig, m_config);
    Przywroc("XDG_CACHE_HOME", m_bylCache, m_cache);
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
