#include "LiniaTermios.h"

#include <asm/ioctls.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vm_serial_detail {

namespace {

static_assert(sizeof(Termios2) == 44, "termios2 layout of this architecture");

// The kernel's TCGETS2/TCSETS2 name "struct termios2", which <termios.h> does
// not declare; spell them out with our own struct of the same layout.
constexpr unsigned long kTCGETS2 = _IOR('T', 0x2A, Termios2);
constexpr unsigned long kTCSETS2 = _IOW('T', 0x2B, Termios2);

struct ModemLine
{
    int bit;
    TComSignal signal;
    TComEvent event;
};
constexpr ModemLine kModemLines[] = {{TIOCM_CTS, csCTS, evCTS},
                                     {TIOCM_DSR, csDSR, evDSR},
                                     {TIOCM_RNG, csRing, evRing},
                                     {TIOCM_CD, csRLSD, evRLSD}};

// The speeds the driver knows by constant; anything else goes as BOTHER.
tcflag_t StandardSpeed(int bps)
{
    switch (bps) {
    case 50:
        return B50;
    case 75:
        return B75;
    case 110:
        return B110;
    case 134:
        return B134;
    case 150:
        return B150;
    case 200:
        return B200;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 1800:
        return B1800;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 500000:
        return B500000;
    case 576000:
        return B576000;
    case 921600:
        return B921600;
    case 1000000:
        return B1000000;
    default:
        return kBOTHER;
    }
}

} // namespace

int SpeedOf(const TCustomComPort &port)
{
    return port.BaudRate() == brCustom ? port.CustomBaudRate() : BaudRateValue(port.BaudRate());
}

Termios2 TermiosFor(const TCustomComPort &port)
{
    Termios2 t;
    std::memset(&t, 0, sizeof t);

    const int bps = SpeedOf(port);
    if (bps <= 0)
        throw EComPort(CError_SetStateFailed, EINVAL, port.Port());
    t.c_cflag = CREAD | CLOCAL | StandardSpeed(bps);
    t.c_ispeed = static_cast<speed_t>(bps);
    t.c_ospeed = static_cast<speed_t>(bps);

    switch (port.DataBits()) {
    case dbFive:
        t.c_cflag |= CS5;
        break;
    case dbSix:
        t.c_cflag |= CS6;
        break;
    case dbSeven:
        t.c_cflag |= CS7;
        break;
    case dbEight:
        t.c_cflag |= CS8;
        break;
    }

    switch (port.Parity().Bits()) {
    case prNone:
        break;
    case prOdd:
        t.c_cflag |= PARENB | PARODD;
        break;
    case prEven:
        t.c_cflag |= PARENB;
        break;
    case prMark:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case prSpace:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    }

    // Linux has no 1.5 stop bits as such: CSTOPB gives 1.5 with 5 data bits on
    // the usual UARTs and 2 otherwise, which is what the hardware does anyway.
    if (port.StopBits() != sbOneStopBit)
        t.c_cflag |= CSTOPB;

    // CRTSCTS is one switch for both directions: it holds output while CTS is
    // off and drives RTS as the input handshake. Either half turns it on.
    const TComFlowControl &fc = port.FlowControl();
    if (fc.OutCTSFlow() || fc.ControlRTS() == rtsHandshake)
        t.c_cflag |= CRTSCTS;

    // Marking always: breaks then show up in the byte stream (and wake the
    // event thread); parity errors are marked only while checking is on.
    t.c_iflag = PARMRK;
    if (port.Parity().Check())
        t.c_iflag |= INPCK;
    if (fc.XonXoffOut())
        t.c_iflag |= IXON;
    if (fc.XonXoffIn())
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(fc.XonChar());
    t.c_cc[VSTOP] = static_cast<cc_t>(fc.XoffChar());
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return t;
}

TComSignals SignalsFromModemBits(int status)
{
    TComSignals s;
    for (const ModemLine &line : kModemLines)
        if (status & line.bit)
            s.insert(line.signal);
    return s;
}

TComEvents EventsFromModemChange(int changed)
{
    TComEvents events;
    for (const ModemLine &line : kModemLines)
        if (changed & line.bit)
            events.insert(line.event);
    return events;
}

int ModemInputBits()
{
    int bits = 0;
    for (const ModemLine &line : kModemLines)
        bits |= line.bit;
    return bits;
}

int ApplyTermios(int fd, const Termios2 &t)
{
    Termios2 copy = t;
    if (::ioctl(fd, kTCSETS2, &copy) < 0)
        return errno;
    return 0;
}

int ReadTermios(int fd, Termios2 &t)
{
    if (::ioctl(fd, kTCGETS2, &t) < 0)
        return errno;
    return 0;
}

int OpenTerminal(const QByteArray &path, Termios2 &found)
{
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return -1;
    if (!S_ISCHR(st.st_mode)) {
        errno = ENOTTY;
        return -1;
    }
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios probe;
    const int e = ::tcgetattr(fd, &probe) == 0 ? ReadTermios(fd, found) : errno;
    if (e != 0) {
        ::close(fd);
        errno = e;
        return -1;
    }
    return fd;
}

void ReleaseTerminal(int fd, const Termios2 &found)
{
    // A device that is gone refuses both; it is closed all the same.
    ::ioctl(fd, TIOCNXCL);
    ApplyTermios(fd, found);
    ::close(fd);
}

void RxDecoder::Emit(char c, QByteArray &out, Marks &marks)
{
    if (c == 0 && config.discardNull)
        return;
    if (c == config.eventChar)
        marks.eventChar = true;
    out.append(c);
}

qsizetype RxDecoder::PlainRun(const char *data, qsizetype n) const
{
    // Bytes that pass unchanged: no mark, and no NUL while NULs are dropped.
    qsizetype i = 0;
    if (config.discardNull) {
        while (i < n && static_cast<unsigned char>(data[i]) != 0xFF && data[i] != 0)
            ++i;
    } else {
        const void *ff = std::memchr(data, 0xFF, size_t(n));
        i = ff ? static_cast<const char *>(ff) - data : n;
    }
    return i;
}

void RxDecoder::Feed(const char *data, qsizetype n, QByteArray &out, Marks &marks)
{
    for (qsizetype i = 0; i < n; ++i) {
        if (m_state == 0) {
            // Most of a report is plain bytes: appended a run at a time.
            const qsizetype run = PlainRun(data + i, n - i);
            if (run > 0) {
                if (!marks.eventChar && std::memchr(data + i, config.eventChar, size_t(run)))
                    marks.eventChar = true;
                out.append(data + i, run);
                i += run;
                if (i == n)
                    break;
            }
        }
        const char c = data[i];
        switch (m_state) {
        case 0:
            if (static_cast<unsigned char>(c) == 0xFF)
                m_state = 1;
            else
                Emit(c, out, marks);
            break;
        case 1:
            if (static_cast<unsigned char>(c) == 0xFF) {
                m_state = 0;
                Emit(c, out, marks);
            } else if (c == 0) {
                m_state = 2;
            } else {
                // Not a mark the driver makes; keep both bytes rather than lose one.
                m_state = 0;
                Emit('\xFF', out, marks);
                Emit(c, out, marks);
            }
            break;
        case 2:
            m_state = 0;
            if (c == 0) {
                // FF 00 00 is a break. A NUL received with a parity error looks
                // the same; it is taken as the break.
                marks.breakSeen = true;
            } else {
                marks.parityError = true;
                Emit(config.check && config.replace ? config.replaceChar : c, out, marks);
            }
            break;
        }
    }
}

} // namespace vm_serial_detail
