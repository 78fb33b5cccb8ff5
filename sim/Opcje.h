#pragma once

// Command-line options of the device simulator.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace sim {

// A calendar day as the device prints it.
struct Dzien
{
    int rok = 0;
    unsigned miesiac = 0;
    unsigned dzien = 0;
};

struct Opcje
{
    bool pomoc = false;

    // The line: a fresh pseudo-terminal unless a device is named.
    std::string port;
    std::string link;
    std::string logZegara;

    // Where the report comes from: a file, random bytes, a size, or N days.
    std::string plikRaportu;
    std::optional<std::size_t> losoweBajty;
    std::optional<double> rozmiarMb;
    int dni = 7;
    std::optional<Dzien> poczatek;
    std::uint32_t ziarno = 1;

    // How the report goes out.
    std::size_t porcja = 64;
    int przerwaMs = 0;
    std::size_t bajtowNaSekunde = 0;
    int odpowiedzPo = 1;
    bool milczy = false;
    bool powtorz = false;
    std::optional<int> drugiRaportPoMs;
    std::optional<std::size_t> zerwijPo;
    bool raz = false;
    int ciszaMs = 500;
    bool gadatliwy = false;
};

// A bad command line; the message says which option and why.
class BladOpcji : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

Opcje CzytajOpcje(int argc, char **argv);

// The text printed by --help.
const char *Uzycie();

} // namespace sim
