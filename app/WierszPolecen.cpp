#include "WierszPolecen.h"

#include "BezpiecznyZapis.h"

#include "Analiza.h"
#include "Bledy.h"
#include "CPort.h"
#include "Dziennik.h"
#include "Komunikaty.h"
#include "Miejsca.h"
#include "Narzedzia.h"
#include "NazwaPliku.h"
#include "Pobieranie.h"
#include "Podlaczone.h"
#include "UjscieKonsoli.h"
#include "Ustawienia.h"
#include "Zapis.h"
#include "Zegar.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// More copies of one report than anybody keeps by hand.
constexpr int kNajwiecejNumerow = 9999;

void Wypisz(std::FILE *strumien, const QString &linia)
{
    WypiszLinie(strumien, linia);
}

// One line for the user and, when there is one, a second with the technical
// text (the errno).
void Komunikat(const QString &tekst, const QString &szczegoly = QString())
{
    WypiszKomunikat(tekst, szczegoly);
}

// The port's failure, as the window words it, in one line.
void BladPortu(const std::exception &e)
{
    const TekstyBledu opis = OpiszBlad(e);
    QString tekst = QStringLiteral("Błąd podczas połączenia. ") + opis.tekst;
    const auto *com = dynamic_cast<const EComPort *>(&e);
    if (com && com->SystemErrorCode() == EBUSY)
        tekst += QStringLiteral(" Port może też trzymać okno programu Vestibulomat, które z niego "
                                "pobierało: zamknij je przed pobieraniem bez okna.");
    Komunikat(tekst, opis.szczegoly);
}

// A missing port with adapters plugged in: what is there, for the one who
// sets the port. Never asks, and the setting stays.
void PokazPodlaczone(const QString &port)
{
    if (PortObecny(port))
        return;
    if (const QList<TComPortInfo> adaptery = PodlaczoneAdaptery(); !adaptery.isEmpty())
        Komunikat(ListaPodlaczonych(adaptery));
}

// What became of a report that was not saved: only what the disk holds is
// promised.
QString SkutekDlaDziennika(TDziennik::Stan stan)
{
    switch (stan) {
    case TDziennik::Stan::Caly:
        return QStringLiteral(" Odebrany raport czeka w dzienniku odbioru: okno programu "
                              "zaproponuje go przy następnym uruchomieniu.");
    case TDziennik::Stan::Niepelny:
        return QStringLiteral(
            " Raport nie został zapisany, a dziennik odbioru zawiera tylko jego część.");
    case TDziennik::Stan::Brak:
        break;
    }
    return QStringLiteral(" Raport nie został zapisany, a dziennika odbioru nie udało się "
                          "zapisać: raport przepadł.");
}

// "obiekt_od_do.txt", n = 2 -> "obiekt_od_do (2).txt".
QString NazwaZNumerem(const QString &nazwa, int n)
{
    if (n <= 1)
        return nazwa;
    const QString dopisek = QStringLiteral(" (%1)").arg(n);
    const QString txt = QStringLiteral(".txt");
    if (nazwa.endsWith(txt, Qt::CaseInsensitive))
        return nazwa.left(nazwa.size() - txt.size()) + dopisek + nazwa.right(txt.size());
    return nazwa + dopisek;
}

enum class Zajete { Wolne, TenSam, Inny, Specjalny };

// What lies under the name. A FIFO or a device is never opened to look, and
// a link is never followed.
Zajete Zbadaj(const QString &sciezka, const QByteArray &dane)
{
    QByteArray jest;
    try {
        switch (BezpiecznyZapis::CzytajZwyklyPlik(sciezka, jest, dane.size())) {
        case BezpiecznyZapis::Zastano::Brak:
            return Zajete::Wolne;
        case BezpiecznyZapis::Zastano::Inny:
            return Zajete::Specjalny;
        case BezpiecznyZapis::Zastano::Rozny:
            return Zajete::Inny;
        case BezpiecznyZapis::Zastano::ZwyklyPlik:
            return jest == dane ? Zajete::TenSam : Zajete::Inny;
        }
    } catch (const EZapisPliku &e) {
        if (e.KrokBledu() == BezpiecznyZapis::Krok::Sprawdzenie)
            throw;
    }
    return Zajete::Specjalny; // cannot be read: not known to hold this report
}

QString BezKoncowychUkosnikow(QString katalog)
{
    while (katalog.size() > 1 && katalog.endsWith(u'/'))
        katalog.chop(1);
    return katalog;
}

// One unattended download: settings, port, polling, the report, the save.
class PobieranieBezOkna
{
public:
    explicit PobieranieBezOkna(const Opcje &o)
        : m_opcje(o)
    {}

