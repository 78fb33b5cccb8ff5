#include "Opcje.h"

#include "Narzedzia.h"

#include <QCommandLineParser>

namespace {

// A day has fewer seconds; anything longer is a typing error.
constexpr int kNajdluzszeCzekanie = 86400;

const char *const kPomoc =
    "Użycie: vestibulomat --pobierz [--czekaj SEKUNDY] [--katalog FOLDER]\n"
    "                             [--najdluzej SEKUNDY] [--nowy-folder]\n"
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
    "  --najdluzej SEKUNDY  najdłuższy czas całego pobierania, licząc od uruchomienia\n"
    "                     (domyślnie 600). Licznik, który przez ten czas nie kończy\n"
    "                     raportu (albo zakłócona linia), przerywa pobieranie z kodem 5;\n"
    "                     to, co nadeszło, zostaje w dzienniku odbioru.\n"
    "  --nowy-folder      przyjmuje system plików, na którym folder zapisu leży teraz\n"
    "                     (np. udział przeniesiony na inny serwer). Bez tej opcji\n"
    "                     pobieranie nie zaczyna się, gdy folder leży na innym systemie\n"
    "                     plików niż przy ostatnim zapisie: tak wygląda niezamontowany\n"
    "                     udział sieciowy, którego pusty punkt montowania leży na dysku.\n"
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
    "urządzenie odłączone), 4 błąd zapisu, 5 licznik nie zakończył raportu (ponad 64 MiB\n"
    "danych albo czas z --najdluzej minął), 64 błędne argumenty, 78 nie można użyć pliku\n"
    "ustawień albo folderów programu, 143 pobieranie przerwane sygnałem SIGTERM (np. przez\n"
    "systemd po 15 minutach).\n"
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

// One option of ours. Adding an option is one row of kOpcje (and its line
// in kPomoc).
struct OpisOpcji
{
    const char *nazwa;
    const char *krotka;  // the one-letter form, or nullptr
    const char *wartosc; // the value's name; nullptr for a switch
    // Takes the option into o, once for each time it is given (a switch with
    // an empty value); returns what is wrong with the value, or nothing.
    QString (*ustaw)(Opcje &o, const QString &wartosc);
};

// "--czekaj SEKUNDY" and the like: a whole number from 1 to najwiecej.
QString Sekundy(const char *opcja, const QString &wartosc, int najwiecej, int &cel)
{
    bool liczba = false;
    const int n = wartosc.toInt(&liczba);
    if (!liczba || n < 1 || n > najwiecej)
        return QStringLiteral("Opcja %1 wymaga liczby sekund od 1 do %2, podano \"%3\".")
            .arg(QLatin1String(opcja), QString::number(najwiecej), wartosc);
    cel = n;
    return QString();
}

const OpisOpcji kOpcje[] = {
    {"pobierz", nullptr, nullptr,
     [](Opcje &o, const QString &) {
         o.pobierz = true;
         return QString();
     }},
    {"help", "h", nullptr,
     [](Opcje &o, const QString &) {
         o.pomoc = true;
         return QString();
     }},
    {"version", nullptr, nullptr,
     [](Opcje &o, const QString &) {
         o.wersja = true;
         return QString();
     }},
    {"czekaj", nullptr, "SEKUNDY",
     [](Opcje &o, const QString &w) {
         return Sekundy("--czekaj", w, kNajdluzszeCzekanie, o.czekaj);
     }},
    {"najdluzej", nullptr, "SEKUNDY",
     [](Opcje &o, const QString &w) {
         return Sekundy("--najdluzej", w, kNajdluzszeCzekanie, o.najdluzej);
     }},
    {"nowy-folder", nullptr, nullptr,
     [](Opcje &o, const QString &) {
         o.nowyFolder = true;
         return QString();
     }},
    {"katalog", nullptr, "FOLDER",
     [](Opcje &o, const QString &w) {
         o.katalog = w;
         return w.isEmpty() ? QStringLiteral("Opcja --katalog wymaga nazwy folderu.") : QString();
     }},
};

QStringList NazwyOpcji(const OpisOpcji &opis)
{
    QStringList nazwy;
    if (opis.krotka)
        nazwy.append(QLatin1String(opis.krotka));
    nazwy.append(QLatin1String(opis.nazwa));
    return nazwy;
}

// Our options, for Qt's parser. Its own help and version options are not
// added: both are ours.
void DodajOpcje(QCommandLineParser &parser)
{
    for (const OpisOpcji &opis : kOpcje)
        parser.addOption(QCommandLineOption(
            NazwyOpcji(opis), QString(), opis.wartosc ? QLatin1String(opis.wartosc) : QString()));
}

enum class Rozbior {
    Dobry,          // every argument is an option of ours, with its value
    CzekaNaWartosc, // the same, but the last option still waits for its value
    Zly             // an argument is no option of ours
};

Rozbior Rozbierz(const QStringList &argumenty)
{
    QCommandLineParser parser;
    DodajOpcje(parser);
    if (parser.parse(argumenty) && parser.positionalArguments().isEmpty())
        return Rozbior::Dobry;
    // An option without its value parses once a value follows.
    QCommandLineParser zWartoscia;
    DodajOpcje(zWartoscia);
    if (zWartoscia.parse(argumenty + QStringList{QString()}) &&
        zWartoscia.positionalArguments().isEmpty())
        return Rozbior::CzekaNaWartosc;
    return Rozbior::Zly;
}

// The message names the argument as it was typed, and the first that is
// wrong. Qt's parser says only which names it did not know, so it is asked
// again for each longer beginning of the command line: the argument whose
// addition spoils it is the one to name.
QString BladSkladni(const QStringList &argumenty)
{
    bool wartosc = false; // argumenty[i] is the value of the option before it
    for (qsizetype i = 1; i < argumenty.size(); ++i) {
        // "--" would make the rest plain words, of which we take none.
        const bool koniecOpcji = !wartosc && argumenty[i] == QLatin1String("--");
        const Rozbior r = koniecOpcji ? Rozbior::Zly : Rozbierz(argumenty.first(i + 1));
        if (r == Rozbior::Zly)
            return QStringLiteral("Nieznany argument \"%1\".").arg(argumenty[i]);
        wartosc = r == Rozbior::CzekaNaWartosc;
    }
    if (wartosc)
        return QStringLiteral("Brak wartości opcji %1.").arg(argumenty.last());
    return QString();
}

// Qt's own options that the window's application takes out of the arguments
// (Qt 6.4: QCoreApplication, QGuiApplication, QApplication and the xcb
// platform), with one dash or two.
struct OpisOpcjiQt
{
    const char *nazwa;
    bool wartosc;   // takes the next argument as its value
    bool zRownaSie; // also takes "-nazwa=WARTOŚĆ"
};

const OpisOpcjiQt kOpcjeQt[] = {
    {"platform", true, false},
    {"platformpluginpath", true, false},
    {"platformtheme", true, false},
    {"plugin", true, false},
    {"qwindowgeometry", true, false},
    {"qwindowicon", true, false},
    {"qwindowtitle", true, false},
    {"session", true, false},
    {"style", true, true},
    {"stylesheet", true, true},
    {"qmljsdebugger", true, true},
    {"reverse", false, false},
    {"widgetcount", false, false},
    {"testability", false, false},
    {"qdebug", false, false},
    {"qdevel", false, false},
    // The xcb platform's own.
    {"display", true, false},
    {"name", true, false},
    {"visual", true, false},
    {"geometry", true, false},
    {"title", true, false},
    {"icon", true, false},
    {"nograb", false, false},
    {"dograb", false, false},
};

} // namespace

