#include "Opcje.h"

#include <charconv>
#include <limits>
#include <string_view>

namespace sim {

namespace {

template <typename T> T Liczba(std::string_view opcja, std::string_view tekst, T min, T max)
{
    T wynik{};
    const char *koniec = tekst.data() + tekst.size();
    auto [ptr, ec] = std::from_chars(tekst.data(), koniec, wynik);
    if (tekst.empty() || ec != std::errc() || ptr != koniec || wynik < min || wynik > max)
        throw BladOpcji(std::string(opcja) + ": invalid number '" + std::string(tekst) + "'");
    return wynik;
}

Dzien Data(std::string_view opcja, std::string_view tekst)
{
    // YYYY-MM-DD, checked against the real length of the month.
    if (tekst.size() != 10 || tekst[4] != '-' || tekst[7] != '-')
        throw BladOpcji(std::string(opcja) + ": expected YYYY-MM-DD, got '" + std::string(tekst) +
                        "'");
    Dzien d;
    d.rok = Liczba<int>(opcja, tekst.substr(0, 4), 1, 9999);
    d.miesiac = Liczba<unsigned>(opcja, tekst.substr(5, 2), 1, 12);
    d.dzien = Liczba<unsigned>(opcja, tekst.substr(8, 2), 1, 31);
    static const unsigned dlugosc[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool przestepny = (d.rok % 4 == 0 && d.rok % 100 != 0) || d.rok % 400 == 0;
    const unsigned ile = dlugosc[d.miesiac - 1] + (d.miesiac == 2 && przestepny ? 1 : 0);
    if (d.dzien > ile)
        throw BladOpcji(std::string(opcja) + ": no such day '" + std::string(tekst) + "'");
    return d;
}

} // namespace

Opcje CzytajOpcje(int argc, char **argv)
{
    Opcje o;
    int zrodla = 0; // explicit report sources; at most one may be given
    const auto maxInt = std::numeric_limits<int>::max();
    const auto maxSize = std::numeric_limits<std::size_t>::max();

    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::string_view nazwa = arg;
        std::optional<std::string_view> wartoscWpisana;
        if (auto rowna = arg.find('='); arg.starts_with("--") && rowna != std::string_view::npos) {
            nazwa = arg.substr(0, rowna);
            wartoscWpisana = arg.substr(rowna + 1);
        }
        auto wartosc = [&]() -> std::string_view {
            if (wartoscWpisana)
                return *wartoscWpisana;
            if (i + 1 >= argc)
                throw BladOpcji(std::string(nazwa) + ": value missing");
            return argv[++i];
        };
        auto flaga = [&](bool &pole) {
            if (wartoscWpisana)
                throw BladOpcji(std::string(nazwa) + ": takes no value");
            pole = true;
        };

        if (nazwa == "--help" || nazwa == "-h")
            flaga(o.pomoc);
        else if (nazwa == "--port")
            o.port = wartosc();
        else if (nazwa == "--link")
            o.link = wartosc();
        else if (nazwa == "--clock-log")
            o.logZegara = wartosc();
        else if (nazwa == "--report") {
            o.plikRaportu = wartosc();
            ++zrodla;
        } else if (nazwa == "--random-bytes") {
            o.losoweBajty = Liczba<std::size_t>(nazwa, wartosc(), 0, maxSize);
            ++zrodla;
        } else if (nazwa == "--size-mb") {
            o.rozmiarMb = Liczba<double>(nazwa, wartosc(), 0.0, 4096.0);
            ++zrodla;
        } else if (nazwa == "--days") {
            o.dni = Liczba<int>(nazwa, wartosc(), 0, 1000000);
            ++zrodla;
        } else if (nazwa == "--start-date")
            o.poczatek = Data(nazwa, wartosc());
        else if (nazwa == "--seed")
            o.ziarno = Liczba<std::uint32_t>(nazwa, wartosc(), 0,
                                             std::numeric_limits<std::uint32_t>::max());
        else if (nazwa == "--chunk")
            o.porcja = Liczba<std::size_t>(nazwa, wartosc(), 1, 1 << 20);
        else if (nazwa == "--gap")
            o.przerwaMs = Liczba<int>(nazwa, wartosc(), 0, maxInt);
        else if (nazwa == "--rate")
            o.bajtowNaSekunde = Liczba<std::size_t>(nazwa, wartosc(), 0, 1u << 30);
        else if (nazwa == "--answer-after")
            o.odpowiedzPo = Liczba<int>(nazwa, wartosc(), 1, maxInt);
        else if (nazwa == "--silent")
            flaga(o.milczy);
        else if (nazwa == "--repeat")
            flaga(o.powtorz);
        else if (nazwa == "--second-report-after")
            o.drugiRaportPoMs = Liczba<int>(nazwa, wartosc(), 0, maxInt);
        else if (nazwa == "--drop-after")
            o.zerwijPo = Liczba<std::size_t>(nazwa, wartosc(), 0, maxSize);
        else if (nazwa == "--once")
            flaga(o.raz);
        else if (nazwa == "--quiet")
            o.ciszaMs = Liczba<int>(nazwa, wartosc(), 0, maxInt);
        else if (nazwa == "--verbose" || nazwa == "-v")
            flaga(o.gadatliwy);
        else
            throw BladOpcji("unknown option '" + std::string(arg) + "' (see --help)");
    }

