#include "Urzadzenie.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>
#include <utility>

namespace sim {

namespace {

// While the program has the port closed, a pty master reports a hang-up at
// every poll(); we look again this often until the slave is opened anew.
constexpr int kSprawdzOtwarcieMs = 50;

// Chunks written in one go before input is looked at again.
constexpr int kPorcjiNaRaz = 64;

constexpr std::size_t kDlugoscZegara = 13; // "Z" and yyMMddhhnnss

} // namespace

Urzadzenie::Urzadzenie(const Opcje &opcje, Linia &linia, std::string raport, int sygnaly)
    : opcje_(opcje)
    , linia_(linia)
    , raport_(std::move(raport))
    , sygnaly_(sygnaly)
{}

int Urzadzenie::Dzialaj()
{
    char bufor[4096];
    for (;;) {
        if (rozlaczona_) {
            if (stan_ == Stan::PoOstatnim)
                return kKoniec;
            if (!linia_.pty())
                throw std::runtime_error("the serial device " + linia_.nazwa() + " is gone");
            if (!CzekajNaPonowneOtwarcie())
                return kKoniec;
            continue;
        }
        const auto teraz = Zegar::now();
        if (stan_ == Stan::PrzedDrugim && teraz >= termin_) {
            Powiedz("sending the report again");
            drugaKopia_ = true;
            Rozpocznij();
        }
        if (stan_ == Stan::Wysyla && !czekaNaMiejsce_ && teraz >= termin_) {
            if (!Wysylaj())
                return kZerwana;
            if (rozlaczona_)
                continue;
        }
        if (stan_ == Stan::PoOstatnim && !linia_.pty()) {
            // A real port cannot tell when the program has read the report;
            // once the last byte has left, one report is done.
            linia_.Zamknij();
            return kKoniec;
        }

        pollfd p[2] = {
            {linia_.fd(), short(POLLIN | (czekaNaMiejsce_ ? POLLOUT : 0)), 0},
            {sygnaly_, POLLIN, 0},
        };
        if (poll(p, 2, CzasDoTerminu()) < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        }
        if (p[1].revents)
            return kKoniec;
        if (p[0].revents & POLLOUT)
            czekaNaMiejsce_ = false;
        if (p[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            for (;;) {
                const ssize_t n = read(linia_.fd(), bufor, sizeof bufor);
                if (n > 0) {
                    Przyjmij(bufor, std::size_t(n));
                    continue;
                }
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0 && errno == EAGAIN)
                    break;
                // End of file or EIO: the program closed the pty (or the
                // device went away).
                Rozlaczono();
                break;
            }
            if (!rozlaczona_ && (p[0].revents & (POLLHUP | POLLERR)))
                Rozlaczono();
        }
    }
}

void Urzadzenie::Przyjmij(const char *dane, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        const char c = dane[i];
        if (!zegar_.empty()) {
            if (c >= '0' && c <= '9') {
                zegar_ += c;
                if (zegar_.size() == kDlugoscZegara) {
                    ZapiszZegar(zegar_);
                    zegar_.clear();
                }
                continue;
            }
            // Not a clock command after all; the byte counts on its own.
            zegar_.clear();
        }
        if (c == 'Z')
            zegar_ = "Z";
        else if (c == '\r')
            Zapytanie();
    }
}

void Urzadzenie::Zapytanie()
{
    if (opcje_.milczy || stan_ != Stan::Czeka)
        return;
    const auto teraz = Zegar::now();
    if (bylRaport_ && teraz - koniecRaportu_ < std::chrono::milliseconds(opcje_.ciszaMs)) {
        Powiedz("poll too soon after the report; ignored");
        return;
    }
    if (++zapytania_ < opcje_.odpowiedzPo) {
        Powiedz("poll " + std::to_string(zapytania_) + " ignored");
        return;
    }
    zapytania_ = 0;
    Powiedz("poll answered");
    drugaKopia_ = false;
    Rozpocznij();
}

void Urzadzenie::ZapiszZegar(const std::string &polecenie)
{
    std::printf("CLOCK %s\n", polecenie.c_str());
    std::fflush(stdout);
    if (opcje_.logZegara.empty())
        return;
    // Opened for each line, so that the file is complete whenever it is read.
    std::FILE *plik = std::fopen(opcje_.logZegara.c_str(), "a");
    if (!plik || std::fprintf(plik, "CLOCK %s\n", polecenie.c_str()) < 0 || std::fclose(plik) != 0)
        std::fprintf(stderr, "vestibulomat-sim: cannot write %s: %s\n", opcje_.logZegara.c_str(),
                     std::strerror(errno));
}

void Urzadzenie::Rozpocznij()
{
    wysylane_ = opcje_.powtorz ? raport_ + raport_ : raport_;
    pozycja_ = 0;
    koniecPorcji_ = 0;
    czekaNaMiejsce_ = false;
    startWysylania_ = Zegar::now();
    termin_ = startWysylania_;
    stan_ = Stan::Wysyla;
    if (opcje_.bajtowNaSekunde > 0) {
        // The rate limit holds for every byte: a chunk goes out once the line
        // would have carried its last byte.
        const auto pierwsza = std::min(opcje_.porcja, wysylane_.size());
        termin_ += std::chrono::duration_cast<Zegar::duration>(
            std::chrono::duration<double>(double(pierwsza) / double(opcje_.bajtowNaSekunde)));
    }
}

