#pragma once

// The event thread of an open port.
//
// It sleeps in epoll on the device (edge-triggered, so bytes a handler leaves
// unread are announced again only when more arrive), on a stop eventfd and on a
// "look again" eventfd, never on a timer; only while written bytes are draining
// does it look at the output queue, every few milliseconds while the queue
// moves and less and less often (up to once a second) while it is stuck. A helper thread waits
// for modem-line changes with TIOCMIWAIT where the driver offers it.
//
// Each wake becomes one batch of TComEvents, handed to the user-interface thread
// by the port's SyncMethod:
//   smThreadSync  the batch goes into a one-slot mailbox, a queued call asks the
//                 user-interface thread to run it, and this thread waits until it
//                 has. Close() runs a waiting batch itself while it waits for the
//                 thread to end, so closing during a burst cannot deadlock.
//   smWindowSync  one queued call per event, dropped if the port was closed since.
//   smNone        the batch runs on this thread.

#include "CPort.h"
#include "LiniaTermios.h"

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include <linux/serial.h>

class TComThread;

namespace vm_serial_detail {

// Received bytes, shared by the event thread and the user-interface thread.
// Whoever needs the bytes reads the device into the queue under the lock, so
// the order of the bytes never depends on which thread read them.
struct RxState
{
    std::mutex lock;
    QByteArray queue;
    RxDecoder decoder;
    int rx80Level = 819;    // 80 % of InputSize
    bool appended = false;  // bytes arrived since the event thread last looked
    bool eventChar = false; // EventChar among them
    bool breakSeen = false; // a break among them
    bool crossed80 = false; // the queue grew past 80 %
    // The last read stopped at the chunk limit: the device may hold more. No
    // further wake comes for bytes already there, so the event thread reads on.
    bool backlog = false;
    TComErrors errors;      // line errors not yet read by LineErrors()
    bool countersOk = true; // TIOCGICOUNT works on this device
    bool haveCounters = false;
    serial_icounter_struct counters{};
    bool threadRunning = false; // the event thread reports a lost device
    // The running event thread, to be woken when the user-interface thread
    // moved bytes into the queue: their arrival may have woken the thread for
    // nothing (edge-triggered wakes report only what is still unread).
    TComThread *thread = nullptr;
};

// The hand-over between the event thread and the user-interface thread. Shared
// by pointer so that a queued call that runs late finds it still alive.
struct HandOver
{
    std::mutex lock;
    std::condition_variable cv;
    bool pending = false;  // a batch waits in the slot
    bool taken = false;    // the user-interface thread is running it
    bool done = false;     // it has run
    bool stopping = false; // Close() wants the thread to end
    bool finished = false; // the thread has left its loop
    TComEvents batch;
    quint64 generation = 0;

    // User-interface thread: runs the waiting batch, if any. Returns whether one ran.
    bool RunPending(TCustomComPort *port);
};

} // namespace vm_serial_detail

// A plain std::thread, joined by Stop(): the user-interface thread needs no
// Qt event loop on it, and every hand-over is ours to see.
class TComThread
{
public:
    TComThread(TCustomComPort *port, int fd, TComEvents events, TSyncMethod sync,
               quint64 generation);
    ~TComThread();
    TComThread(const TComThread &) = delete;
    TComThread &operator=(const TComThread &) = delete;

    // Creates the epoll set and the eventfds and starts the thread. Returns 0 or errno.
    int Begin();
    // Ends the thread and waits for it, running a handed-over batch meanwhile.
    void Stop();
    // Something to look at (bytes written, modem lines): wakes the thread.
    void Kick();
    // Written bytes are on their way out: watch for the queue running empty.
    void NoteWrite();

    // The set of events of the batch in dispatch now (as received last).
    TComEvents ReceivedEvents() const { return m_received; }

    // User-interface thread: runs the batch waiting in the hand-over slot. The
    // slot outlives this thread object while it runs: a handler may close the
    // port, which ends and destroys the thread.
    void RunPending()
    {
        const std::shared_ptr<vm_serial_detail::HandOver> keep = m_handOver;
        keep->RunPending(m_port);
    }

private:
    // What one wake of the thread found.
    struct Wake
    {
        bool stop = false;    // Close() wants the thread to end
        bool rxReady = false; // the device has bytes
        bool hangUp = false;  // the device hung up
    };

    // The thread: each wake's line events, modem changes and drained output
    // go to the user-interface thread as one batch, until a stop or a loss.
    void run();
    void StartModemWatch();
    // Sleeps until the device, a kick or a stop wakes the thread (or the
    // output drain's poll interval passes); a backlog left by the chunk limit
    // does not sleep. A failed wait sets m_lostErrno.
    Wake WaitForWake();
    // Moves what the device holds into the receive queue and gives the line
    // events it brought; a gone device sets m_lostErrno.
    TComEvents TakeLineEvents(const Wake &wake);
    // The modem lines that changed since the last look.
    TComEvents ModemChanges();
    // evTxEmpty once the output queue has run empty; the poll interval
    // backs off while the queue does not move.
    TComEvents OutputDrained();
    // Tells a lost device to the user-interface thread, or flushes the line
    // when closing.
    void EndRun();
    void ModemWatch();
    void StopModemWatch();
    // Hands a batch over; false when Close() wants the thread to end.
    bool Dispatch(TComEvents batch);
    void Finish();

    TCustomComPort *m_port;
    int m_fd;
    TComEvents m_events;
    TSyncMethod m_sync;
    quint64 m_generation;
    int m_epoll = -1;
    int m_stopFd = -1;
    int m_kickFd = -1;
    TComEvents m_received;
    std::atomic<bool> m_draining{false};
    std::atomic<unsigned> m_writes{0}; // counts NoteWrite calls
    std::atomic<int> m_modemStatus{0};
    std::shared_ptr<vm_serial_detail::HandOver> m_handOver;

    // The event thread's own state between two wakes.
    int m_lastModem = 0;
    int m_lostErrno = 0;
    int m_drainMs = 0;
    int m_lastQueued = -1;
    unsigned m_seenWrites = 0;

    std::thread m_thread;

    // Modem-line watcher.
    std::thread m_modemThread;
    std::atomic<bool> m_modemStop{false};
    std::mutex m_modemLock;
    std::condition_variable m_modemCv;
    bool m_modemDone = false;
};
