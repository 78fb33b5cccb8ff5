#pragma once

// The line settings of a port as the Linux terminal driver takes them, and the
// decoding of what it hands back.
//
// The settings go to the driver through termios2 (TCSETS2), so that any speed,
// standard or not, is set the same way. The struct is declared here because
// <asm/termbits.h> clashes with <termios.h>.
//
// Received bytes always come with PARMRK marking: a break arrives as FF 00 00,
// a byte with a parity or framing error (when checking is on) as FF 00 b, and a
// real FF doubled. RxDecoder turns that back into the bytes the device sent and
// notes the events the marks stand for; it also drops NUL bytes and spots the
// event character, which the driver cannot do for us. The modem lines' bits
// are read here too.

#include "CPort.h"

#include <QByteArray>

#include <termios.h>

namespace vm_serial_detail {

struct Termios2
{
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};

// Any speed in c_ispeed/c_ospeed instead of a Bnnn constant.
constexpr tcflag_t kBOTHER = 0010000;

// The driver record for the port's settings: raw transfer, receiver on, modem
// control lines not hanging up on close, PARMRK marking, and every field of the
// port's line settings that Linux has an equivalent for. Throws EComPort 7 with
// EINVAL for a speed that is not positive.
Termios2 TermiosFor(const TCustomComPort &port);

// The speed of a port in bit/s.
int SpeedOf(const TCustomComPort &port);

// The modem input lines as the driver gives them (TIOCMGET bits): the lines
// that are up in status, and the events a change of the lines in changed
// raises. One table gives both, so the state read and the events announced
// never disagree.
TComSignals SignalsFromModemBits(int status);
TComEvents EventsFromModemChange(int changed);
// The bits of all four input lines (what TIOCMIWAIT waits on).
int ModemInputBits();

// Pushes the record to the device; returns 0 or errno.
int ApplyTermios(int fd, const Termios2 &t);
// Reads the device's record; returns 0 or errno.
int ReadTermios(int fd, Termios2 &t);

// Opens the device at path for a port (O_RDWR | O_NOCTTY | O_NONBLOCK |
// O_CLOEXEC: it neither waits for a carrier nor becomes the controlling
// terminal) and makes sure that it is a terminal before anything else is
// asked of it: tcgetattr is the first call on it. What is not a character
// device (a FIFO, a regular file, a folder, a socket) is not even opened;
// a character device that is no terminal (/dev/null) is closed at once, with
// nothing written to it and no other ioctl. Both give ENOTTY. found receives
// the line settings the device had. Returns the descriptor, or -1 with errno.
int OpenTerminal(const QByteArray &path, Termios2 &found);

// Gives the device back as it was found and closes it: exclusive use is
// released (TIOCNXCL) and the line settings found at opening are put back.
void ReleaseTerminal(int fd, const Termios2 &found);

class RxDecoder
{
public:
    struct Config
    {
        bool check = false;
        bool replace = false;
        char replaceChar = 0;
        bool discardNull = false;
        char eventChar = 0;
    };
    struct Marks
    {
        bool eventChar = false;
        bool breakSeen = false;
        bool parityError = false;
    };

    Config config;

    // Decodes n bytes as read from the device, appending the device's bytes to
    // out. A mark split between two reads is carried over.
    void Feed(const char *data, qsizetype n, QByteArray &out, Marks &marks);
    void Reset() { m_state = 0; }

private:
    void Emit(char c, QByteArray &out, Marks &marks);
    // Length of the run at data that passes unchanged.
    qsizetype PlainRun(const char *data, qsizetype n) const;
    int m_state = 0; // 0 plain, 1 after FF, 2 after FF 00
};

} // namespace vm_serial_detail
