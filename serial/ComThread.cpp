#include "ComThread.h"

#include "Komunikaty.h"

#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace vm_serial_detail;

namespace {

// How often the output queue is looked at while written bytes drain. Output
// that does not move (CTS held low, a device that stopped reading) is looked
// at less and less often, up to once a second, so a stuck line does not keep
// the thread awake; a new write or a shrinking queue starts again at 5 ms.
constexpr int kDrainPollMs = 5;
constexpr int kDrainPollMaxMs = 1000;

// TIOCMIWAIT only returns on a line change or a signal; this one, with a
// handler that does nothing and no SA_RESTART, is how Close wakes the watcher.
int WakeSignal()
{
    static const int sig = [] {
        const int s = SIGRTMIN + 4;
        struct sigaction sa;
        std::memset(&sa, 0, sizeof sa);
        sa.sa_handler = [](int) {};
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;
        sigaction(s, &sa, nullptr);
        return s;
    }();
    return sig;
}

} // namespace

bool HandOver::RunPending(TCustomComPort *port)
{
    TComEvents b;
    quint64 gen;
    {
        std::lock_guard<std::mutex> g(lock);
        if (!pending || taken)
            return false;
        taken = true;
        b = batch;
        gen = generation;
    }
    // An error in a handler goes to the general error handler here, on the
    // user-interface thread, and the thread goes on waiting.
    Komunikaty::Chron([&] { port->DispatchBatch(gen, b); });
    {
        std::lock_guard<std::mutex> g(lock);
        done = true;
        pending = false;
        taken = false;
    }
    cv.notify_all();
    return true;
}

TComThread::TComThread(TCustomComPort *port, int fd, TComEvents events, TSyncMethod sync,
                       quint64 generation)
    : m_port(port)
    , m_fd(fd)
    , m_events(events)
    , m_sync(sync)
    , m_generation(generation)
    , m_handOver(std::make_shared<HandOver>())
{
    m_handOver->generation = generation;
}

TComThread::~TComThread()
{
    if (m_thread.joinable())
        Stop();
    if (m_epoll >= 0)
        ::close(m_epoll);
    if (m_stopFd >= 0)
        ::close(m_stopFd);
    if (m_kickFd >= 0)
        ::close(m_kickFd);
}

int TComThread::Begin()
{
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_kickFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_epoll < 0 || m_stopFd < 0 || m_kickFd < 0)
        return errno;

    epoll_event ev;
    std::memset(&ev, 0, sizeof ev);
    ev.events = EPOLLIN;
    ev.data.fd = m_stopFd;
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_stopFd, &ev) < 0)
        return errno;
    ev.data.fd = m_kickFd;
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_kickFd, &ev) < 0)
        return errno;
    ev.events = EPOLLIN | EPOLLET;
    ev.data.fd = m_fd;
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_fd, &ev) < 0)
        return errno;

    int status = 0;
    if (::ioctl(m_fd, TIOCMGET, &status) == 0)
        m_modemStatus.store(status);

    m_thread = std::thread([this] { run(); });
    return 0;
}

void TComThread::Kick()
{
    if (m_kickFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(m_kickFd, &one, sizeof one);
    }
}

void TComThread::NoteWrite()
{
    m_writes.fetch_add(1);
    m_draining.store(true);
    Kick();
}

void TComThread::Stop()
{
    HandOver &h = *m_handOver;
    {
        std::lock_guard<std::mutex> g(h.lock);
        h.stopping = true;
    }
    h.cv.notify_all();
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_stopFd, &one, sizeof one);

    // Keep running what the thread hands over until it has ended: it may be
    // waiting for exactly that.
    for (;;) {
        if (h.RunPending(m_port))
            continue;
        std::unique_lock<std::mutex> g(h.lock);
        if (h.finished)
            break;
        if (h.pending && !h.taken)
            continue;
        h.cv.wait(g);
    }
    m_thread.join();
}

