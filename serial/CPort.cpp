#include "CPort.h"

#include "ComThread.h"
#include "Komunikaty.h"
#include "LiniaTermios.h"
#include "PortList.h"

#include <QByteArray>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace vm_serial_detail;

namespace {

using Clock = std::chrono::steady_clock;

// Drivers without modem lines (a pseudo-terminal) refuse the modem ioctls so.
bool IsNoModemErrno(int e)
{
    return e == ENOTTY || e == EINVAL;
}

// Milliseconds left until deadline, never negative.
int MsLeft(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

// --- enumerations --------------------------------------------------------------

int BaudRateValue(TBaudRate rate)
{
    static const int values[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
    const int i = static_cast<int>(rate);
    return i >= 0 && i < 16 ? values[i] : 0;
}

namespace {
const quint32 kEventBits[] = {0x0001, 0x0004, 0x0002, 0x0100, 0x0040,
                              0x0008, 0x0010, 0x0080, 0x0020, 0x0400};
}

quint32 EventsToMask(TComEvents events)
{
    quint32 mask = 0;
    for (int i = 0; i < 10; ++i)
        if (events.contains(static_cast<TComEvent>(i)))
            mask |= kEventBits[i];
    return mask;
}

TComEvents EventsFromMask(quint32 mask)
{
    TComEvents events;
    for (int i = 0; i < 10; ++i)
        if (mask & kEventBits[i])
            events.insert(static_cast<TComEvent>(i));
    return events;
}

// --- the port ------------------------------------------------------------------

TCustomComPort::TCustomComPort(QObject *owner)
    : QObject(owner)
    , m_rx(std::make_unique<RxState>())
{}

TCustomComPort::~TCustomComPort()
{
    OnBeforeOpen = OnAfterOpen = OnBeforeClose = OnAfterClose = nullptr;
    OnRxChar = nullptr;
    OnRxBuf = nullptr;
    OnTxEmpty = OnBreak = OnRing = OnRxFlag = OnRx80Full = nullptr;
    OnCTSChange = OnDSRChange = OnRLSDChange = nullptr;
    OnError = nullptr;
    OnDeviceLost = nullptr;
    CloseInternal(true);
}

void TCustomComPort::SetConnected(bool value)
{
    if (m_loading) {
        m_loadedConnected = value;
        return;
    }
    if (value == Connected())
        return;
    if (value)
        Open();
    else
        Close();
}

void TCustomComPort::Loaded()
{
    m_loading = false;
    if (m_loadedConnected) {
        m_loadedConnected = false;
        Komunikaty::Chron([&] { Open(); });
    }
}

void TCustomComPort::SetPort(const QString &name)
{
    if (name == m_port)
        return;
    if (Connected() && !m_loading) {
        Close();
        m_port = name;
        Open();
        return;
    }
    m_port = name;
}

void TCustomComPort::SetBaudRate(TBaudRate v)
{
    if (Store(m_baudRate, v))
        ApplyLineSettings();
}
void TCustomComPort::SetCustomBaudRate(int v)
{
    if (Store(m_customBaudRate, v))
        ApplyLineSettings();
}
void TCustomComPort::SetStopBits(TStopBits v)
{
    if (Store(m_stopBits, v))
        ApplyLineSettings();
}
void TCustomComPort::SetDataBits(TDataBits v)
{
    if (Store(m_dataBits, v))
        ApplyLineSettings();
}
void TCustomComPort::SetDiscardNull(bool v)
{
    if (Store(m_discardNull, v))
        ApplyLineSettings();
}
void TCustomComPort::SetEventChar(char v)
{
    if (Store(m_eventChar, v))
        ApplyLineSettings();
}

void TCustomComPort::SetSyncMethod(TSyncMethod v)
{
    if (v == m_syncMethod)
        return;
    if (Connected())
        throw EComPort(CError_ConnChangeProp);
    m_syncMethod = v;
}

QString TCustomComPort::DevicePath(const QString &portName)
{
    return SerialDevicePath(portName);
}

void TCustomComPort::OpenDevice()
{
    const QString path = DevicePath(m_port);
    if (m_port.isEmpty())
        throw EComPort(CError_OpenFailed, ENOENT, m_port);

    // Nothing but a terminal is touched: a path that names anything else
    // gets no ioctl and no byte.
    auto found = std::make_unique<Termios2>();
    const int fd = OpenTerminal(path.toLocal8Bit(), *found);
    if (fd < 0) {
        const int e = errno;
        throw EComPort(CError_OpenFailed, e, m_port);
    }
    // Nothing is changed yet: a refused open leaves the device alone (a copy
    // that holds it keeps its exclusive use and its lines).
    auto fail = [this, fd](int e) {
        ::close(fd);
        throw EComPort(CError_OpenFailed, e, m_port);
    };

    // Exclusive use: flock stops a second copy of the program (also one run by
    // root, which TIOCEXCL does not stop); TIOCEXCL stops other programs.
    if (::flock(fd, LOCK_EX | LOCK_NB) < 0) {
        const int e = errno;
        fail(e == EWOULDBLOCK ? EBUSY : e);
    }
    if (::ioctl(fd, TIOCEXCL) < 0)
        fail(errno);

    // The kernel raised DTR and RTS on open; a line held off goes down at once
    // (a pulse of some microseconds cannot be avoided).
    {
        int lines = 0;
        if (m_flowControl.ControlDTR() == dtrDisable)
            lines |= TIOCM_DTR;
        if (m_flowControl.ControlRTS() == rtsDisable || m_flowControl.ControlRTS() == rtsToggle)
            lines |= TIOCM_RTS;
        if (lines)
            ::ioctl(fd, TIOCMBIC, &lines);
    }
    m_found = std::move(found);
    m_fd = fd;
}

void TCustomComPort::CloseDevice()
{
    if (m_fd < 0)
        return;
    // Left as it was found: not exclusive, with its own line settings.
    ReleaseTerminal(m_fd, *m_found);
    m_found.reset();
    m_fd = -1;
}

void TCustomComPort::ApplySettings()
{
    ApplyBufferSizes();
    ApplyLineSettings();
    ApplyTimeouts();
}

void TCustomComPort::ApplyBufferSizes()
{
    // Linux sizes the kernel's queues itself; what is ours is the 80 % mark.
    std::lock_guard<std::mutex> g(m_rx->lock);
    m_rx->rx80Level = qMax(1, m_buffer.InputSize() * 8 / 10);
}

void TCustomComPort::ApplyTimeouts()
{
    // The time-outs are applied by WriteText and ReadText themselves.
}

void TCustomComPort::SetRtsLine(bool on)
{
    if (!m_modemLines || m_fd < 0)
        return;
    int bits = TIOCM_RTS;
    if (::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bits) < 0 && IsNoModemErrno(errno))
        m_modemLines = false;
}

void TCustomComPort::ApplyLineSettings()
{
    if (!CanApply())
        return;
    const Termios2 t = TermiosFor(*this);
    if (const int e = ApplyTermios(m_fd, t))
        throw EComPort(CError_SetStateFailed, e, m_port);

    {
        std::lock_guard<std::mutex> g(m_rx->lock);
        RxDecoder::Config c;
        c.check = m_parity.Check();
        c.replace = m_parity.Replace();
        c.replaceChar = m_parity.ReplaceChar();
        c.discardNull = m_discardNull;
        c.eventChar = m_eventChar;
        m_rx->decoder.config = c;
    }

    // Settings may move the control lines (leaving speed 0 raises both):
    // put them where the settings want them. Under CRTSCTS the driver owns RTS.
    if (!m_modemLines)
        return;
    int on = 0, off = 0;
    (m_flowControl.ControlDTR() == dtrDisable ? off : on) |= TIOCM_DTR;
    if (!(t.c_cflag & CRTSCTS))
        (m_flowControl.ControlRTS() == rtsEnable ? on : off) |= TIOCM_RTS;
    for (auto [request, bits] : {std::pair{TIOCMBIS, on}, std::pair{TIOCMBIC, off}}) {
        if (!bits || ::ioctl(m_fd, request, &bits) == 0)
            continue;
        const int e = errno;
        if (IsNoModemErrno(e)) {
            m_modemLines = false;
            return;
        }
        throw EComPort(CError_SetStateFailed, e, m_port);
    }
}

void TCustomComPort::Open()
{
    if (Connected())
        return;
    if (OnBeforeOpen)
        OnBeforeOpen(this);

    OpenDevice();
    m_modemLines = true;
    {
        std::lock_guard<std::mutex> g(m_rx->lock);
        m_rx->queue.clear();
        m_rx->decoder.Reset();
        m_rx->appended = m_rx->eventChar = m_rx->breakSeen = m_rx->crossed80 = false;
        m_rx->backlog = false;
        m_rx->errors = TComErrors();
        m_rx->countersOk = true;
        m_rx->haveCounters = false;
        m_rx->threadRunning = false;
    }
    m_connected.store(true);
    const quint64 generation = m_generation.fetch_add(1) + 1;

    try {
        ApplySettings();
        if (!m_events.isEmpty()) {
            auto thread =
                std::make_unique<TComThread>(this, m_fd, m_events, m_syncMethod, generation);
            {
                std::lock_guard<std::mutex> g(m_rx->lock);
                CollectCountersLocked(); // the baseline for line errors
                m_rx->errors = TComErrors();
                m_rx->threadRunning = true;
                m_rx->thread = thread.get();
            }
            if (const int e = thread->Begin())
                throw EComPort(CError_OpenFailed, e, m_port);
            m_thread = std::move(thread);
        }
    } catch (...) {
        {
            std::lock_guard<std::mutex> g(m_rx->lock);
            m_rx->threadRunning = false;
            m_rx->thread = nullptr;
        }
        CloseDevice();
        m_connected.store(false);
        throw;
    }

    if (OnAfterOpen)
        OnAfterOpen(this);

    const TComSignals s = ModemSignals();
    if (OnCTSChange)
        OnCTSChange(this, s.contains(csCTS));
    if (OnDSRChange)
        OnDSRChange(this, s.contains(csDSR));
    if (OnRLSDChange)
        OnRLSDChange(this, s.contains(csRLSD));
}

void TCustomComPort::Close()
{
    CloseInternal(false);
}

void TCustomComPort::StopThread()
{
    if (!m_thread)
        return;
    m_thread->Stop();
    {
        std::lock_guard<std::mutex> g(m_rx->lock);
        m_rx->threadRunning = false;
        m_rx->thread = nullptr;
    }
    m_thread.reset();
}

void TCustomComPort::CloseInternal(bool forced)
{
    if (!Connected() || m_closing)
        return;
    m_closing = true;
    struct ClosingGuard
    {
        bool &flag;
        ~ClosingGuard() { flag = false; }
    } guard{m_closing};

    if (!forced) {
        if (OnCTSChange)
            OnCTSChange(this, false);
        if (OnDSRChange)
            OnDSRChange(this, false);
        if (OnRLSDChange)
            OnRLSDChange(this, false);
        if (OnBeforeClose)
            OnBeforeClose(this);
        AbortPending();
    } else {
        if (m_fd >= 0)
            ::tcflush(m_fd, TCOFLUSH);
    }
    StopThread();
    CloseDevice();
    m_connected.store(false);
    {
        std::lock_guard<std::mutex> g(m_rx->lock);
        m_rx->queue.clear();
    }
    if (!forced && OnAfterClose)
        OnAfterClose(this);
}

void TCustomComPort::DeviceLost(quint64 generation, int errnoValue)
{
    if (!Connected() || generation != m_generation.load() || m_closing)
        return;
    // The device is gone: end closed, so that the next Open starts afresh. The
    // handlers see the usual closing sequence; dropping unsent output does not
    // fail on a device that is not there.
    Komunikaty::Chron([&] { Close(); });
    if (Connected())
        CloseInternal(true); // a closing handler failed; closed all the same
    const EComPort error(CError_ReadFailed, errnoValue, m_port);
    if (OnDeviceLost)
        Komunikaty::Chron([&] { OnDeviceLost(this, error); });
    else
        Komunikaty::PokazWyjatek(error);
}

// --- receiving -----------------------------------------------------------------

int TCustomComPort::PumpLocked(bool &lost, bool fromThread)
{
    RxState &rx = *m_rx;
    if (m_fd < 0)
        return EBADF;
    char buf[4096];
    bool brought = false;
    struct WakeThread
    {
        RxState &rx;
        const bool &brought;
        bool fromThread;
        ~WakeThread()
        {
            if (brought && !fromThread && rx.thread)
                rx.thread->Kick();
        }
    } wake{rx, brought, fromThread};
    // A fast line refills the device as quickly as it is read: without a
    // limit one call would read for as long as the sender keeps going, with
    // the window's thread waiting on it. The limit counts raw bytes too, as
    // discarded NULs never reach the queue.
    qsizetype readNow = 0;
    for (;;) {
        if (readNow >= RxChunk || (rx.queue.size() >= RxChunk && (readNow > 0 || !fromThread))) {
            // Stopped with nothing read, the last look still tells what the
            // device holds; stopped after reading, it may hold more.
            if (readNow > 0)
                rx.backlog = true;
            return 0;
        }
        const ssize_t n = ::read(m_fd, buf, qMin<qsizetype>(sizeof buf, RxChunk - readNow));
        if (n > 0) {
            readNow += n;
            const qsizetype before = rx.queue.size();
            RxDecoder::Marks marks;
            rx.decoder.Feed(buf, n, rx.queue, marks);
            brought = true;
            if (rx.queue.size() > before)
                rx.appended = true;
            if (before < rx.rx80Level && rx.queue.size() >= rx.rx80Level)
                rx.crossed80 = true;
            if (marks.eventChar)
                rx.eventChar = true;
            if (marks.breakSeen) {
                rx.breakSeen = true;
                rx.errors.insert(ceBreak);
            }
            if (marks.parityError)
                rx.errors.insert(ceRxParity);
            continue;
        }
        if (n == 0) {
            lost = true;
            rx.backlog = false;
            return 0;
        }
        if (errno == EINTR)
            continue;
        rx.backlog = false;
        if (errno == EAGAIN)
            return 0;
        return errno;
    }
}

void TCustomComPort::CollectCountersLocked()
{
    RxState &rx = *m_rx;
    if (!rx.countersOk || m_fd < 0)
        return;
    serial_icounter_struct now;
    std::memset(&now, 0, sizeof now);
    if (::ioctl(m_fd, TIOCGICOUNT, &now) < 0) {
        rx.countersOk = false; // a pseudo-terminal keeps no counters
        return;
    }
    if (rx.haveCounters) {
        const serial_icounter_struct &was = rx.counters;
        if (now.frame != was.frame)
            rx.errors.insert(ceFrame);
        if (now.parity != was.parity && rx.decoder.config.check)
            rx.errors.insert(ceRxParity);
        if (now.overrun != was.overrun)
            rx.errors.insert(ceOverrun);
        if (now.buf_overrun != was.buf_overrun)
            rx.errors.insert(ceRxOver);
        if (now.brk != was.brk) {
            rx.errors.insert(ceBreak);
            rx.breakSeen = true;
        }
    }
    rx.counters = now;
    rx.haveCounters = true;
}

int TCustomComPort::BytesWaitingChecked(int errorNumber)
{
    std::lock_guard<std::mutex> g(m_rx->lock);
    bool lost = false;
    const int e = PumpLocked(lost);
    // A lost device is the event thread's to report (once); until then the
    // bytes already queued can still be read.
    if (e != 0 && !(IsDeviceLossErrno(e) && m_rx->threadRunning))
        throw EComPort(errorNumber, e, m_port);
    if (lost && !m_rx->threadRunning)
        throw EComPort(errorNumber, EIO, m_port);
    return static_cast<int>(m_rx->queue.size());
}

int TCustomComPort::BytesWaiting()
{
    return BytesWaitingChecked(CError_ClearComFailed);
}

TComErrors TCustomComPort::LineErrors()
{
    if (m_fd < 0)
        throw EComPort(CError_ClearComFailed, EBADF, m_port);
    std::lock_guard<std::mutex> g(m_rx->lock);
    CollectCountersLocked();
    TComErrors errors = m_rx->errors;
    m_rx->errors = TComErrors();
    if (!m_parity.Check())
        errors.remove(ceRxParity);
    return errors;
}

TComSignals TCustomComPort::ModemSignals()
{
    if (m_fd < 0)
        throw EComPort(CError_ModemStatFailed, EBADF, m_port);
    int status = 0;
    if (::ioctl(m_fd, TIOCMGET, &status) < 0) {
        const int e = errno;
        if (IsNoModemErrno(e))
            return TComSignals();
        throw EComPort(CError_ModemStatFailed, e, m_port);
    }
    return SignalsFromModemBits(status);
}

void TCustomComPort::AbortPending()
{
    if (m_fd < 0)
        return;
    if (::tcflush(m_fd, TCOFLUSH) < 0) {
        const int e = errno;
        if (!IsDeviceLossErrno(e))
            throw EComPort(CError_PurgeFailed, e, m_port);
    }
}

QByteArray TCustomComPort::ReadText(int count)
{
    if (count <= 0)
        return QByteArray();
    if (m_fd < 0)
        throw EComPort(CError_ReadFailed, EBADF, m_port);

    auto take = [&](QByteArray &out) {
        std::lock_guard<std::mutex> g(m_rx->lock);
        bool lost = false;
        const int e = PumpLocked(lost);
        if (e != 0 && !(IsDeviceLossErrno(e) && m_rx->threadRunning))
            throw EComPort(CError_ReadFailed, e, m_port);
        const qsizetype n = qMin<qsizetype>(count - out.size(), m_rx->queue.size());
        out.append(m_rx->queue.constData(), n);
        m_rx->queue.remove(0, n);
        return lost || e != 0;
    };

    QByteArray out;
    const int interval = m_timeouts.ReadInterval();
    const int mult = m_timeouts.ReadTotalMultiplier();
    const int constant = m_timeouts.ReadTotalConstant();
    bool gone = take(out);
    // Interval "infinite" with no total: what is queued, at once.
    if (interval == -1 && mult == 0 && constant == 0)
        return out;

    const bool total = mult != 0 || constant != 0;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(qint64(mult) * count + constant);
    Clock::time_point lastByte = Clock::now();
    while (out.size() < count && !gone) {
        int waitMs = -1;
        if (total)
            waitMs = MsLeft(deadline);
        if (interval > 0 && !out.isEmpty()) {
            const int left = MsLeft(lastByte + std::chrono::milliseconds(interval));
            waitMs = waitMs < 0 ? left : qMin(waitMs, left);
        }
        if (waitMs == 0)
            break;
        // The event thread may read the device first; look at both every few ms.
        pollfd p{m_fd, POLLIN, 0};
        ::poll(&p, 1, waitMs < 0 ? 10 : qMin(waitMs, 10));
        const qsizetype before = out.size();
        gone = take(out);
        if (out.size() > before)
            lastByte = Clock::now();
    }
    return out;
}

int TCustomComPort::WriteText(const QByteArray &text)
{
    if (text.isEmpty())
        return 0;
    if (m_fd < 0)
        throw EComPort(CError_WriteFailed, EBADF, m_port);

    const qint64 limitMs =
        qint64(m_timeouts.WriteTotalMultiplier()) * text.size() + m_timeouts.WriteTotalConstant();
    const bool limited =
        m_timeouts.WriteTotalMultiplier() != 0 || m_timeouts.WriteTotalConstant() != 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    const bool toggle = m_flowControl.ControlRTS() == rtsToggle;
    if (toggle)
        SetRtsLine(true);

    qsizetype sent = 0;
    while (sent < text.size()) {
        const ssize_t n = ::write(m_fd, text.constData() + sent, text.size() - sent);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            const int e = errno;
            if (toggle)
                SetRtsLine(false);
            throw EComPort(CError_WriteFailed, e, m_port);
        }
        const int waitMs = limited ? MsLeft(deadline) : -1;
        pollfd p{m_fd, POLLOUT, 0};
        if (waitMs == 0 || (::poll(&p, 1, waitMs) == 0)) {
            if (toggle)
                SetRtsLine(false);
            throw EComPort(CError_WriteFailed, ETIMEDOUT, m_port);
        }
        if (p.revents & (POLLERR | POLLHUP)) {
            if (toggle)
                SetRtsLine(false);
            throw EComPort(CError_WriteFailed, EIO, m_port);
        }
    }
    {
        std::lock_guard<std::mutex> g(m_rx->lock);
        if (m_rx->thread)
            m_rx->thread->NoteWrite();
    }

    if (toggle) {
        // RTS stays up until the driver's queue is empty (the last byte may
        // still be in the UART's shift register then).
        for (;;) {
            int queued = 0;
            if (::ioctl(m_fd, TIOCOUTQ, &queued) < 0 || queued == 0)
                break;
            if (limited && MsLeft(deadline) == 0)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        SetRtsLine(false);
    }
    return static_cast<int>(sent);
}

// --- dispatch ------------------------------------------------------------------

void TCustomComPort::RunHandOver()
{
    // A late call finds the slot empty (Close ran the batch) or no thread.
    if (m_thread)
        m_thread->RunPending();
}

void TCustomComPort::RunWindowEvent(quint64 generation, quint32 eventBit)
{
    Komunikaty::Chron([&] { DispatchBatch(generation, EventsFromMask(eventBit)); });
}

void TCustomComPort::ShowError(const QString &text, const QString &details)
{
    Komunikaty::PokazBlad(text, details);
}

void TCustomComPort::DispatchBatch(quint64 generation, TComEvents batch)
{
    for (TComEvent ev : kDispatchOrder) {
        // A handler may have closed (or closed and reopened) the port.
        if (!Connected() || generation != m_generation.load())
            return;
        if (batch.contains(ev))
            DispatchOne(ev);
    }
}

void TCustomComPort::DispatchOne(TComEvent ev)
{
    switch (ev) {
    case evError: {
        const TComErrors errors = LineErrors();
        if (!errors.isEmpty() && OnError)
            OnError(this, errors);
        break;
    }
    case evRxChar: {
        const int count = BytesWaiting();
        if (count > 0 && OnRxChar)
            OnRxChar(this, count);
        break;
    }
    case evTxEmpty:
        if (OnTxEmpty)
            OnTxEmpty(this);
        break;
    case evBreak:
        if (OnBreak)
            OnBreak(this);
        break;
    case evRing:
        if (OnRing)
            OnRing(this);
        break;
    case evRxFlag:
        if (OnRxFlag)
            OnRxFlag(this);
        break;
    case evRx80Full:
        if (OnRx80Full)
            OnRx80Full(this);
        break;
    case evCTS:
        if (OnCTSChange)
            OnCTSChange(this, ModemSignals().contains(csCTS));
        break;
    case evDSR:
        if (OnDSRChange)
            OnDSRChange(this, ModemSignals().contains(csDSR));
        break;
    case evRLSD:
        if (OnRLSDChange)
            OnRLSDChange(this, ModemSignals().contains(csRLSD));
        break;
    }
}
