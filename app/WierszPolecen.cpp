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
#include "Zapis.h"
#include "Zegar.h"
#include "konfiguracja.h"

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

using Etap = EZapisPliku::Etap;

constexpr int kDomyslneCzekanie = 60;
// A day has fewer seconds; anything longer is a typing error.
constexpr int kNajdluzszeCzekanie = 86400;
// More copies of one report than anybody keeps by hand.
constexpr int kNajwiecejNumerow = 9999;

const char *const kPomoc =
    "Użycie: vestibulomat --pobierz [--czekaj SEKUNDY] [--katalog FOLDER]\n"
    "        vestibulomat --help | --version\n"
    "Bez opcji program otwiera swoje okno.\n"
    "\n"
    "  --pobierz          pobiera raport z licznika bez okna (także bez ekranu, przez ssh\n"
    "                     i z timera systemd) i zapisuje go pod nazwą obiekt_od_do.txt.\n"
    "                     Nazwa obiektu, folder, port i synchronizacja zegara pochodzą\n"
    "                     z tego samego pliku ustawień, którego używa okno programu.\n"
    "  --czekaj SEKUNDY   jak długo czekać na pierwszą odpowiedź licznika (domyślnie 60);\n"
    "                     licznik jest w tym czasie odpytywany co sekundę.\n"
    "  --katalog FOLDER   zapis w tym folderze zamiast w folderze z ustawień, tylko\n"
    "                     w tym uruchomieniu.\n"
    "  --help             ta pomoc.\n"
    "  --version          wersja programu.\n"
    "\n"
    "Istniejący plik nigdy nie jest zastępowany: jeśli nazwa jest zajęta przez inną\n"
    "treść, raport dostaje nazwę z dopiskiem \" (2)\", \" (3)\"... przed \".txt\". Jeśli ten\n"
    "sam raport jest już zapisany, nic nie jest zapisywane. Ścieżka pliku z raportem\n"
    "trafia na standardowe wyjście, komunikaty na standardowe wyjście błędów. Do chwili\n"
    "zapisu raport chroni dziennik odbioru: po błędzie zapisu albo odłączeniu urządzenia\n"
    "okno programu zaproponuje odebraną część przy następnym uruchomieniu.\n"
    "Port jest otwarty tylko na czas pobierania. Okno programu trzyma port otwarty po\n"
    "swoim pobraniu; wtedy pobieranie bez okna kończy się błędem portu.\n"
    "\n"
    "Poczta nie jest częścią pobierania bez okna: wysłanie raportu wymaga, by ktoś\n"
    "nacisnął \"Wyślij\" w programie pocztowym. Do wysyłki służy okno programu.\n"
    "\n"
    "Kody wyjścia: 0 raport zapisany (albo już był zapisany), 2 licznik nie odpowiedział\n"
    "w czasie oczekiwania, 3 błąd portu (brak portu, port zajęty, brak uprawnień,\n"
    "urządzenie odłączone), 4 błąd zapisu, 64 błędne argumenty.\n"
    "\n"
    "Codzienne pobieranie: pakiet instaluje timer systemd użytkownika, który uruchamia\n"
    "\"vestibulomat --pobierz\" codziennie o 6:00. Jest wyłączony; włącza go:\n"
    "  systemctl --user enable --now vestibulomat-pobierz.timer\n"
    "Komunikaty z tych uruchomień:\n"
    "  journalctl --user -u vestibulomat-pobierz\n"
    "Timer użytkownika działa tylko wtedy, gdy użytkownik jest zalogowany, chyba że\n"
    "włączono dla niego trwałą sesję (potrzebne na komputerze, na który nikt się nie\n"
    "loguje):\n"
    "  loginctl enable-linger\n"
    "Pobranie pominięte przy wyłączonym komputerze odbywa się po jego następnym\n"
    "uruchomieniu (Persistent=true).\n"
    "\n"
    "Folder wspólny: aby centrala zbierała raporty, wskaż jako folder zapisu (w oknie\n"
    "Konfiguracja albo opcją --katalog) folder udostępniony lub synchronizowany: udział\n"
    "SMB lub NFS albo folder programu do synchronizacji plików. Opcję dopisuje się\n"
    "w usłudze poleceniem \"systemctl --user edit vestibulomat-pobierz.service\":\n"
    "  [Service]\n"
    "  ExecStart=\n"
    "  ExecStart=/usr/bin/vestibulomat --pobierz --katalog /mnt/raporty\n";