bool TComThread::Dispatch(TComEvents batch)
{
    m_received = batch;
    switch (m_sync) {
    case smThreadSync: {
        HandOver &h = *m_handOver;
        {
            std::lock_guard<std::mutex> g(h.lock);
            if (h.stopping)
                return false;
            h.pending = true;
            h.taken = false;
            h.done = false;
            h.batch = batch;
        }
        h.cv.notify_all();
        QMetaObject::invokeMethod(m_port, "RunHandOver", Qt::QueuedConnection);
        std::unique_lock<std::mutex> g(h.lock);
        // A Close() run from inside the handler itself takes this batch and
        // ends the thread before the handler returns: then stop at once.
        h.cv.wait(g, [&] { return h.done || (h.stopping && h.taken); });
        return !h.stopping;
    }
    case smWindowSync: {
        for (TComEvent ev : kDispatchOrder) {
            if (!batch.contains(ev))
                continue;
            QMetaObject::invokeMethod(m_port, "RunWindowEvent", Qt::QueuedConnection,
                                      Q_ARG(quint64, m_generation),
                                      Q_ARG(quint32, EventsToMask(TComEvents{ev})));
        }
        return true;
    }
    case smNone: {
        try {
            m_port->DispatchBatch(m_generation, batch);
        } catch (const std::exception &e) {
            // No box may open on this thread: the user-interface thread shows it.
            const TekstyBledu opis = OpiszBlad(e);
            QMetaObject::invokeMethod(m_port, "ShowError", Qt::QueuedConnection,
                                      Q_ARG(QString, opis.tekst), Q_ARG(QString, opis.szczegoly));
        }
        std::lock_guard<std::mutex> g(m_handOver->lock);
        return !m_handOver->stopping;
    }
    }
    return true;
}

void TComThread::ModemWatch()
{
    const int mask = ModemInputBits();
    while (!m_modemStop.load()) {
        if (::ioctl(m_fd, TIOCMIWAIT, mask) == 0) {
            int status = 0;
            if (::ioctl(m_fd, TIOCMGET, &status) == 0)
                m_modemStatus.store(status);
            Kick();
            continue;
        }
        if (errno == EINTR)
            continue;
        // ENOTTY/EINVAL: the driver cannot tell (a pseudo-terminal); EIO: gone.
        break;
    }
    {
        std::lock_guard<std::mutex> g(m_modemLock);
        m_modemDone = true;
    }
    m_modemCv.notify_all();
}

void TComThread::StopModemWatch()
{
    if (!m_modemThread.joinable())
        return;
    m_modemStop.store(true);
    const pthread_t handle = m_modemThread.native_handle();
    std::unique_lock<std::mutex> g(m_modemLock);
    // The signal may land just before the watcher enters its wait; repeat it
    // until the watcher has seen the stop flag.
    while (!m_modemDone) {
        pthread_kill(handle, WakeSignal());
        m_modemCv.wait_for(g, std::chrono::milliseconds(20));
    }
    g.unlock();
    m_modemThread.join();
}

void TComThread::Finish()
{
    // Notified under the lock: once Stop() sees "finished" it may let go of
    // everything, so nothing may touch the hand-over after that.
    std::lock_guard<std::mutex> g(m_handOver->lock);
    m_handOver->finished = true;
    m_handOver->cv.notify_all();
}

void TComThread::run()
{
    StartModemWatch();
    m_lastModem = m_modemStatus.load();
    m_lostErrno = 0;
    m_drainMs = kDrainPollMs;
    m_lastQueued = -1;
    m_seenWrites = m_writes.load();

    for (;;) {
        const Wake wake = WaitForWake();
        if (wake.stop || m_lostErrno != 0)
            break;
        TComEvents batch = TakeLineEvents(wake);
        batch |= ModemChanges();
        if (m_draining.load() && m_lostErrno == 0)
            batch |= OutputDrained();
        batch = batch & m_events;
        if (!batch.isEmpty() && !Dispatch(batch))
            break;
        if (m_lostErrno != 0)
            break;
    }
    EndRun();
}

void TComThread::StartModemWatch()
{
    const bool watchModem = m_events.contains(evCTS) || m_events.contains(evDSR) ||
                            m_events.contains(evRLSD) || m_events.contains(evRing);
    if (watchModem) {
        WakeSignal();
        m_modemThread = std::thread([this] { ModemWatch(); });
    }
}