    int Uruchom();

private:
    void CzytajUstawienia();
    void PrzygotujDziennik();
    TDziennik::Stan DomknijDziennik();
    void Zakoncz(int kod);
    int Zapisz();

    Opcje m_opcje;
    QString m_obiekt;
    QString m_katalog;
    QString m_port;
    bool m_synchronizuj = false;

    std::unique_ptr<TDziennik> m_dziennik;
    std::unique_ptr<TPobieranie> m_silnik;
    QByteArray m_raport;
    int m_kod = -1;
    bool m_raportKompletny = false;
};

void PobieranieBezOkna::CzytajUstawienia()
{
    const QString katalogProgramu = QCoreApplication::applicationDirPath() + u'/';
    const Ustawienia::Wartosci w = Ustawienia::Czytaj(katalogProgramu);
    m_obiekt = w.obiekt;
    m_katalog = m_opcje.katalog ? *m_opcje.katalog : w.katalog;
    if (m_katalog.isEmpty())
        m_katalog = DomyslnyKatalogZapisu(katalogProgramu);
    m_port = w.port;
    m_synchronizuj = w.synchronizuj;
}

void PobieranieBezOkna::PrzygotujDziennik()
{
    // Journals earlier runs left behind are the window's to offer: this run
    // neither reads them nor needs anything they hold, and keeps its own.
    m_dziennik = std::make_unique<TDziennik>(KatalogStanu());
    QObject::connect(m_dziennik.get(), &TDziennik::bladZapisu,
                     [](const QString &tekst, const QString &szczegoly) {
                         Komunikat(QStringLiteral("Nie można zapisać dziennika odbioru (") + tekst +
                                       QStringLiteral("); pobieranie trwa dalej."),
                                   szczegoly);
                     });
}

TDziennik::Stan PobieranieBezOkna::DomknijDziennik()
{
    const TDziennik::Stan stan = m_dziennik->Domknij();
    // A failure of the journal is told before what it means for the report.
    QCoreApplication::sendPostedEvents();
    return stan;
}

void PobieranieBezOkna::Zakoncz(int kod)
{
    if (m_kod >= 0)
        return;
    m_kod = kod;
    m_silnik->ZakonczOdpytywanie();
    WylaczZegar(m_silnik->timTransmisja);
    QCoreApplication::exit(kod);
}

int PobieranieBezOkna::Uruchom()
{
    CzytajUstawienia();
    PrzygotujDziennik();

    m_silnik = std::make_unique<TPobieranie>();
    TPobieranie *s = m_silnik.get();
    s->dziennik = m_dziennik.get();
    s->Synchronizuj = [this] { return m_synchronizuj; };
    s->timTimeOut->setInterval(m_opcje.czekaj * 1000);

    try {
        s->port->SetPort(m_port);
        if (!s->Polacz()) {
            Komunikat(QStringLiteral("Błąd podczas połączenia. Nie udało się otworzyć portu ") +
                      m_port + u'.');
            return kwBladPortu;
        }
    } catch (const std::exception &e) {
        BladPortu(e);
        PokazPodlaczone(m_port);
        return kwBladPortu;
    }

    QObject::connect(s->timPytanie, &QTimer::timeout, [this, s] {
        try {
            s->Pytaj();
        } catch (const std::exception &e) {
            BladPortu(e);
            Zakoncz(kwBladPortu);
        }
    });
    QObject::connect(s->timTimeOut, &QTimer::timeout, [this] {
        Komunikat(QStringLiteral("Nie można nawiązać komunikacji! Licznik na porcie %1 nie "
                                 "odpowiedział w ciągu %2 s. Sprawdź, czy jest włączony "
                                 "i podłączony.")
                      .arg(m_port)
                      .arg(m_opcje.czekaj));
        Zakoncz(kwBrakOdpowiedzi);
    });
    s->port->OnRxChar = [this, s](TCustomComPort *, int count) {
        if (m_kod >= 0)
            return;
        try {
            const QByteArray kawalek = s->Czytaj(count);
            m_raport += kawalek;
            s->DoDziennika(kawalek, m_raport, m_obiekt);
            s->Odebrano();
        } catch (const std::exception &e) {
            BladPortu(e);
            Zakoncz(kwBladPortu);
        }
    };
    s->port->OnDeviceLost = [this](TCustomComPort *, const EComPort &e) {
        QString tekst = e.TekstUzytkownika();
        if (!m_raport.isEmpty()) {
            const TDziennik::Stan stan = DomknijDziennik();
            if (stan == TDziennik::Stan::Caly)
                tekst += QStringLiteral(" Raport nie został zapisany.");
            tekst += SkutekDlaDziennika(stan);
        }
        Komunikat(tekst, e.Szczegoly());
        Zakoncz(kwBladPortu);
    };
    QObject::connect(s->timTransmisja, &QTimer::timeout, [this, s] {
        s->KoniecTransmisji();
        m_raportKompletny = true;
        Zakoncz(kwZapisano);
    });

    s->Odpytuj();
    QCoreApplication::exec();

    // The port is held only while downloading; bytes arriving after the
    // report has ended belong to no report of this run.
    s->port->OnRxChar = {};
    s->port->OnDeviceLost = {};
    try {
        s->port->SetConnected(false);
    } catch (const std::exception &e) {
        BladPortu(e);
    }
    return m_raportKompletny ? Zapisz() : m_kod;
}

