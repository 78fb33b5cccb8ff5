// The report's file name, saving it and mailing it.

#include "main.h"

#include "Bledy.h"
#include "Cp1250.h"
#include "Dziennik.h"
#include "Komunikaty.h"
#include "Miejsca.h"
#include "NazwaPliku.h"
#include "Poczta.h"
#include "RaportView.h"
#include "WierszPolecen.h"
#include "Zapis.h"
#include "konfiguracja.h"

#include <QComboBox>
#include <QLineEdit>

#include <cerrno>
#include <memory>
#include <optional>

namespace {

// The automatic-save policy after mailing: the entries of cobZapis.
enum AutoZapis { azZawsze = 0, azPytaj = 1 };

// The failed write and what became of the report.
void PokazBladZapisuPliku(const EZapisPliku &e, const QString &sciezka, const QString &skutek)
{
    Komunikaty::Komunikat(TekstBleduZapisu(e, sciezka) + QStringLiteral(". ") + skutek,
                          e.Szczegoly());
}

// Why the configured save folder cannot take the report, and what to do.
QString TekstBleduKatalogu(const QString &katalog, int kod)
{
    QString powod;
    if (kod == ENOENT)
        powod = QStringLiteral("Katalog zapisu %1 nie istnieje.").arg(katalog);
    else if (kod == ENOTDIR)
        powod = QStringLiteral("Katalog zapisu %1 nie jest katalogiem.").arg(katalog);
    else
        powod = QStringLiteral("Nie można zapisywać w katalogu zapisu %1: %2.")
                    .arg(katalog, OpisBleduSystemu(kod));
    return powod + QStringLiteral(" Wybierz inny katalog w oknie zapisu, a na stałe zmień go w "
                                  "oknie Konfiguracja, na karcie „Zapisywanie”");
}

// The "Zawsze" copy of the attachment: under the report's name in katalog,
// replacing the user's own file there. Another user's file under that name
// is left alone; the copy then goes under the first free " (2)", " (3)" ...
// name, or counts as saved where a file of the user's holds these bytes
// already. Returns the file that holds the report.
QString KopiaZawsze(const QString &zalacznik, const QString &katalog, const QString &nazwa,
                    const QByteArray &bajty)
{
    try {
        const QString cel = SciezkaWKatalogu(katalog, nazwa);
        KopiujRaport(zalacznik, cel);
        return cel;
    } catch (const EPlikObcy &) {
    }
    // Another program may take the free name between the look and the write.
    for (int proba = 0; proba < 8; ++proba) {
        const MiejsceRaportu m = WybierzMiejsce(katalog, nazwa, bajty);
        if (m.juzZapisany || ZapiszNowyRaport(m.sciezka, bajty))
            return m.sciezka;
    }
    throw EZapisPliku(BezpiecznyZapis::Krok::Utworzenie, SciezkaWKatalogu(katalog, nazwa), EEXIST);
}

} // namespace

QString TfrmMain::NazwaPliku()
{
    return ::NazwaPliku(frmKonfiguracja->ediNazwa->text(), DataOd, DataDo);
}

void TfrmMain::tobZapiszClick()
{
    // A configured folder that is gone or cannot be written is named before
    // the dialog, which then starts in the default save folder instead.
    QString katalog = frmKonfiguracja->ediKatalog->text();
    if (!katalog.isEmpty()) {
        if (const int kod = BladKataloguZapisu(katalog)) {
            Komunikaty::PokazBlad(TekstBleduKatalogu(katalog, kod), SzczegolyBleduSystemu(kod));
            katalog = DomyslnyKatalogZapisu(KatalogProgramu);
        }
    }
    const QString sciezka = WybierzPlikZapisu(SaveDialog1, katalog, NazwaPliku());
    if (sciezka.isEmpty())
        return;
    // A failure is thrown on to the caller: the close question and the
    // download keep the report marked unsaved, the button shows the error.
    ZapiszRaport(sciezka, memDane->Bajty());
    NiezapisaneDane = false;
    // Only now: the saved file and its folder are on the disk.
    dziennik->Usun();
    StanZapisany();
}