struct Opcje
{
    bool pobierz = false;
    bool pomoc = false;
    bool wersja = false;
    int czekaj = kDomyslneCzekanie;
    std::optional<QString> katalog;
    QString blad; // what is wrong with the arguments; empty when nothing
};

// A message must stay one line in a log: line breaks inside become "; ".
QString JednaLinia(QString tekst)
{
    tekst.replace(QStringLiteral("\r\n"), QStringLiteral("; "));
    tekst.replace(u'\n', QStringLiteral("; "));
    tekst.replace(u'\r', u' ');
    return tekst;
}

void Wypisz(std::FILE *strumien, const QString &linia)
{
    const QByteArray b = JednaLinia(linia).toUtf8() + '\n';
    std::fwrite(b.constData(), 1, std::size_t(b.size()), strumien);
    std::fflush(strumien);
}

// One line for the user and, when there is one, a second with the technical
// text (the errno).
void Komunikat(const QString &tekst, const QString &szczegoly = QString())
{
    Wypisz(stderr, tekst);
    if (!szczegoly.isEmpty())
        Wypisz(stderr, szczegoly);
}

bool JestOpcja(const QString &arg, const char *nazwa)
{
    return arg == QLatin1String(nazwa) || arg.startsWith(QLatin1String(nazwa) + QLatin1Char('='));
}

Opcje CzytajOpcje(int argc, char **argv)
{
    Opcje o;
    for (int i = 1; i < argc && o.blad.isEmpty(); ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        // "--opcja WARTOŚĆ" or "--opcja=WARTOŚĆ".
        auto wartosc = [&](const char *nazwa) -> std::optional<QString> {
            const int dlugosc = int(qstrlen(nazwa));
            if (arg.size() > dlugosc)
                return arg.mid(dlugosc + 1);
            if (i + 1 < argc)
                return QString::fromLocal8Bit(argv[++i]);
            o.blad = QStringLiteral("Brak wartości opcji %1.").arg(QLatin1String(nazwa));
            return std::nullopt;
        };
        if (arg == QLatin1String("--pobierz")) {
            o.pobierz = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            o.pomoc = true;
        } else if (arg == QLatin1String("--version")) {
            o.wersja = true;
        } else if (JestOpcja(arg, "--czekaj")) {
            if (const auto w = wartosc("--czekaj")) {
                bool liczba = false;
                o.czekaj = w->toInt(&liczba);
                if (!liczba || o.czekaj < 1 || o.czekaj > kNajdluzszeCzekanie)
                    o.blad = QStringLiteral("Opcja --czekaj wymaga liczby sekund od 1 do %1, "
                                            "podano \"%2\".")
                                 .arg(kNajdluzszeCzekanie)
                                 .arg(*w);
            }
        } else if (JestOpcja(arg, "--katalog")) {
            if (const auto w = wartosc("--katalog")) {
                o.katalog = *w;
                if (w->isEmpty())
                    o.blad = QStringLiteral("Opcja --katalog wymaga nazwy folderu.");
            }
        } else {
            o.blad = QStringLiteral("Nieznany argument \"%1\".").arg(arg);
        }
    }
    if (o.blad.isEmpty() && !o.pobierz && !o.pomoc && !o.wersja)
        o.blad = QStringLiteral("Opcje --czekaj i --katalog działają tylko z --pobierz.");
    return o;
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
        switch (BezpiecznyZapis::CzytajZwyklyPlik(sciezka, jest)) {
        case BezpiecznyZapis::Zastano::Brak:
            return Zajete::Wolne;
        case BezpiecznyZapis::Zastano::Inny:
            return Zajete::Specjalny;
        case BezpiecznyZapis::Zastano::ZwyklyPlik:
            return jest == dane ? Zajete::TenSam : Zajete::Inny;
        }
    } catch (const BezpiecznyZapis::Blad &e) {
        if (e.KrokBledu() == BezpiecznyZapis::Krok::Sprawdzenie)
            throw EZapisPliku(Etap::Utworzenie, sciezka, e.Kod(), e.Szczegoly());
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
    using namespace Ustawienia;
    const QString katalogProgramu = QCoreApplication::applicationDirPath() + u'/';
    QStringList w(Liczba);
    CzytajIni(PlikUstawienDoOdczytu(katalogProgramu), Sekcje(), Klucze(), w,
              Domyslne(katalogProgramu));
    m_obiekt = w[Obiekt];
    m_katalog = m_opcje.katalog ? *m_opcje.katalog : w[Katalog];
    if (m_katalog.isEmpty())
        m_katalog = DomyslnyKatalogZapisu(katalogProgramu);
    m_port = w[Port];
    m_synchronizuj = NaLogiczna(w[Synchro]);
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
                throw EZapisPliku(Etap::Utworzenie, sciezka, EEXIST);
        }
    } catch (const EZapisPliku &e) {
        QString tekst = QStringLiteral("Błąd podczas zapisu pliku: ") + sciezka;
        if (const QString powod = e.Powod(); !powod.isEmpty())
            tekst += QStringLiteral(" (") + powod + u')';
        Komunikat(tekst + u'.' + SkutekDlaDziennika(DomknijDziennik()), e.Szczegoly());
        return kwBladZapisu;
    }
    // The report is on the disk: its journal is no longer needed.
    m_dziennik->Usun();
    Wypisz(stdout, sciezka);
    return kwZapisano;
}

} // namespace

