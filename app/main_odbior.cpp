// The download as the window shows it: the dialogue with the device itself
// (polling, taking in chunks, the quiet that ends a report) is TPobieranie's;
// the handlers here drive it and keep the window, the progress window, the
// retry question and the journal in step with it.

#include "main.h"

#include "Analiza.h"
#include "CPort.h"
#include "Dziennik.h"
#include "Komunikaty.h"
#include "Miejsca.h"
#include "Pobieranie.h"
#include "Postep.h"
#include "PowrotUrzadzenia.h"
#include "RaportView.h"
#include "Uwaga.h"
#include "Zegar.h"
#include "konfiguracja.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTimer>

#include <optional>
#include <vector>

namespace {

// The application-wide hourglass. Set and restored as one state, not as a
// stack: the progress window may be shown several times during one reception.
void KursorKlepsydra()
{
    if (QApplication::overrideCursor())
        QApplication::changeOverrideCursor(Qt::WaitCursor);
    else
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

void KursorNormalny()
{
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

bool Podglad()
{
    return frmKonfiguracja->chbPodglad->isChecked();
}

} // namespace

void TfrmMain::PokazBladPolaczenia(const std::exception &e)
{
    // The first line is the message users know; the next says what went
    // wrong and what to do. The technical text goes into the details.
    const TekstyBledu opis = OpiszBlad(e);
    Komunikaty::Komunikat(QStringLiteral("Błąd podczas połączenia\n") + opis.tekst +
                              PodlaczoneDoKomunikatu(),
                          opis.szczegoly);
}

void TfrmMain::tobPolaczClick()
{
    try {
        UkryjKomunikat();
        PrzedPolaczeniem();
        if (!pobieranie->Polacz()) {
            StanBezPolaczenia();
            return;
        }
        powrot->Otwarty(port->Port());

        PrzedNowymRaportem();

        StanPolaczony();
        UstawPanel(1, QString());
        UstawPanel(2, QString());
        DataOd.clear();
        DataDo.clear();
        memDane->setVisible(Podglad());
        memDane->Wyczysc();
        UstawTytul();

        // Timers already running keep their countdowns: a second click while
        // polling does not push the retry question further away.
        pobieranie->Odpytuj();
        frmPasek->gauPostep->UstawMaksimum(100);
    } catch (const std::exception &e) {
        StanBezPolaczenia();
        PokazBladPolaczenia(e);
    }
}

void TfrmMain::timPytanieTimer()
{
    try {
        pobieranie->Pytaj();
    } catch (...) {
        // Polling has ended before the error box opens (its loop keeps
        // timers running), so the user sees one box; the port is left
        // closed so that the next download opens it afresh.
        ZakonczOdpytywanie();
        Komunikaty::Chron([&] { port->SetConnected(false); });
        throw;
    }
}

void TfrmMain::ZakonczOdpytywanie()
{
    pobieranie->ZakonczOdpytywanie();
    if (frmUwaga->isVisible())
        frmUwaga->done(TfrmUwaga::Rezygnuj);
    StanBezPolaczenia();
}

void TfrmMain::portUtracony(const EComPort &e)
{
    // The port has closed itself. A report that was arriving is analysed as
    // far as it came (the end-of-transmission timer still runs); polling ends.
    ZakonczOdpytywanie();
    powrot->Utracony();
    QString tekst = e.TekstUzytkownika();
    if (!memDane->Bajty().isEmpty())
        tekst += QStringLiteral(" Dane odebrane do tej chwili zostały zachowane.");
    Komunikaty::PokazBlad(tekst, e.Szczegoly());
}

void TfrmMain::portRxChar(int count)
{
    QByteArray kawalek = pobieranie->Czytaj(count);
    const bool koniec = pobieranie->Przytnij(kawalek, memDane->Bajty().size());
    memDane->DodajBajty(kawalek);
    ZapiszWDzienniku(kawalek);
    if (!koniec) {
        OdbiorDanych();
        return;
    }
    // A line that never goes quiet: the port is let go so that no more of it
    // comes in, and the window keeps and analyses what it holds.
    NiezapisaneDane = true;
    StanDane();
    ZakonczOdpytywanie();
    Komunikaty::Chron([&] { port->SetConnected(false); });
    timTransmisjaTimer();
    throw BladProgramu(TPobieranie::KomunikatPrzepelnienia());
}

void TfrmMain::ZapiszWDzienniku(const QByteArray &kawalek)
{
    // The first chunk of a report, or the first after it was saved: the
    // journal holds everything the window holds.
    pobieranie->DoDziennika(kawalek, memDane->Bajty(), frmKonfiguracja->ediNazwa->text());
}

void TfrmMain::OdbiorDanych()
{
    // Polling ends with the first chunk; every chunk starts a fresh half
    // second of quiet.
    pobieranie->Odebrano();

    if (frmUwaga->isVisible())
        frmUwaga->done(TfrmUwaga::Dane);

    if (!Podglad()) {
        TMiernik *g = frmPasek->gauPostep;
        if (!frmPasek->isVisible()) {
            frmPasek->PokazNapis(QStringLiteral("Proszę czekać trwa odbieranie danych!"));
            memDane->hide();
            KursorKlepsydra();
            g->UstawPostep(0);
            g->PokazProcent(false);
            frmPasek->show();
        }
        // The bar shows activity, not a share of the report: it fills once
        // per hundred chunks and starts again.
        g->UstawPostep(g->Postep() >= 100 ? 0 : g->Postep() + 1);
    }

    NiezapisaneDane = true;
    StanDane();
    memDane->KursorNaKoniec();
}

void TfrmMain::timTimeOutTimer()
{
    WylaczZegar(timTimeOut);
    StanBezPolaczenia();
    // Polling goes on while the question is shown; data arriving meanwhile
    // ends the dialog with the result Dane.
    switch (frmUwaga->exec()) {
    case TfrmUwaga::Ponow:
        tobPolaczClick();
        break;
    case TfrmUwaga::Dane:
        break;
    default:
        pobieranie->ZakonczOdpytywanie();
        StanBezPolaczenia();
        break;
    }
}

void TfrmMain::timTransmisjaTimer()
{
    pobieranie->KoniecTransmisji();
    TMiernik *g = frmPasek->gauPostep;
    g->UstawPostep(100);
    g->repaint();
    // The analysis keeps the event loop busy until it ends, so the label is
    // painted now or not at all.
    frmPasek->PokazNapis(QStringLiteral("Proszę czekać trwa analizowanie danych!"));
    g->UstawPostep(0);
    g->UstawMaksimum(memDane->LiczbaLinii());
    g->PokazProcent(true);
    AnalizujDane();
}

void TfrmMain::AnalizujDane()
{
    TMiernik *g = frmPasek->gauPostep;
    if (AnalizujRaport(memDane->Bajty(), DataOd, DataDo,
                       [g](int linia) { g->UstawPostep(linia); })) {
        UstawPanel(1, QStringLiteral("Od: ") + DataOd);
        UstawPanel(2, QStringLiteral("Do: ") + DataDo);
    }
    frmPasek->close();
    memDane->show();
    KursorNormalny();
}

void TfrmMain::PrzywrocRaport()
{
    // A folder of the program's own that another user owns is named once;
    // the window goes on without what it holds.
    for (const FolderWlasny &f : ObceFolderyProgramu(KatalogProgramu))
        Komunikaty::PokazBlad(f.Komunikat(), f.Szczegoly());
    // Every journal earlier runs left, oldest first, until the user takes
    // one back; the others wait for the next start.
    std::vector<Czytanie::BladCzytania> odrzucone;
    const std::vector<OpisDziennika> lista = dziennik->Pozostawione(&odrzucone);
    const auto zwolnij = qScopeGuard([this] { dziennik->ZwolnijPozostawione(); });
    for (const Czytanie::BladCzytania &e : odrzucone)
        Komunikaty::PokazBlad(e.TekstUzytkownika(), e.Szczegoly());
    std::optional<ZawartoscDziennika> z;
    for (const OpisDziennika &o : lista) {
        QString pytanie = QStringLiteral("Znaleziono niezapisany raport z ") +
                          o.naglowek.poczatek.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        if (!o.naglowek.obiekt.isEmpty())
            pytanie += QStringLiteral(" (obiekt: ") + o.naglowek.obiekt + u')';
        if (o.niepelny)
            pytanie += QStringLiteral(", ale niepełny: dziennik odbioru zawiera tylko jego część");
        pytanie += QStringLiteral(". Przywrócić go?");
        if (!Komunikaty::Pytanie(pytanie)) {
            // Not deleted: the file stays in the state folder for 30 days.
            if (!Komunikaty::Chron([&] { dziennik->Odloz(o); }))
                return;
            continue;
        }
        z = dziennik->Przywroc(o);
        break;
    }
    if (!z || z->bajty.isEmpty())
        return;
    // The report is back as the download left it; its journal stays until
    // it is saved, mailed or given up.
    memDane->Wyczysc();
    memDane->DodajBajty(z->bajty);
    DataOd.clear();
    DataDo.clear();
    UstawPanel(1, QString());
    UstawPanel(2, QString());
    NiezapisaneDane = true;
    StanDane();
    memDane->KursorNaKoniec();
    AnalizujDane();
}
