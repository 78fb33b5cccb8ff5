// vestibulomat-sim: stands in for the visitor-counting device, on a fresh
// pseudo-terminal or on a real serial port, so that the program, its tests and
// the benchmarks have something to talk to.

#include "Linia.h"
#include "Opcje.h"
#include "Raport.h"
#include "Urzadzenie.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <sys/signalfd.h>

int main(int argc, char **argv)
{
    sim::Opcje opcje;
    try {
        opcje = sim::CzytajOpcje(argc, argv);
    } catch (const sim::BladOpcji &e) {
        std::fprintf(stderr, "vestibulomat-sim: %s\n", e.what());
        return sim::kZlaOpcja;
    }
    if (opcje.pomoc) {
        std::fputs(sim::Uzycie(), stdout);
        return sim::kKoniec;
    }

    try {
        std::signal(SIGPIPE, SIG_IGN);
        // Stop requests are read from a descriptor beside the line, so the
        // device loop sees them at the same poll() and can tidy up (the link).
        sigset_t stop;
        sigemptyset(&stop);
        sigaddset(&stop, SIGINT);
        sigaddset(&stop, SIGTERM);
        sigaddset(&stop, SIGHUP);
        sigprocmask(SIG_BLOCK, &stop, nullptr);
        const int sygnaly = signalfd(-1, &stop, SFD_CLOEXEC | SFD_NONBLOCK);
        if (sygnaly < 0)
            throw std::runtime_error(std::string("signalfd: ") + std::strerror(errno));

        std::string raport = sim::RaportZOpcji(opcje);
        if (!opcje.logZegara.empty()) {
            std::FILE *log = std::fopen(opcje.logZegara.c_str(), "a");
            if (!log)
                throw std::runtime_error("cannot write " + opcje.logZegara + ": " +
                                         std::strerror(errno));
            std::fclose(log);
        }

        sim::Linia linia =
            opcje.port.empty() ? sim::Linia::Pty(opcje.link) : sim::Linia::Urzadzenie(opcje.port);
        std::printf("PORT %s\n", linia.nazwa().c_str());
        std::fflush(stdout);

        sim::Urzadzenie urzadzenie(opcje, linia, std::move(raport), sygnaly);
        return urzadzenie.Dzialaj();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "vestibulomat-sim: %s\n", e.what());
        return sim::kBlad;
    }
}
