// The window and the timer's unattended download as one: the message line
// tells what the last run did while the window was closed, a saved report
// is opened again and shown as a received one, and a window left open lets
// go of the port when a run asks over the session bus.

#include "main.h"

#include "BezpiecznyZapis.h"
#include "Bledy.h"
#include "CPort.h"
#include "Czytanie.h"
#include "Dziennik.h"
#include "Komunikaty.h"
#include "LiniaKomunikatu.h"
#include "Miejsca.h"
#include "Narzedzia.h"
#include "Otwarcie.h"
#include "Pobieranie.h"
#include "Przebiegi.h"
#include "RaportView.h"
#include "Uwaga.h"
#include "konfiguracja.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimer>

namespace {

// The last run this user was shown, kept as the run's own time (UTC) in the
// state folder, so that a run hidden once stays hidden after a restart.
QString PlikWidzianego()
{
    return KatalogStanu() + QStringLiteral("/przebieg-widziany");
}

QDateTime CzytajWidziany()
{
    try {
        const std::optional<Czytanie::Plik> p =
            Czytanie::Czytaj(PlikWidzianego(), 256, Czytanie::Dowiazanie::Odrzuc);
        if (p)
            return QDateTime::fromString(QString::fromLatin1(p->dane.trimmed()), Qt::ISODate);
    } catch (const Czytanie::BladCzytania &) {
        // Not ours to read: as if nothing was shown; hiding the line says why.
    }
    return {};
}

void ZapiszWidziany(const QDateTime &czas)
{
    BezpiecznyZapis::Opcje opcje;
    opcje.trybNowego = 0600;
    try {
        const QByteArray tekst = czas.toUTC().toString(Qt::ISODate).toLatin1() + '\n';
        BezpiecznyZapis::Zapisz(PlikWidzianego(), tekst, opcje);
    } catch (const EZapisPliku &e) {
        throw BladProgramu(QStringLiteral("Nie można zapamiętać, że komunikat o pobieraniu bez "
                                          "okna został ukryty (%1); po ponownym uruchomieniu "
                                          "programu pojawi się znowu")
                               .arg(e.Powod()),
                           e.Szczegoly());
    }
}

// When the run happened, for the line and for "newer": its end, else its start.
QDateTime CzasPrzebiegu(const Przebieg &p)
{
    return p.koniec.isValid() ? p.koniec : p.poczatek;
}

} // namespace

// --- the message line ---------------------------------------------------------------

void TfrmMain::PokazKomunikat(TLiniaKomunikatu::Rodzaj rodzaj, const QString &tekst, bool zOtworz,
                              const QString &podpowiedz)
{
    // A run's line that gives way to another message has been seen.
    ZapamietajPrzebieg();
    panKomunikat->Pokaz(rodzaj, tekst, zOtworz, podpowiedz);
}

void TfrmMain::ZapamietajPrzebieg()
{
    if (!pokazanyPrzebieg.isValid())
        return;
    const QDateTime czas = pokazanyPrzebieg;
    pokazanyPrzebieg = QDateTime();
    plikPrzebiegu.clear();
    if (!widzianyPrzebieg.isValid() || czas > widzianyPrzebieg)
        widzianyPrzebieg = czas;
    Komunikaty::Chron([&] { ZapiszWidziany(czas); });
}

void TfrmMain::PokazPrzebieg()
{
    QList<Przebieg> przebiegi;
    try {
        przebiegi = CzytajPrzebiegi(KatalogStanu());
    } catch (const BladProgramu &e) {
        // Told once, in the line: a box here would come back with every
        // activation of the window.
        if (!bladRekorduPokazany) {
            bladRekorduPokazany = true;
            PokazKomunikat(TLiniaKomunikatu::Rodzaj::Ostrzezenie, e.TekstUzytkownika(), false,
                           e.Szczegoly());
        }
        return;
    }
    if (przebiegi.isEmpty())
        return;
    const Przebieg &p = przebiegi.constLast();
    const QDateTime czas = CzasPrzebiegu(p);
    if (!czas.isValid() || czas == pokazanyPrzebieg)
        return;
    if (!widzianyPrzebieg.isValid())
        widzianyPrzebieg = CzytajWidziany();
    if (widzianyPrzebieg.isValid() && czas <= widzianyPrzebieg)
        return;

    const QString kiedy = czas.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    if (p.kod == 0) {
        // A run that ended well without a file has nothing to tell.
        if (p.plik.isEmpty())
            return;
        PokazKomunikat(TLiniaKomunikatu::Rodzaj::Informacja,
                       QStringLiteral("Pobrano bez okna ") + kiedy + QStringLiteral(": ") +
                           QFileInfo(p.plik).fileName(),
                       true, p.plik);
        plikPrzebiegu = p.plik;
    } else {
        const QString powod =
            p.komunikat.isEmpty() ? QStringLiteral("kod zakończenia %1").arg(p.kod) : p.komunikat;
        PokazKomunikat(TLiniaKomunikatu::Rodzaj::Ostrzezenie,
                       QStringLiteral("Pobieranie bez okna nie powiodło się (") + kiedy +
                           QStringLiteral("): ") + powod,
                       false);
    }
    pokazanyPrzebieg = czas;
}

