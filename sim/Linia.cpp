#include "Linia.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace sim {

namespace {

[[noreturn]] void Blad(const std::string &co)
{
    throw std::runtime_error(co + ": " + std::strerror(errno));
}

void Surowy(int fd, bool ustawPredkosc)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        Blad("tcgetattr");
    cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (ustawPredkosc) {
        cfsetispeed(&t, B9600);
        cfsetospeed(&t, B9600);
    }
    if (tcsetattr(fd, TCSANOW, &t) != 0)
        Blad("tcsetattr");
}

} // namespace

Linia Linia::Pty(const std::string &link)
{
    Linia l;
    l.pty_ = true;
    l.fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (l.fd_ < 0)
        Blad("posix_openpt");
    if (grantpt(l.fd_) != 0)
        Blad("grantpt");
    if (unlockpt(l.fd_) != 0)
        Blad("unlockpt");
    char nazwa[128];
    if (ptsname_r(l.fd_, nazwa, sizeof nazwa) != 0)
        Blad("ptsname");
    l.nazwa_ = nazwa;
    // Termios set through the master belong to the slave: with no echo and no
    // CR/LF translation the program sees the report's bytes as they are, and
    // its polls are not echoed back to us as if the device had sent them.
    Surowy(l.fd_, false);

    if (!link.empty()) {
        struct stat st
        {
        };
        if (lstat(link.c_str(), &st) == 0) {
            // A link left by an earlier run that was killed is replaced;
            // anything else at that place is not ours to remove.
            if (!S_ISLNK(st.st_mode))
                throw std::runtime_error(link + " exists and is not a symlink");
            if (unlink(link.c_str()) != 0)
                Blad("cannot replace " + link);
        }
        if (symlink(l.nazwa_.c_str(), link.c_str()) != 0)
            Blad("cannot create link " + link);
        l.link_ = link;
    }
    return l;
}

Linia Linia::Urzadzenie(const std::string &sciezka)
{
    Linia l;
    l.nazwa_ = sciezka;
    l.fd_ = open(sciezka.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (l.fd_ < 0)
        Blad("cannot open " + sciezka);
    Surowy(l.fd_, true);
    tcflush(l.fd_, TCIOFLUSH);
    return l;
}

Linia::Linia(Linia &&inna) noexcept
    : fd_(std::exchange(inna.fd_, -1))
    , pty_(inna.pty_)
    , nazwa_(std::move(inna.nazwa_))
    , link_(std::exchange(inna.link_, {}))
{}

Linia::~Linia()
{
    if (fd_ >= 0)
        close(fd_);
    UsunLink();
}

void Linia::Zamknij()
{
    if (fd_ < 0)
        return;
    if (pty_) {
        // A pty has no transmit queue we could wait on, and closing the master
        // throws away what the slave has not read yet. Give the reader a
        // moment, as the last bytes on a real wire would still arrive.
        poll(nullptr, 0, 100);
    } else {
        tcdrain(fd_);
    }
    close(fd_);
    fd_ = -1;
    UsunLink();
}

void Linia::UsunLink()
{
    if (link_.empty())
        return;
    // Remove it only while it still points at our slave: a later run may have
    // taken the name over.
    char cel[256];
    const ssize_t n = readlink(link_.c_str(), cel, sizeof cel - 1);
    if (n >= 0 && std::string(cel, std::size_t(n)) == nazwa_)
        unlink(link_.c_str());
    link_.clear();
}

} // namespace sim
