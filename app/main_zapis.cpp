// The report's file name, saving it and mailing it.

#include "main.h"

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
#include <QFileInfo>
#include <QLineEdit>

namespace {

// The automatic-save policy after mailing: the entries of cobZapis.
enum AutoZapis { azZawsze = 0, azPytaj = 1 };

QString BladZapisuPliku(const QString &sciezka)
{
    return QStringLiteral("Błąd podczas zapisu pliku: ") + sciezka;
}

} // namespace

QString TfrmMain::NazwaPliku()
{
    return ::NazwaPliku(frmKonfiguracja->ediNazwa->text(), DataOd, DataDo);
}

void TfrmMain::tobZapiszClick()
{
    const QString sciezka =
        WybierzPlikZapisu(SaveDialog1, frmKonfiguracja->ediKatalog->text(), NazwaPliku());
    if (sciezka.isEmpty())
        return;
    // A failure is thrown on to the caller: the close question and the
    // download keep the report marked unsaved, the button shows the error.
    ZapiszRaport(sciezka, memDane->Bajty());
    NiezapisaneDane = false;
    dziennik->Usun();
    StanZapisany();
}

void TfrmMain::tobMailClick()
{
    bool wyslano = true;

    const QString katalogTemp = KatalogTymczasowy(KatalogProgramu);
    const QString nazwa = NazwaPliku();
    QString zalacznik;
    try {
        zalacznik = ZapiszZalacznik(katalogTemp, nazwa, memDane->Bajty());
    } catch (const EZapisPliku &) {
        Komunikaty::Komunikat(BladZapisuPliku(SciezkaWKatalogu(katalogTemp, nazwa)));
        return;
    }

    const WiadomoscPoczty wiadomosc{QStringLiteral("Obiekt: ") + frmKonfiguracja->ediNazwa->text() +
                                        QStringLiteral(", Okres: ") + DataOd + u' ' + DataDo,
                                    QStringLiteral("W załączeniu raporty.."),
                                    PrzytnijTekst(frmKonfiguracja->ediMail->text()), zalacznik,
                                    QFileInfo(zalacznik).fileName()};
    if (WyslijPoczte(wiadomosc) != PocztaPrzekazana)
        wyslano = false;

    if (NiezapisaneDane) {
        switch (frmKonfiguracja->cobZapis->currentIndex()) {
        case azZawsze: {
            const QString cel = SciezkaWKatalogu(frmKonfiguracja->ediKatalog->text(),
                                                 QFileInfo(zalacznik).fileName());
            // Only a copy that arrived counts as a save; otherwise the user
            // learns of it and the report stays marked unsaved unless mailed.
            if (KopiujRaport(zalacznik, cel)) {
                NiezapisaneDane = false;
                dziennik->Usun();
                StanZapisany();
            } else {
                Komunikaty::Komunikat(BladZapisuPliku(cel));
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

    // The attachment stays in the temporary folder: the mail client may read
    // it after the hand-off has returned. The next start removes it.

    if (wyslano) {
        NiezapisaneDane = false;
        dziennik->Usun();
        StanWyslany();
    }
}