void TfrmMain::UkryjKomunikat()
{
    ZapamietajPrzebieg();
    panKomunikat->hide();
}

void TfrmMain::btnOtworzClick()
{
    if (plikPrzebiegu.isEmpty())
        return;
    // The name the run recorded is the program's own: never followed
    // through a link put there since.
    OtworzRaport(plikPrzebiegu, Czytanie::Dowiazanie::Odrzuc);
    UkryjKomunikat();
}

// --- opening a saved report ---------------------------------------------------------

void TfrmMain::OtworzRaport1Click()
{
    QString katalog = frmKonfiguracja->ediKatalog->text();
    if (katalog.isEmpty() || !QFileInfo(katalog).isDir())
        katalog = DomyslnyKatalogZapisu(KatalogProgramu);
    const QString sciezka = WybierzPlikOtwarcia(OpenDialog1, katalog);
    if (sciezka.isEmpty())
        return;
    OtworzRaport(sciezka, Czytanie::Dowiazanie::Podazaj);
}

void TfrmMain::OtworzRaport(const QString &sciezka, Czytanie::Dowiazanie dowiazanie)
{
    if (timTransmisja->isActive()) {
        Komunikaty::Komunikat(QStringLiteral("Trwa odbieranie raportu z licznika. Otwórz plik, "
                                             "gdy odbiór się zakończy."));
        return;
    }
    // Read first: a file that is refused leaves the window as it was, and
    // nothing is asked about the report it holds.
    const QByteArray bajty = CzytajRaport(sciezka, dowiazanie);
    PrzedNowymRaportem();
    // A device that answered now would add to the opened report.
    if (timPytanie->isActive() || timTimeOut->isActive())
        ZakonczOdpytywanie();

    // As a received report at the end of its transmission: the same area,
    // the same analysis, the days in the status bar.
    memDane->Wyczysc();
    memDane->DodajBajty(bajty);
    DataOd.clear();
    DataDo.clear();
    UstawPanel(1, QString());
    UstawPanel(2, QString());
    const int polacz = IndeksObrazka(tobPolacz);
    StanDane();
    UstawObrazek(tobPolacz, polacz); // nothing came from the device
    // The report is on the disk already: closing or a new download asks
    // nothing, and "Zawsze" after mailing has nothing to copy.
    NiezapisaneDane = false;
    StanZapisany();
    memDane->KursorNaKoniec();
    AnalizujDane();
    UstawTytul(QFileInfo(sciezka).fileName());
}

void TfrmMain::PrzedNowymRaportem()
{
    // The window is busy with the user: the port is not handed over now.
    const QScopedValueRollback pytanie(pytanieOZapis, true);
    bool odlozyc = false;
    if (NiezapisaneDane) {
        if (Komunikaty::Pytanie(
                QStringLiteral("Czy chcesz zapisać dane przed odczytaniem nowej serii danych?"))) {
            tobZapiszClick();
            // The user wanted it saved but cancelled the dialog: the
            // report leaves the window, its journal is set aside.
            odlozyc = NiezapisaneDane;
        }
    }
    NiezapisaneDane = false;
    if (odlozyc)
        Komunikaty::Chron([&] { dziennik->Zachowaj(); });
    else
        dziennik->Usun();
}

void TfrmMain::UstawTytul(const QString &plik)
{
    QString tytul =
        QStringLiteral("Vestibulomat v") + WersjaPliku(QCoreApplication::applicationFilePath());
    if (!plik.isEmpty())
        tytul += QStringLiteral(" - ") + plik;
    setWindowTitle(tytul);
}

// --- the port for the timer's run ---------------------------------------------------

bool TfrmMain::ZwolnijPort()
{
    // While the device is polled, asked about or sending, the port is the
    // window's; the run then fails as busy, as without a window on the bus.
    if (pytanieOZapis || timPytanie->isActive() || timTimeOut->isActive() ||
        timTransmisja->isActive() || frmUwaga->isVisible())
        return false;
    if (!port->Connected())
        return true;
    // The report stays; the next "Połącz/Odbierz" opens the port again.
    port->SetConnected(false);
    if (port->Connected())
        return false;
    PokazKomunikat(TLiniaKomunikatu::Rodzaj::Informacja,
                   QStringLiteral("Port zwolniony dla pobierania bez okna."), false);
    return true;
}
