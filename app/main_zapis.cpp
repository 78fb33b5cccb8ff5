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
#include "Zapis.h"
#include "konfiguracja.h"

#include <QComboBox>
#include <QLineEdit>

#include <cerrno>

namespace {

// The automatic-save policy after mailing: the entries of cobZapis.
enum AutoZapis { azZawsze = 0, azPytaj = 1 };

// "Błąd podczas zapisu pliku: " and the path, the system's reason when it
// has a Polish one, and what became of the report.
void PokazBladZapisuPliku(const EZapisPliku &e, const QString &sciezka, const QString &skutek)
{
    QString tekst = QStringLiteral("Błąd podczas zapisu pliku: ") + sciezka;
    if (const QString powod = e.Powod(); !powod.isEmpty())
        tekst += QStringLiteral(" (") + powod + u')';
    Komunikaty::Komunikat(tekst + QStringLiteral(". ") + skutek, e.Szczegoly());
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
    bool wyslano = true;

    // Each send gets a folder of its own: a compose window still open from an
    // earlier send keeps its file unchanged.
    const QString katalogWysylki = NowyKatalogWysylki(KatalogTymczasowy(KatalogProgramu));
    const QString nazwa = NazwaPliku();
    const QString nazwaZalacznika = NazwaZalacznika(nazwa);
    QString zalacznik;
    try {
        zalacznik = ZapiszZalacznik(katalogWysylki, nazwaZalacznika, memDane->Bajty());
    } catch (const EZapisPliku &e) {
        PokazBladZapisuPliku(e, SciezkaWKatalogu(katalogWysylki, nazwaZalacznika),
                             QStringLiteral("Raport nie został wysłany."));
        return;
    }

    const WiadomoscPoczty wiadomosc{QStringLiteral("Obiekt: ") + frmKonfiguracja->ediNazwa->text() +
                                        QStringLiteral(", Okres: ") + DataOd + u' ' + DataDo,
                                    QStringLiteral("W załączeniu raporty.."),
                                    PrzytnijTekst(frmKonfiguracja->ediMail->text()), zalacznik,
                                    nazwaZalacznika};
    if (WyslijPoczte(wiadomosc) != PocztaPrzekazana)
        wyslano = false;

    if (NiezapisaneDane) {
        switch (frmKonfiguracja->cobZapis->currentIndex()) {
        case azZawsze: {
            // The copy is a save: it keeps the report's exact name.
            const QString cel = SciezkaWKatalogu(frmKonfiguracja->ediKatalog->text(), nazwa);
            // Only a copy that arrived (file and folder on the disk) counts
            // as a save; otherwise the user learns why (a link or a pipe
            // planted under the name is named as such) and the report stays
            // marked unsaved unless mailed.
            try {
                KopiujRaport(zalacznik, cel);
                NiezapisaneDane = false;
                dziennik->Usun();
                StanZapisany();
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

    if (wyslano) {
        NiezapisaneDane = false;
        dziennik->Usun();
        StanWyslany();
    }
}
