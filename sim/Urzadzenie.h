#pragma once

// The counting device's side of the dialogue.
//
// The device knows no framing: a carriage return is a poll, and it answers
// with its whole report; "Z" and twelve digits set its clock. Everything else
// it receives is ignored. Between reports it waits for a quiet moment before
// it answers again, so that a poll that crossed the report on the wire does
// not bring a second copy.

#include "Linia.h"
#include "Opcje.h"

#include <chrono>
#include <cstddef>
#include <string>

namespace sim {

// Exit codes of the simulator.
enum Wynik : int {
    kKoniec = 0,
    kBlad = 1,
    kZlaOpcja = 2,
    kZerwana = 3,
};

class Urzadzenie
{
public:
    // `sygnaly` is a descriptor that becomes readable when the simulator is
    // asked to stop (a signalfd).
    Urzadzenie(const Opcje &opcje, Linia &linia, std::string raport, int sygnaly);

    // Serves until stopped; returns the exit code.
    int Dzialaj();

private:
    using Zegar = std::chrono::steady_clock;

    enum class Stan {
        Czeka,       // waiting for a poll
        Wysyla,      // a report is going out
        PrzedDrugim, // waiting to send the report a second time
        PoOstatnim,  // --once: report sent, waiting for the program to close
    };

    void Przyjmij(const char *dane, std::size_t n);
    void Zapytanie();
    void ZapiszZegar(const std::string &polecenie);
    void Rozpocznij();
    // Writes what is due; false when the line was dropped on purpose.
    bool Wysylaj();
    void ZakonczonoWysylanie();
    void Rozlaczono();
    bool CzekajNaPonowneOtwarcie();
    int CzasDoTerminu() const;
    void Powiedz(const std::string &co) const;

    const Opcje &opcje_;
    Linia &linia_;
    const std::string raport_;
    const int sygnaly_;

    Stan stan_ = Stan::Czeka;
    int zapytania_ = 0;
    bool bylRaport_ = false;
    Zegar::time_point koniecRaportu_{};
    bool rozlaczona_ = false;

    // The clock command being read: "Z" and the digits so far; empty when none.
    std::string zegar_;

    // The transfer in progress.
    std::string wysylane_;
    std::size_t pozycja_ = 0;      // bytes of wysylane_ written
    std::size_t koniecPorcji_ = 0; // end of the chunk being written
    bool drugaKopia_ = false;      // wysylane_ is the second report
    Zegar::time_point startWysylania_{};
    Zegar::time_point termin_{};   // when the next chunk (or the second report) is due
    bool czekaNaMiejsce_ = false;  // the line's buffer is full
    std::size_t wyslanoRazem_ = 0; // over the whole run, for --drop-after
};

} // namespace sim