int PobieranieBezOkna::Zapisz()
{
    QString od;
    QString do_;
    AnalizujRaport(m_raport, od, do_);
    const QString nazwa = NazwaPliku(m_obiekt, od, do_);
    const QString katalog = BezKoncowychUkosnikow(m_katalog);
    QString sciezka = SciezkaWKatalogu(katalog, nazwa);
    try {
        // Another program may take the free name between the look and the
        // write: the write never replaces anything, and the look starts again.
        for (int proba = 0;; ++proba) {
            const MiejsceRaportu m = WybierzMiejsce(katalog, nazwa, m_raport);
            sciezka = m.sciezka;
            if (proba == 0)
                for (const QString &zajete : m.zajeteInaczej)
                    Komunikat(
                        QStringLiteral("Nazwę \"%1\" zajmuje dowiązanie, plik specjalny albo plik, "
                                       "którego nie można odczytać; raport dostaje inną nazwę.")
                            .arg(zajete));
            if (m.juzZapisany) {
                Komunikat(QStringLiteral("Ten sam raport jest już zapisany w pliku \"%1\"; nic nie "
                                         "zapisano.")
                              .arg(sciezka));
                break;
            }
            if (ZapiszNowyRaport(sciezka, m_raport))
                break;
            if (proba >= 8)
                throw EZapisPliku(BezpiecznyZapis::Krok::Utworzenie, sciezka, EEXIST, QString(),
                                  SzczegolyBleduSystemu(EEXIST));
        }
    } catch (const EZapisPliku &e) {
        Komunikat(TekstBleduZapisu(e, sciezka) + u'.' + SkutekDlaDziennika(DomknijDziennik()),
                  e.Szczegoly());
        return kwBladZapisu;
    }
    // The report is on the disk: its journal is no longer needed.
    m_dziennik->Usun();
    Wypisz(stdout, sciezka);
    return kwZapisano;
}

} // namespace

int UruchomWierszPolecen(int argc, char **argv)
{
    // Read before the application takes out the arguments it knows itself.
    const QStringList argumenty = Argumenty(argc, argv);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vestibulomat"));
    // A file-size limit must fail a write (EFBIG), which is reported, instead
    // of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // No box can open here: whatever would ask or tell goes to stderr.
    UjscieKonsoli konsola;
    const Komunikaty::UstawioneUjscie ujscie(konsola);

    const Opcje o = CzytajOpcje(argumenty);
    if (const Odpowiedz odp = OdpowiedzNaOpcje(o); odp.kod >= 0) {
        if (!odp.blad.isEmpty())
            Komunikat(odp.blad);
        const QByteArray wyjscie = odp.wyjscie.toUtf8();
        std::fwrite(wyjscie.constData(), 1, std::size_t(wyjscie.size()), stdout);
        return odp.kod;
    }
    return PobieranieBezOkna(o).Uruchom();
}

MiejsceRaportu WybierzMiejsce(const QString &katalog, const QString &nazwa, const QByteArray &dane)
{
    MiejsceRaportu m;
    for (int n = 1; n <= kNajwiecejNumerow; ++n) {
        m.sciezka = SciezkaWKatalogu(katalog, NazwaZNumerem(nazwa, n));
        switch (Zbadaj(m.sciezka, dane)) {
        case Zajete::Wolne:
            return m;
        case Zajete::TenSam:
            m.juzZapisany = true;
            return m;
        case Zajete::Specjalny:
            m.zajeteInaczej.append(m.sciezka);
            break;
        case Zajete::Inny:
            break;
        }
    }
    throw EZapisPliku(BezpiecznyZapis::Krok::Utworzenie, m.sciezka, EEXIST, QString(),
                      SzczegolyBleduSystemu(EEXIST));
}
