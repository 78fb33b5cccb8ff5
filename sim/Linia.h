#pragma once

// The simulator's end of the serial line: the master side of a fresh
// pseudo-terminal, or a real serial device opened raw at 9600 8N1.

#include <string>

namespace sim {

class Linia
{
public:
    // A new pseudo-terminal in raw mode; `link`, when not empty, becomes a
    // symlink to its slave for as long as this object lives.
    static Linia Pty(const std::string &link);

    // A serial device, raw, 9600 bit/s, 8 data bits, no parity, one stop bit,
    // no handshake.
    static Linia Urzadzenie(const std::string &sciezka);

    Linia(Linia &&inna) noexcept;
    Linia &operator=(Linia &&) = delete;
    Linia(const Linia &) = delete;
    ~Linia();

    int fd() const { return fd_; }
    bool pty() const { return pty_; }

    // The name the program should open.
    const std::string &nazwa() const { return nazwa_; }

    // Lets bytes already written reach the other end (as bytes on a wire
    // would), then closes the line and removes the link.
    void Zamknij();

private:
    Linia() = default;
    void UsunLink();

    int fd_ = -1;
    bool pty_ = false;
    std::string nazwa_;
    std::string link_;
};

} // namespace sim