void TfrmMain::tobMailClick()
{
    // The address is checked before anything is written or started: an
    // edited settings file must not send the report anywhere else.
    const QString adres = PrzytnijTekst(frmKonfiguracja->ediMail->text());
    if (const QString blad = KomunikatBleduAdresu(adres); !blad.isEmpty()) {
        Komunikaty::PokazBlad(blad + QStringLiteral(" Popraw go w oknie Konfiguracja, na karcie "
                                                    "„Wysyłanie”"));
        return;
    }

    bool wyslano = true;

    // Each send gets a folder of its own: a compose window still open from an
    // earlier send keeps its file unchanged.
    const QString katalogWysylki = NowyKatalogWysylki(KatalogTymczasowy(KatalogProgramu));
    const QString nazwa = NazwaPliku();
    const QString nazwaZalacznika = NazwaZalacznika(nazwa);
    const QByteArray bajty = memDane->Bajty();
    QString zalacznik;
    try {
        zalacznik = ZapiszZalacznik(katalogWysylki, nazwaZalacznika, bajty);
    } catch (const EZapisPliku &e) {
        PokazBladZapisuPliku(e, SciezkaWKatalogu(katalogWysylki, nazwaZalacznika),
                             QStringLiteral("Raport nie został wysłany."));
        return;
    }

    const QString obiekt = frmKonfiguracja->ediNazwa->text();
    const WiadomoscPoczty wiadomosc{
        QStringLiteral("Obiekt: ") + obiekt + QStringLiteral(", Okres: ") + DataOd + u' ' + DataDo,
        QStringLiteral("W załączeniu raporty.."), adres, zalacznik, nazwaZalacznika};
    // How a hand-off still running after the wait ends; it may end while
    // this command still waits in the save dialog.
    auto koniec = std::make_shared<std::optional<int>>();
    const QString opis =
        QStringLiteral("Raport obiektu „%1” za okres %2 %3").arg(obiekt, DataOd, DataDo);
    const int wynik = WyslijPoczte(wiadomosc, this, [this, koniec, bajty, opis](int status) {
        *koniec = status;
        Komunikaty::Chron([&] { PocztaZakonczona(bajty, opis, status); });
    });
    if (!PocztaOddana(wynik))
        wyslano = false;

    if (NiezapisaneDane) {
        switch (frmKonfiguracja->cobZapis->currentIndex()) {
        case azZawsze: {
            // The copy is a save: it keeps the report's exact name, unless
            // that name holds another user's file.
            const QString katalogZapisu = frmKonfiguracja->ediKatalog->text();
            const QString cel = SciezkaWKatalogu(katalogZapisu, nazwa);
            // Only a copy that arrived (file and folder on the disk) counts
            // as a save; otherwise the user learns why (a link or a pipe
            // planted under the name is named as such) and the report stays
            // marked unsaved unless mailed.
            try {
                const QString zapisany = KopiaZawsze(zalacznik, katalogZapisu, nazwa, bajty);
                NiezapisaneDane = false;
                dziennik->Usun();
                StanZapisany();
                if (zapisany != cel)
                    UstawPanel(3, QStringLiteral("Raport zapisano jako „%1”: „%2” należy do "
                                                 "innego użytkownika")
                                      .arg(zapisany, nazwa));
            } catch (const EZapisPliku &e) {
                PokazBladZapisuPliku(e, cel,
                                     QStringLiteral("Raport nie został zapisany; zapisz go "
                                                    "przyciskiem \"Zapisz\"."));
            }
            break;
        }
        case azPytaj:
            // A failed save ends the command here, before the mail is marked.
            tobZapiszClick();
            break;
        default:
            break;
        }
    }

    // The attachment stays: the mail client reads it only when the message
    // is sent or kept as a draft. A start removes it once it is a week old.

    // A failure the client reported meanwhile was shown already.
    if (koniec->has_value() && **koniec != 0)
        wyslano = false;
    if (wyslano) {
        NiezapisaneDane = false;
        // The journal stays while the client may still fail: the report can
        // then be mailed or saved again after a crash too.
        if (wynik == PocztaWToku && !koniec->has_value())
            raportyWPoczcie.append(bajty);
        else
            dziennik->Usun();
        StanWyslany();
    }
}

void TfrmMain::PocztaZakonczona(const QByteArray &bajty, const QString &opis, int status)
{
    raportyWPoczcie.removeOne(bajty);
    // The same report is still shown (a new download replaces the bytes).
    const bool tenSam = memDane->Bajty() == bajty;
    if (status == 0) {
        if (tenSam && !NiezapisaneDane)
            dziennik->Usun();
        return;
    }
    // The user saw the report marked as mailed; unless it was saved, it is
    // again a report to deal with, and closing asks about it.
    if (tenSam) {
        if (IndeksObrazka(tobZapisz) != obrZapisany)
            NiezapisaneDane = true;
        UstawObrazek(tobMail, obrMail);
    }
    Komunikaty::PokazBlad(
        QStringLiteral("Program pocztowy zgłosił błąd (kod %1); raport mógł nie zostać wysłany. ")
            .arg(status) +
        opis +
        QStringLiteral(". Sprawdź wiadomość w programie pocztowym i w razie potrzeby wyślij "
                       "raport jeszcze raz"));
}
