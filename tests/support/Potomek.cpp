#include "Potomek.h"

#include <QElapsedTimer>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

WynikPotomka UruchomWPotomku(const std::function<QString()> &sprawdzenie, int limitMs,
                             bool jakoNobody)
{
    WynikPotomka wynik;
    int rura[2];
    if (::pipe(rura) != 0)
        return wynik;
    const pid_t dziecko = ::fork();
    if (dziecko < 0)
        return wynik;
    if (dziecko == 0) {
        ::close(rura[0]);
        if (jakoNobody && ::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        const QByteArray tekst = sprawdzenie().toUtf8();
        const bool ok = ::write(rura[1], tekst.constData(), size_t(tekst.size())) == tekst.size();
        ::_exit(ok ? 0 : 3);
    }
    ::close(rura[1]);
    ::fcntl(rura[0], F_SETFL, O_NONBLOCK);
    QByteArray tekst;
    QElapsedTimer zegar;
    zegar.start();
    int stan = 0;
    for (;;) {
        char bufor[512];
        ssize_t n;
        while ((n = ::read(rura[0], bufor, sizeof bufor)) > 0)
            tekst.append(bufor, n);
        if (::waitpid(dziecko, &stan, WNOHANG) == dziecko) {
            wynik.naCzas = true;
            break;
        }
        if (zegar.elapsed() > limitMs) {
            ::kill(dziecko, SIGKILL);
            ::waitpid(dziecko, &stan, 0);
            break;
        }
        ::usleep(10000);
    }
    char bufor[512];
    ssize_t n;
    while ((n = ::read(rura[0], bufor, sizeof bufor)) > 0)
        tekst.append(bufor, n);
    ::close(rura[0]);
    wynik.ok = wynik.naCzas && WIFEXITED(stan) && WEXITSTATUS(stan) == 0;
    wynik.tekst = QString::fromUtf8(tekst);
    return wynik;
}

bool WlasnePunktyMontowania()
{
    return ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}
