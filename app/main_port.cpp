// Which port a download opens: the adapter that came back after it was
// pulled out, and the one adapter offered when the port in force is missing.

#include "main.h"

#include "CPort.h"
#include "Komunikaty.h"
#include "Miejsca.h"
#include "Narzedzia.h"
#include "Podlaczone.h"
#include "PowrotUrzadzenia.h"
#include "Ustawienia.h"
#include "konfiguracja.h"

void TfrmMain::UrzadzenieWrocilo(const QString &opis)
{
    UstawPanel(3, QStringLiteral("Urządzenie podłączone ponownie: ") + opis);
}

void TfrmMain::PrzedPolaczeniem()
{
    const QString wrocil = powrot->Zakoncz();
    UstawPanel(3, QString());
    // A by-id link leads to the new node by itself; a stored node name is
    // replaced for this run only (only a pick, "Potwierdź" or "Tak" write
    // the settings file).
    const QString wartosc = port->Port();
    const bool link = ShownPortName(wartosc) != wartosc;
    if (!wrocil.isEmpty() && !link && SerialDeviceName(wartosc) != wrocil)
        UstawPort(wrocil); // also when another adapter has taken the old node

    if (PortObecny(port->Port()))
        return;

    const QList<TComPortInfo> adaptery = PodlaczoneAdaptery();
    if (adaptery.size() != 1 ||
        !Komunikaty::Pytanie(PytanieOJedynyAdapter(port->Port(), adaptery.first())))
        return;
    const QString wybrany =
        NazwaDoZapamietania(adaptery.first().Name, DefaultSysfsRoot(), DefaultDevRoot());
    UstawPort(wybrany);
    // Only the port: the dialog's other controls may hold edits that were
    // not confirmed. A file that cannot be written is told, and the download
    // goes on with the port in force.
    Komunikaty::Chron([&] { Ustawienia::Zapisz(KatalogProgramu, Ustawienia::Port, wybrany); });
}

void TfrmMain::UstawPort(const QString &nazwa)
{
    frmKonfiguracja->WybierzPort(nazwa);
    port->SetPort(frmKonfiguracja->WybranyPort());
    UstawPanel(0, PortWPanelu(port->Port()));
}

QString TfrmMain::PodlaczoneDoKomunikatu() const
{
    if (PortObecny(port->Port()))
        return QString();
    const QList<TComPortInfo> adaptery = PodlaczoneAdaptery();
    return adaptery.size() > 1 ? u'\n' + ListaPodlaczonych(adaptery) : QString();
}