TComThread::Wake TComThread::WaitForWake()
{
    RxState &rx = *m_port->m_rx;
    for (;;) {
        // Bytes left in the device by a read that stopped at the chunk limit
        // bring no new wake: look again at once instead of sleeping. The look
        // still goes through epoll, so that a Close is seen between chunks.
        bool backlog;
        {
            std::lock_guard<std::mutex> g(rx.lock);
            backlog = rx.backlog;
        }
        epoll_event evs[4];
        const int timeout = backlog ? 0 : m_draining.load() ? m_drainMs : -1;
        const int n = ::epoll_wait(m_epoll, evs, 4, timeout);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_lostErrno = errno;
            return {};
        }

        Wake wake;
        for (int i = 0; i < n; ++i) {
            if (evs[i].data.fd == m_stopFd) {
                wake.stop = true;
            } else if (evs[i].data.fd == m_kickFd) {
                uint64_t v;
                [[maybe_unused]] ssize_t r = ::read(m_kickFd, &v, sizeof v);
            } else if (evs[i].data.fd == m_fd) {
                if (evs[i].events & EPOLLIN)
                    wake.rxReady = true;
                if (evs[i].events & (EPOLLHUP | EPOLLERR))
                    wake.hangUp = true;
            }
        }
        return wake;
    }
}

TComEvents TComThread::TakeLineEvents(const Wake &wake)
{
    RxState &rx = *m_port->m_rx;
    TComEvents batch;
    {
        std::lock_guard<std::mutex> g(rx.lock);
        if (wake.rxReady || wake.hangUp || rx.backlog) {
            bool lost = false;
            int err = m_port->PumpLocked(lost, true);
            // After a hang-up no sender refills the device: take all it
            // still holds now, as this is the last look.
            while (wake.hangUp && rx.backlog && !lost && err == 0)
                err = m_port->PumpLocked(lost, true);
            if (lost || IsDeviceLossErrno(err))
                m_lostErrno = err ? err : EIO;
        }
        m_port->CollectCountersLocked();
        if (rx.appended)
            batch.insert(evRxChar);
        if (rx.eventChar)
            batch.insert(evRxFlag);
        if (rx.breakSeen)
            batch.insert(evBreak);
        if (rx.crossed80)
            batch.insert(evRx80Full);
        if (!rx.errors.isEmpty())
            batch.insert(evError);
        rx.appended = rx.eventChar = rx.breakSeen = rx.crossed80 = false;
    }
    if (wake.hangUp && m_lostErrno == 0)
        m_lostErrno = EIO;
    return batch;
}

TComEvents TComThread::ModemChanges()
{
    TComEvents batch;
    const int modem = m_modemStatus.load();
    if (modem != m_lastModem) {
        batch = EventsFromModemChange(modem ^ m_lastModem);
        m_lastModem = modem;
    }
    return batch;
}

TComEvents TComThread::OutputDrained()
{
    TComEvents batch;
    int queued = 0;
    const unsigned writes = m_writes.load();
    if (::ioctl(m_fd, TIOCOUTQ, &queued) < 0 || queued == 0) {
        m_draining.store(false);
        batch.insert(evTxEmpty);
        m_drainMs = kDrainPollMs;
        queued = -1;
    } else if (writes != m_seenWrites || m_lastQueued < 0 || queued < m_lastQueued) {
        m_drainMs = kDrainPollMs;
    } else {
        // Output that does not move (a line held off by flow control) is
        // looked at less and less often.
        m_drainMs = std::min(m_drainMs * 2, kDrainPollMaxMs);
    }
    m_seenWrites = writes;
    m_lastQueued = queued;
    return batch;
}

void TComThread::EndRun()
{
    StopModemWatch();
    if (m_lostErrno != 0) {
        // The device is gone: tell the user-interface thread once and stop.
        QMetaObject::invokeMethod(m_port, "DeviceLost", Qt::QueuedConnection,
                                  Q_ARG(quint64, m_generation), Q_ARG(int, m_lostErrno));
    } else {
        // Closing: nothing left over for the next open.
        ::tcflush(m_fd, TCIOFLUSH);
    }
    Finish();
}
