#pragma once

// The bytes the simulated device sends as its report.
//
// The device writes Windows-1250 text with CR LF line ends: a header naming
// the site, then for each day a line "Odwiedziny w dniu: yyyy/mm/dd" with the
// hourly counts under it, and a total at the end.

#include "Opcje.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

// Days in the device's format, from `poczatek` on, `dni` of them.
std::string RaportDni(Dzien poczatek, int dni, std::uint32_t ziarno);

// Days in the device's format from `poczatek` on, until the report holds at
// least `bajty` bytes.
std::string RaportRozmiar(Dzien poczatek, std::size_t bajty, std::uint32_t ziarno);

// `n` random bytes; NUL, a bare CR and CR LF are among them whenever `n`
// leaves room for them.
std::string LosoweBajty(std::size_t n, std::uint32_t ziarno);

// The file's bytes, unchanged; throws std::runtime_error when it cannot be read.
std::string CzytajPlik(const std::string &sciezka);

// Today's local date.
Dzien Dzisiaj();

// The day `ile` days after (or before, when negative) `d`.
Dzien Przesun(Dzien d, long ile);

// The report chosen by the options.
std::string RaportZOpcji(const Opcje &o);

} // namespace sim