    if (zrodla > 1)
        throw BladOpcji("--report, --random-bytes, --size-mb and --days exclude each other");
    if (o.powtorz && o.drugiRaportPoMs)
        throw BladOpcji("--repeat and --second-report-after exclude each other");
    if (!o.port.empty() && !o.link.empty())
        throw BladOpcji("--link names a pseudo-terminal; it cannot be used with --port");
    return o;
}

const char *Uzycie()
{
    return R"(Usage: vestibulomat-sim [options]

Behaves as the visitor-counting device on a serial line, for trying
Vestibulomat without a device: waits for a carriage return (the poll) and
answers with its report; records clock commands ("Z" + yyMMddhhnnss). The
first line on stdout is "PORT <device>", the name to enter as the port in
Vestibulomat's configuration; each clock command received prints
"CLOCK Z<12 digits>".

Try it:  vestibulomat-sim --link /tmp/licznik --rate 960
         then set the port to /tmp/licznik and press "Połącz/Odbierz".

Line:
  --port PATH              open this serial device (raw, 9600 8N1) instead of
                           creating a pseudo-terminal
  --link PATH              also make a symlink PATH -> pseudo-terminal (removed
                           on exit)
  --clock-log FILE         append every clock command received to FILE

Report (one of):
  --report FILE            send FILE's bytes exactly
  --days N                 generate N days (default 7)
  --random-bytes N         N random bytes, NUL, bare CR and CR LF included
  --size-mb M              generate days until the report reaches M MiB
  --start-date YYYY-MM-DD  first generated day (default: N-1 days before today;
                           with --size-mb 2000-01-01)
  --seed S                 seed for generated counts and random bytes (default 1)

Transfer:
  --chunk N                bytes per write (default 64)
  --gap MS                 pause between writes (default 0)
  --rate BPS               at most BPS bytes per second (960 is 9600 bit/s;
                           0 = as fast as possible, the default)
  --answer-after K         answer only the K-th poll (default 1)
  --silent                 never answer
  --repeat                 send the report twice, back to back
  --second-report-after MS send the report again MS after it ended
  --drop-after BYTES       close the line after sending BYTES bytes and exit 3
  --once                   answer one poll; exit when the program closes the port
  --quiet MS               a poll is answered only MS after the previous report
                           ended (default 500); polls during a report are ignored
  --verbose, -v            tell on stderr what happens
  --help, -h               this text

Exit codes: 0 done or stopped by SIGINT/SIGTERM, 1 error, 2 bad options,
3 line dropped by --drop-after.
)";
}

} // namespace sim