QStringList Argumenty(int argc, char **argv)
{
    QStringList argumenty;
    for (int i = 0; i < argc; ++i)
        argumenty.append(QString::fromLocal8Bit(argv[i]));
    return argumenty;
}

bool DlaOkna(const QStringList &argumenty)
{
    for (qsizetype i = 1; i < argumenty.size(); ++i) {
        const QString &arg = argumenty[i];
        // A plain word, an empty argument and a lone "-" are no option of Qt's.
        if (arg.size() < 2 || !arg.startsWith(u'-'))
            return false;
        const QStringView nazwa = QStringView(arg).mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
        const OpisOpcjiQt *znana = nullptr;
        for (const OpisOpcjiQt &o : kOpcjeQt) {
            const QLatin1String n(o.nazwa);
            if (nazwa == n ||
                (o.zRownaSie && nazwa.startsWith(n) && nazwa.mid(n.size()).startsWith(u'=')))
                znana = &o;
        }
        if (!znana)
            return false;
        // Qt takes the next argument as the value, whatever it is.
        if (znana->wartosc && nazwa == QLatin1String(znana->nazwa))
            ++i;
    }
    return true;
}

bool WierszPolecen(int argc, char **argv)
{
    return !DlaOkna(Argumenty(argc, argv));
}

Opcje CzytajOpcje(const QStringList &argumenty)
{
    Opcje o;
    o.blad = BladSkladni(argumenty);
    if (!o.blad.isEmpty())
        return o;
    QCommandLineParser parser;
    DodajOpcje(parser);
    parser.parse(argumenty);
    for (const OpisOpcji &opis : kOpcje) {
        const QString nazwa = QLatin1String(opis.nazwa);
        const QStringList wartosci = opis.wartosc
                                         ? parser.values(nazwa)
                                         : QStringList(parser.isSet(nazwa) ? 1 : 0, QString());
        for (const QString &w : wartosci)
            if (o.blad = opis.ustaw(o, w); !o.blad.isEmpty())
                return o;
    }
    if (!o.pobierz && !o.pomoc && !o.wersja)
        o.blad = QStringLiteral("Opcje --czekaj i --katalog działają tylko z --pobierz.");
    return o;
}

Odpowiedz OdpowiedzNaOpcje(const Opcje &o)
{
    Odpowiedz odp;
    if (!o.blad.isEmpty()) {
        odp.kod = kwZleArgumenty;
        odp.blad = o.blad + QStringLiteral(" Pomoc: vestibulomat --help");
    } else if (o.pomoc) {
        odp.kod = kwZapisano;
        odp.wyjscie = QString::fromUtf8(kPomoc);
    } else if (o.wersja) {
        odp.kod = kwZapisano;
        odp.wyjscie = QStringLiteral("Vestibulomat ") + WersjaProgramu() + u'\n';
    }
    return odp;
}
