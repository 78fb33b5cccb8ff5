#include "WierszPolecen.h"

#include "BezpiecznyZapis.h"

#include "Analiza.h"
#include "Bledy.h"
#include "CPort.h"
#include "Dziennik.h"
#include "FolderWlasny.h"
#include "Komunikaty.h"
#include "Miejsca.h"
#include "Narzedzia.h"
#include "NazwaPliku.h"
#include "Pobieranie.h"
#include "Podlaczone.h"
#include "Powiadomienie.h"
#include "Przebiegi.h"
#include "UjscieKonsoli.h"
#include "Ustawienia.h"
#include "Woluminy.h"
#include "Zapis.h"
#include "Zegar.h"
#include "ZwolnieniePortu.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <new>
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

    // For the run's record: the save folder and the file saved (empty when
    // none was).
    const QString &KatalogZapisu() const { return m_katalog; }
    const QString &Zapisany() const { return m_zapisany; }
    // The file system the save folder is known to lie on.
    const QString &SystemPlikowKatalogu() const { return m_systemPlikow; }

private:
    bool CzytajUstawienia();
    bool SprawdzFoldery();
    bool SprawdzKatalog();
    bool Otworz(TPobieranie *s);
    void DostarczPozostawione();
    void PrzerwijOdbior(const QString &powod, int kod);
    void NaSygnal();
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
    QString m_zapisany;
    QString m_systemPlikow;
    int m_kod = -1;
    bool m_raportKompletny = false;
};

// SIGTERM (a timer's time limit, a shutdown), SIGINT and SIGHUP end a run
// cleanly: the handler only writes the signal's number into a pipe, and the
// run, woken by it in its event loop, releases the port and keeps what
// arrived in the journal.
int g_sygnaly[2] = {-1, -1};

void ZapiszSygnal(int numer)
{
    const int blad = errno;
    const unsigned char n = static_cast<unsigned char>(numer);
    [[maybe_unused]] const ssize_t w = ::write(g_sygnaly[1], &n, 1);
    errno = blad;
}