namespace {

bool OpcjaQt(const QString &nazwa)
{
    static const char *const opcje[] = {"platform",
                                        "platformpluginpath",
                                        "platformtheme",
                                        "plugin",
                                        "qwindowgeometry",
                                        "qwindowicon",
                                        "qwindowtitle",
                                        "reverse",
                                        "session",
                                        "style",
                                        "stylesheet",
                                        "widgetcount",
                                        "display",
                                        "geometry",
                                        "name",
                                        "title",
                                        "visual",
                                        "ncols",
                                        "cmap",
                                        "nograb",
                                        "dograb",
                                        "sync",
                                        "qmljsdebugger",
                                        "fontengine",
                                        "dialogs"};
    for (const char *o : opcje)
        if (nazwa == QLatin1String(o))
            return true;
    return false;
}

} // namespace

bool WierszPolecen(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        for (const char *opcja : {"--pobierz", "--czekaj", "--katalog", "--help", "--version"})
            if (JestOpcja(arg, opcja))
                return true;
        if (arg == QLatin1String("-h"))
            return true;
        // A mistyped option ("--pobiez") is told as such, not answered with a
        // window (or, without a display, a crash). Qt's own options stay the
        // window's; Qt takes them with one dash or two.
        if (arg.startsWith(QLatin1String("--")) && !OpcjaQt(arg.mid(2).section(u'=', 0, 0)))
            return true;
    }
    return false;
}

int UruchomWierszPolecen(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vestibulomat"));
    // A file-size limit must fail a write (EFBIG), which is reported, instead
    // of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // No box can open here: whatever would ask or tell goes to stderr.
    Komunikaty::UstawHook([](Komunikaty::Rodzaj rodzaj, const QString &tekst) {
        Komunikat(tekst, rodzaj == Komunikaty::Rodzaj::Pytanie ? QString()
                                                               : Komunikaty::OstatnieSzczegoly());
        return false;
    });

    const Opcje o = CzytajOpcje(argc, argv);
    if (!o.blad.isEmpty()) {
        Komunikat(o.blad + QStringLiteral(" Pomoc: vestibulomat --help"));
        return kwZleArgumenty;
    }
    if (o.pomoc) {
        std::fputs(kPomoc, stdout);
        return kwZapisano;
    }
    if (o.wersja) {
        Wypisz(stdout, QStringLiteral("Vestibulomat ") + WersjaProgramu());
        return kwZapisano;
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
    throw EZapisPliku(Etap::Utworzenie, m.sciezka, EEXIST);
}