bool Urzadzenie::Wysylaj()
{
    for (int porcje = 0; porcje < kPorcjiNaRaz; ++porcje) {
        if (opcje_.zerwijPo && wyslanoRazem_ >= *opcje_.zerwijPo) {
            Powiedz("dropping the line after " + std::to_string(wyslanoRazem_) + " bytes");
            linia_.Zamknij();
            return false;
        }
        if (pozycja_ == wysylane_.size()) {
            ZakonczonoWysylanie();
            return true;
        }
        if (koniecPorcji_ == pozycja_) {
            std::size_t n = std::min(opcje_.porcja, wysylane_.size() - pozycja_);
            if (opcje_.zerwijPo)
                n = std::min(n, *opcje_.zerwijPo - wyslanoRazem_);
            koniecPorcji_ = pozycja_ + n;
        }
        const ssize_t k = write(linia_.fd(), wysylane_.data() + pozycja_, koniecPorcji_ - pozycja_);
        if (k < 0) {
            if (errno == EINTR) {
                --porcje;
                continue;
            }
            if (errno == EAGAIN) {
                czekaNaMiejsce_ = true;
                return true;
            }
            if (errno == EIO && linia_.pty()) {
                Rozlaczono();
                return true;
            }
            throw std::runtime_error(std::string("write: ") + std::strerror(errno));
        }
        pozycja_ += std::size_t(k);
        wyslanoRazem_ += std::size_t(k);
        if (pozycja_ < koniecPorcji_) {
            // The other end's buffer is full; the rest of this chunk goes
            // when there is room again.
            czekaNaMiejsce_ = true;
            return true;
        }
        if (pozycja_ == wysylane_.size() || (opcje_.zerwijPo && wyslanoRazem_ >= *opcje_.zerwijPo))
            continue; // finish or drop at the top of the loop, without a pause

        auto nastepny = Zegar::now() + std::chrono::milliseconds(opcje_.przerwaMs);
        if (opcje_.bajtowNaSekunde > 0) {
            const auto koniec = pozycja_ + std::min(opcje_.porcja, wysylane_.size() - pozycja_);
            nastepny = std::max(
                nastepny,
                startWysylania_ +
                    std::chrono::duration_cast<Zegar::duration>(std::chrono::duration<double>(
                        double(koniec) / double(opcje_.bajtowNaSekunde))));
        }
        termin_ = nastepny;
        if (termin_ > Zegar::now())
            return true;
    }
    return true;
}

void Urzadzenie::ZakonczonoWysylanie()
{
    Powiedz("report sent (" + std::to_string(wysylane_.size()) + " bytes)");
    if (opcje_.drugiRaportPoMs && !drugaKopia_) {
        stan_ = Stan::PrzedDrugim;
        termin_ = Zegar::now() + std::chrono::milliseconds(*opcje_.drugiRaportPoMs);
        return;
    }
    wysylane_.clear();
    wysylane_.shrink_to_fit();
    bylRaport_ = true;
    koniecRaportu_ = Zegar::now();
    zapytania_ = 0;
    stan_ = opcje_.raz ? Stan::PoOstatnim : Stan::Czeka;
}

void Urzadzenie::Rozlaczono()
{
    rozlaczona_ = true;
    zegar_.clear();
    zapytania_ = 0;
    czekaNaMiejsce_ = false;
    if (stan_ == Stan::Wysyla || stan_ == Stan::PrzedDrugim) {
        // Bytes sent into a closed port would wait in the pty and reach the
        // next program that opens it; a device's bytes would simply be lost.
        Powiedz("the port was closed during the report; the rest is dropped");
        wysylane_.clear();
        stan_ = Stan::Czeka;
    }
}

bool Urzadzenie::CzekajNaPonowneOtwarcie()
{
    Powiedz("the port was closed; waiting for it to be opened again");
    for (;;) {
        pollfd s{sygnaly_, POLLIN, 0};
        if (poll(&s, 1, kSprawdzOtwarcieMs) > 0)
            return false;
        pollfd m{linia_.fd(), POLLIN, 0};
        if (poll(&m, 1, 0) < 0 && errno != EINTR)
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        if (!(m.revents & POLLHUP)) {
            rozlaczona_ = false;
            Powiedz("the port was opened");
            return true;
        }
        // Nothing to read here: the main loop read what the last program
        // wrote up to the hang-up, and a byte read now could already be the
        // next program's poll.
    }
}

int Urzadzenie::CzasDoTerminu() const
{
    const bool czeka = (stan_ == Stan::Wysyla && !czekaNaMiejsce_) || stan_ == Stan::PrzedDrugim;
    if (!czeka)
        return -1;
    const auto reszta = termin_ - Zegar::now();
    if (reszta <= Zegar::duration::zero())
        return 0;
    // Round up: waking a little late is harmless, waking early spins.
    return int(std::chrono::ceil<std::chrono::milliseconds>(reszta).count());
}

void Urzadzenie::Powiedz(const std::string &co) const
{
    if (opcje_.gadatliwy)
        std::fprintf(stderr, "vestibulomat-sim: %s\n", co.c_str());
}

} // namespace sim