bool ObsluzSygnaly()
{
    if (g_sygnaly[0] < 0 && ::pipe2(g_sygnaly, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction sa
    {
    };
    sa.sa_handler = ZapiszSygnal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int numer : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(numer, &sa, nullptr);
    return true;
}

const char *NazwaSygnalu(int numer)
{
    switch (numer) {
    case SIGINT:
        return "SIGINT";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "SIGTERM";
    }
}

bool PobieranieBezOkna::CzytajUstawienia()
{
    const QString katalogProgramu = QCoreApplication::applicationDirPath() + u'/';
    const Ustawienia::Wartosci w = Ustawienia::Czytaj(katalogProgramu);
    // Its reason is told already. Nobody is there to see a run on defaults
    // go to another port and another folder: the run ends here.
    if (!w.bladPliku.isEmpty())
        return false;
    m_obiekt = w.obiekt;
    m_katalog = m_opcje.katalog ? *m_opcje.katalog : w.katalog;
    if (m_katalog.isEmpty())
        m_katalog = DomyslnyKatalogZapisu(katalogProgramu);
    m_port = w.port;
    m_synchronizuj = w.synchronizuj;
    return true;
}

bool PobieranieBezOkna::Otworz(TPobieranie *s)
{
    try {
        return s->Polacz();
    } catch (const EComPort &e) {
        // A window of this user left open after its download holds the
        // port: it is asked over the session bus to let go of it, once.
        if (e.SystemErrorCode() != EBUSY || !PoprosOknoOPort())
            throw;
        Komunikat(QStringLiteral("Okno programu Vestibulomat zwolniło port %1 dla pobierania bez "
                                 "okna.")
                      .arg(m_port));
        return s->Polacz();
    }
}

bool PobieranieBezOkna::SprawdzFoldery()
{
    // The state folder holds the journal and the run's record: one that
    // another user owns could take the report, so it is not used at all.
    // The same for the per-user settings and attachment folders.
    const QList<FolderWlasny> obce =
        ObceFolderyProgramu(QCoreApplication::applicationDirPath() + u'/');
    for (const FolderWlasny &obcy : obce)
        Komunikaty::PokazBlad(obcy.Komunikat(), obcy.Szczegoly());
    if (!obce.isEmpty())
        return false;
    const FolderWlasny stan = UtworzFolderWlasny(KatalogStanu());
    if (stan.obcy) {
        Komunikaty::PokazBlad(stan.Komunikat(), stan.Szczegoly());
        return false;
    }
    return true;
}

void PobieranieBezOkna::PrzerwijOdbior(const QString &powod, int kod)
{
    QString tekst = powod;
    if (!m_raport.isEmpty())
        tekst += SkutekDlaDziennika(DomknijDziennik());
    Komunikat(tekst);
    Zakoncz(kod);
}

void PobieranieBezOkna::NaSygnal()
{
    unsigned char numer = 0;
    if (::read(g_sygnaly[0], &numer, 1) != 1 || m_kod >= 0)
        return;
    PrzerwijOdbior(
        QStringLiteral("Pobieranie przerwano sygnałem %1.").arg(QLatin1String(NazwaSygnalu(numer))),
        128 + numer);
}

void PobieranieBezOkna::PrzygotujDziennik()
{
    // This run's own journal; those earlier runs left behind are delivered
    // (DostarczPozostawione) or offered by the window, never taken over.
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
    // The whole run's time counts from its start.
    QElapsedTimer odStartu;
    odStartu.start();
    if (!CzytajUstawienia() || !SprawdzFoldery())
        return kwBladUstawien;
    if (!SprawdzKatalog())
        return kwBladZapisu;
    DostarczPozostawione();
    PrzygotujDziennik();

    m_silnik = std::make_unique<TPobieranie>();
    TPobieranie *s = m_silnik.get();
    s->dziennik = m_dziennik.get();
    s->bezOkna = true;
    s->Synchronizuj = [this] { return m_synchronizuj; };
    s->timTimeOut->setInterval(m_opcje.czekaj * 1000);

    try {
        s->port->SetPort(m_port);
        if (!Otworz(s)) {
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
            QByteArray kawalek = s->Czytaj(count);
            const bool pelny = s->Przytnij(kawalek, m_raport.size());
            m_raport += kawalek;
            s->DoDziennika(kawalek, m_raport, m_obiekt);
            if (pelny) {
                PrzerwijOdbior(TPobieranie::KomunikatPrzepelnienia(), kwBezKonca);
                return;
            }
            s->Odebrano();
        } catch (const std::bad_alloc &) {
            PrzerwijOdbior(QStringLiteral("Zabrakło pamięci operacyjnej podczas odbioru raportu; "
                                          "odbiór przerwano."),
                           kwBezKonca);
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

    // A device, or a noisy line, that never goes quiet must not keep a
    // timer's run going for ever.
    QTimer najdluzej;
    najdluzej.setSingleShot(true);
    najdluzej.setTimerType(Qt::PreciseTimer);
    QObject::connect(&najdluzej, &QTimer::timeout, [this] {
        PrzerwijOdbior(QStringLiteral("Licznik na porcie %1 nie zakończył raportu w ciągu %2 s "
                                      "(--najdluzej); pobieranie przerwano.")
                           .arg(m_port)
                           .arg(m_opcje.najdluzej),
                       kwBezKonca);
    });
    najdluzej.start(int(qMax<qint64>(0, qint64(m_opcje.najdluzej) * 1000 - odStartu.elapsed())));

    std::unique_ptr<QSocketNotifier> sygnaly;
    if (ObsluzSygnaly()) {
        sygnaly = std::make_unique<QSocketNotifier>(g_sygnaly[0], QSocketNotifier::Read);
        QObject::connect(sygnaly.get(), &QSocketNotifier::activated, [this] { NaSygnal(); });
    }

    s->Odpytuj();
    QCoreApplication::exec();
    najdluzej.stop();

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

// Saves bajty under the report's name in katalog by the never-overwrite
// rules: a name holding another report gets " (2)", " (3)"...; the same
// report already there is not written again. Returns the file that holds
// the report now. Throws EZapisPliku; sciezka then names the file tried.
QString ZapiszRaportWKatalogu(const QString &katalog, const QString &obiekt,
                              const QByteArray &bajty, QString &sciezka)
{
    QString od;
    QString do_;
    AnalizujRaport(bajty, od, do_);
    const QString nazwa = NazwaPliku(obiekt, od, do_);
    sciezka = SciezkaWKatalogu(katalog, nazwa);
    // Another program may take the free name between the look and the
    // write: the write never replaces anything, and the look starts again.
    for (int proba = 0;; ++proba) {
        const MiejsceRaportu m = WybierzMiejsce(katalog, nazwa, bajty);
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
            return sciezka;
        }
        if (ZapiszNowyRaport(sciezka, bajty))
            return sciezka;
        if (proba >= 8)
            throw EZapisPliku(BezpiecznyZapis::Krok::Utworzenie, sciezka, EEXIST, QString(),
                              SzczegolyBleduSystemu(EEXIST));
    }
}

int PobieranieBezOkna::Zapisz()
{
    const QString katalog = BezKoncowychUkosnikow(m_katalog);
    QString sciezka;
    try {
        // A share unmounted during the download leaves its empty mount point
        // on the local disk: the report would be hidden there.
        // (A folder that cannot be looked at now is left to the save, which
        // says why.)
        if (const QString teraz = SystemPlikow(katalog);
            !teraz.isEmpty() && teraz != m_systemPlikow) {
            Komunikat(QStringLiteral("Folder „%1” leży teraz na innym systemie plików niż na "
                                     "początku pobierania (%2 zamiast %3); czy udział sieciowy "
                                     "jest zamontowany?")
                          .arg(katalog, teraz, m_systemPlikow) +
                      SkutekDlaDziennika(DomknijDziennik()));
            return kwBladZapisu;
        }
        sciezka = ZapiszRaportWKatalogu(katalog, m_obiekt, m_raport, sciezka);
    } catch (const EZapisPliku &e) {
        Komunikat(TekstBleduZapisu(e, sciezka) + u'.' + SkutekDlaDziennika(DomknijDziennik()),
                  e.Szczegoly());
        return kwBladZapisu;
    }
    // The report is on the disk: its journal is no longer needed.
    m_dziennik->Usun();
    m_zapisany = sciezka;
    Wypisz(stdout, sciezka);
    return kwZapisano;
}

bool PobieranieBezOkna::SprawdzKatalog()
{
    const QString katalog = BezKoncowychUkosnikow(m_katalog);
    // Before the device is polled: a folder that cannot take the report
    // would leave it in one more journal after a whole download.
    if (const int kod = BladKataloguZapisu(katalog); kod != 0) {
        QString co;
        if (kod == ENOENT)
            co = QStringLiteral("Folder zapisu „%1” nie istnieje").arg(katalog);
        else if (kod == ENOTDIR)
            co = QStringLiteral("Folder zapisu „%1” nie jest folderem").arg(katalog);
        else
            co = QStringLiteral("W folderze zapisu „%1” nie można zapisywać (%2)")
                     .arg(katalog, OpisBleduSystemu(kod));
        Komunikat(co + QStringLiteral("; licznik nie był odpytywany. Sprawdź folder w ustawieniach "
                                      "albo opcję --katalog."),
                  katalog + QStringLiteral(": ") + SzczegolyBleduSystemu(kod));
        return false;
    }
    // The folder is the one it was: a share that is not mounted leaves its
    // empty mount point on the local disk, where a report would be hidden
    // from the head office once the share is back.
    const QString teraz = SystemPlikow(katalog);
    QString poprzedni;
    try {
        const QList<Przebieg> przebiegi = CzytajPrzebiegi(KatalogStanu());
        for (auto p = przebiegi.crbegin(); p != przebiegi.crend() && poprzedni.isEmpty(); ++p)
            if (QDir::cleanPath(p->katalog) == QDir::cleanPath(katalog))
                poprzedni = p->systemPlikow;
    } catch (const std::exception &) {
        // No record to compare with: the folder is taken as it is.
    }
    if (!poprzedni.isEmpty() && teraz != poprzedni && !m_opcje.nowyFolder) {
        // The next runs still compare with the file system the reports went to.
        m_systemPlikow = poprzedni;
        Komunikat(QStringLiteral("Folder „%1” leży teraz na innym systemie plików niż przy "
                                 "ostatnim zapisie (%2 zamiast %3); czy udział sieciowy jest "
                                 "zamontowany?")
                      .arg(katalog, teraz, poprzedni),
                  QStringLiteral("Jeśli folder naprawdę przeniesiono: vestibulomat --pobierz "
                                 "--nowy-folder"));
        return false;
    }
    m_systemPlikow = teraz;
    return true;
}

void PobieranieBezOkna::DostarczPozostawione()
{
    // Journals of earlier unattended runs (a save that failed, a lost
    // device): nobody may open the window on this PC, so they go to the
    // save folder first, oldest first, by the same rules as a new report.
    // A window's journals are the window's to offer; one still running
    // holds its lock and is not listed.
    TDziennik pozostawione(KatalogStanu());
    int niepelne = 0;
    const std::vector<OpisDziennika> lista = pozostawione.Pozostawione();
    const QString katalog = BezKoncowychUkosnikow(m_katalog);
    for (const OpisDziennika &opis : lista) {
        if (!opis.naglowek.bezOkna)
            continue;
        if (opis.niepelny) {
            ++niepelne;
            continue;
        }
        QString sciezka;
        try {
            const ZawartoscDziennika z = pozostawione.Przywroc(opis);
            sciezka = ZapiszRaportWKatalogu(katalog, z.naglowek.obiekt, z.bajty, sciezka);
            pozostawione.Usun();
            Komunikat(QStringLiteral("Raport pobrany %1 czekał w dzienniku odbioru; zapisano go w "
                                     "pliku \"%2\".")
                          .arg(z.naglowek.poczatek.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                               sciezka));
            Wypisz(stdout, sciezka);
        } catch (const EZapisPliku &e) {
            Komunikat(TekstBleduZapisu(e, sciezka) + QStringLiteral(". Raport z dziennika odbioru "
                                                                    "czeka dalej."),
                      e.Szczegoly());
        } catch (const std::exception &e) {
            const TekstyBledu t = OpiszBlad(e);
            Komunikat(t.tekst, t.szczegoly);
        }
    }
    pozostawione.ZwolnijPozostawione();
    if (niepelne > 0)
        Komunikat(QStringLiteral("W dzienniku odbioru czeka niepełnych raportów: %1; okno programu "
                                 "zaproponuje je przy następnym uruchomieniu.")
                      .arg(niepelne));
}

// Nobody watches a timer's run: its outcome is kept for the window and
// whoever looks, and a failure is shown on the desktop when there is one.
void ZapiszPrzebieg(const Przebieg &p)
{
    if (UtworzFolderWlasny(KatalogStanu()).Gotowy()) {
        try {
            DopiszPrzebieg(KatalogStanu(), p);
        } catch (const std::exception &e) {
            const TekstyBledu opis = OpiszBlad(e);
            Komunikat(opis.tekst, opis.szczegoly);
        }
    }
    if (p.kod != kwZapisano)
        Powiadom(QStringLiteral("Vestibulomat: raport nie został pobrany"),
                 p.komunikat.isEmpty() ? QStringLiteral("Kod wyjścia %1.").arg(p.kod)
                                       : p.komunikat);
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
    Przebieg przebieg;
    przebieg.poczatek = QDateTime::currentDateTime();
    PobieranieBezOkna pobieranie(o);
    przebieg.kod = pobieranie.Uruchom();
    przebieg.koniec = QDateTime::currentDateTime();
    przebieg.komunikat = WypisaneKomunikaty().join(QStringLiteral("; "));
    przebieg.plik = pobieranie.Zapisany();
    przebieg.katalog = pobieranie.KatalogZapisu();
    przebieg.systemPlikow = pobieranie.SystemPlikowKatalogu();
    ZapiszPrzebieg(przebieg);
    return przebieg.kod;
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
