#pragma once

// The serial port component: the program's only access to the counting device.
//
// TComPort holds every line setting of one serial port, opens and closes the
// device, pushes the settings to the driver whenever one changes while the port
// is open, and reports every failure as an EComPort carrying a fixed error number
// and, where the system gave one, the errno value.
//
// While the port is open a background thread (TComThread, ComThread.h) sleeps on
// the device and hands each batch of line events to the user-interface thread.
// With the default smThreadSync the thread blocks until the batch has been run
// there, so every event handler runs on the user-interface thread, one at a time.
//
// Typical use (everything from the user-interface thread):
//
//     TComPort port;
//     port.SetPort(QStringLiteral("ttyUSB0"));      // or "COM1", "pts/3", "/dev/serial/by-id/..."
//     port.OnRxChar = [](TCustomComPort *p, int count) { QByteArray b = p->ReadText(count); ... };
//     port.Open();                                   // EComPort 1 on failure
//     port.WriteText("\r");                          // all bytes, or EComPort 2
//     port.Close();
//
// Port names: a name under /dev ("ttyS0", "ttyUSB0", "ttyACM0", "pts/3"), an
// absolute path, "COMn" for ttyS(n-1) and the prefix "\\.\" for "/dev/".
//
// A pulled USB adapter (or a closed pty master) ends the port: the component
// closes itself and fires OnDeviceLost once on the user-interface thread; unset,
// the loss is shown by the general error handler. The next Open works again.
//
// An error raised in a handler, on the event thread or while the port opens
// after loading goes to the general error handler (util/Komunikaty) on the
// user-interface thread; the sink the front end installed shows it. The
// component itself never shows anything.

#include "ComProperties.h"
#include "EComPort.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>

enum TBaudRate {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TSyncMethod { smThreadSync, smWindowSync, smNone };
enum TComEvent {
    evRxChar,
    evTxEmpty,
    evRxFlag,
    evRing,
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRLSD,
    evRx80Full
};
// Line errors, in set order.
enum TComError { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
// Modem input lines.
enum TComSignal { csCTS, csDSR, csRing, csRLSD };

// A small set of enumeration members (Pascal-style "set of").
template <typename E, int N> class TComSet
{
public:
    constexpr TComSet() = default;
    constexpr TComSet(std::initializer_list<E> members)
    {
        for (E m : members)
            insert(m);
    }
    static constexpr TComSet All()
    {
        TComSet s;
        s.m_bits = (1u << N) - 1u;
        return s;
    }
    constexpr bool contains(E m) const { return (m_bits & bit(m)) != 0; }
    constexpr void insert(E m) { m_bits |= bit(m); }
    constexpr void remove(E m) { m_bits &= ~bit(m); }
    constexpr bool isEmpty() const { return m_bits == 0; }
    constexpr quint32 bits() const { return m_bits; }
    constexpr TComSet operator&(TComSet o) const { return fromBits(m_bits & o.m_bits); }
    constexpr TComSet operator|(TComSet o) const { return fromBits(m_bits | o.m_bits); }
    constexpr TComSet &operator|=(TComSet o)
    {
        m_bits |= o.m_bits;
        return *this;
    }
    constexpr bool operator==(const TComSet &) const = default;
    static constexpr TComSet fromBits(quint32 b)
    {
        TComSet s;
        s.m_bits = b & ((1u << N) - 1u);
        return s;
    }

private:
    static constexpr quint32 bit(E m) { return 1u << static_cast<int>(m); }
    quint32 m_bits = 0;
};

using TComEvents = TComSet<TComEvent, 10>;
using TComErrors = TComSet<TComError, 8>;
using TComSignals = TComSet<TComSignal, 4>;

// The order in which the events of one batch reach their handlers, however
// the batch is handed to the user-interface thread.
inline constexpr TComEvent kDispatchOrder[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                               evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};

// The speed in bit/s of a TBaudRate member; 0 for brCustom (the port's
// CustomBaudRate applies then).
int BaudRateValue(TBaudRate rate);

// The device event bit of an event (EV_RXCHAR 0x0001 ... EV_RX80FULL 0x0400),
// the value carried by an smWindowSync notification, and the way back.
quint32 EventsToMask(TComEvents events);
TComEvents EventsFromMask(quint32 mask);

class TComThread;
namespace vm_serial_detail {
struct RxState;
struct HandOver;
struct Termios2;
} // namespace vm_serial_detail

// The component. All settings, Open, Close, WriteText and ReadText belong to
// the user-interface thread.
class TCustomComPort : public QObject
{
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TCustomComPort *sender)>;
    using TRxCharEvent = std::function<void(TCustomComPort *sender, int count)>;
    using TRxBufEvent =
        std::function<void(TCustomComPort *sender, const QByteArray &buffer, int count)>;
    using TComSignalEvent = std::function<void(TCustomComPort *sender, bool onOff)>;
    using TComErrorEvent = std::function<void(TCustomComPort *sender, TComErrors errors)>;
    using TComLostEvent = std::function<void(TCustomComPort *sender, const EComPort &error)>;

    explicit TCustomComPort(QObject *owner = nullptr);
    // Closes the port. The event handlers are dropped first: the owner that set
    // them is usually half destroyed by now.
    ~TCustomComPort() override;

    // --- lifecycle ---------------------------------------------------------
    bool Connected() const { return m_connected.load(); }
    // true opens, false closes; the current value does nothing.
    void SetConnected(bool value);
    // Opens the device and applies every setting; EComPort 1 (cannot open),
    // 7 (line settings refused). A failure leaves the port closed.
    void Open();
    // Fires OnCTSChange/OnDSRChange/OnRLSDChange (false) and OnBeforeClose,
    // drops unsent output (EComPort 5 leaves the port open), stops the event
    // thread, closes the device and fires OnAfterClose. A batch the event thread
    // handed over just before is still delivered while Close waits; nothing
    // fires after OnAfterClose.
    void Close();

    // While loading, SetConnected(true) only records the wish; Loaded() then
    // opens the port, a failure going to the general error handler.
    void BeginLoading() { m_loading = true; }
    void Loaded();

    // --- settings ----------------------------------------------------------
    QString Port() const { return m_port; }
    // A different name (case-sensitive) is stored; an open port is closed and
    // opened again under it (the error of that open propagates, the port then
    // stays closed).
    void SetPort(const QString &name);
    TBaudRate BaudRate() const { return m_baudRate; }
    void SetBaudRate(TBaudRate v);
    int CustomBaudRate() const { return m_customBaudRate; }
    void SetCustomBaudRate(int v);
    TStopBits StopBits() const { return m_stopBits; }
    void SetStopBits(TStopBits v);
    TDataBits DataBits() const { return m_dataBits; }
    void SetDataBits(TDataBits v);
    bool DiscardNull() const { return m_discardNull; }
    void SetDiscardNull(bool v);
    char EventChar() const { return m_eventChar; }
    void SetEventChar(char v);
    // Takes effect at the next Open. An empty set runs no event thread.
    TComEvents Events() const { return m_events; }
    void SetEvents(TComEvents v) { m_events = v; }
    TSyncMethod SyncMethod() const { return m_syncMethod; }
    // A different value while open: EComPort 14.
    void SetSyncMethod(TSyncMethod v);

    TComParity &Parity() { return m_parity; }
    const TComParity &Parity() const { return m_parity; }
    void SetParity(const TComParity &v) { m_parity.Assign(v); }
    TComFlowControl &FlowControl() { return m_flowControl; }
    const TComFlowControl &FlowControl() const { return m_flowControl; }
    void SetFlowControl(const TComFlowControl &v) { m_flowControl.Assign(v); }
    TComTimeouts &Timeouts() { return m_timeouts; }
    const TComTimeouts &Timeouts() const { return m_timeouts; }
    void SetTimeouts(const TComTimeouts &v) { m_timeouts.Assign(v); }
    TComBuffer &Buffer() { return m_buffer; }
    const TComBuffer &Buffer() const { return m_buffer; }
    void SetBuffer(const TComBuffer &v) { m_buffer.Assign(v); }

    // XON and XOFF limits of the line record: a quarter of InputSize.
    int XonXoffLimit() const { return m_buffer.InputSize() / 4; }

    // The device path a port name stands for: "COM3" -> "/dev/ttyS2",
    // "\\.\ttyUSB0" -> "/dev/ttyUSB0", "pts/3" -> "/dev/pts/3", "/x/y" unchanged.
    static QString DevicePath(const QString &portName);

    // --- transfer (user-interface thread) ------------------------------------
    // Sends every byte of text; returns its length (0 for empty text, nothing
    // sent). The write time-out or a failure raises EComPort 2.
    int WriteText(const QByteArray &text);
    // Up to count received bytes, exactly as they came (after NUL discarding and
    // parity replacement when those are on). With the default time-outs it
    // returns at once with what is queued. count <= 0 gives empty. EComPort 3.
    QByteArray ReadText(int count);
    // Bytes waiting to be read. EComPort 10.
    int BytesWaiting();

    // The most bytes one look at the device moves into the receive queue. A
    // fast line is announced in pieces of about this size, so that the window
    // gets its event loop back between them; what the device still holds is
    // read and announced right after. (With smWindowSync the event thread
    // does not wait for the window, so one announcement there holds all that
    // queued up while the window was busy.)
    static constexpr int RxChunk = 256 * 1024;
    // Line errors since the last call (reading clears them). EComPort 10.
    TComErrors LineErrors();
    // CTS, DSR, ring and carrier detect. A port without modem lines (a
    // pseudo-terminal) reports them all off. EComPort 11.
    TComSignals ModemSignals();
    // Drops output not yet sent. EComPort 5.
    void AbortPending();

    // --- events (single handlers; unset ones are skipped) --------------------
    TNotifyEvent OnBeforeOpen, OnAfterOpen, OnBeforeClose, OnAfterClose;
    TRxCharEvent OnRxChar;  // count = bytes waiting; they stay queued until read
    TRxBufEvent OnRxBuf;    // never fired: kept for completeness
    TNotifyEvent OnTxEmpty; // everything written has left the driver
    TNotifyEvent OnBreak;   // a break condition was received
    TNotifyEvent OnRing;    // the ring indicator changed
    TComSignalEvent OnCTSChange, OnDSRChange, OnRLSDChange;
    TNotifyEvent OnRxFlag;   // EventChar was received
    TComErrorEvent OnError;  // line errors (framing, parity with Check, overrun, ...)
    TNotifyEvent OnRx80Full; // the receive queue reached 80 % of Buffer.InputSize
    // The device went away while open (adapter unplugged, pty master closed).
    // Fired once on the user-interface thread after the port has closed itself;
    // unset, the error is shown by the general error handler.
    TComLostEvent OnDeviceLost;

protected:
    virtual void OpenDevice();
    virtual void CloseDevice();
    // Buffer sizes, line settings, time-outs, in that order.
    virtual void ApplySettings();

private:
    friend class TComParity;
    friend class TComFlowControl;
    friend class TComTimeouts;
    friend class TComBuffer;
    friend class TComThread;
    friend struct vm_serial_detail::HandOver;

    bool CanApply() const { return m_connected.load() && !m_loading && m_fd >= 0; }
    void ApplyBufferSizes();
    void ApplyLineSettings();
    void ApplyTimeouts();
    void SetRtsLine(bool on);
    void CloseInternal(bool forced);
    void StopThread();

    // Reads what the device holds into the receive queue, at most RxChunk
    // bytes, and none once the queue holds RxChunk. Returns 0 or the errno of
    // a failed read; lost is set when the device is gone.
    // fromThread: the event thread itself reads, and reads at least once even
    // into a full queue, so that a handler that leaves its bytes queued never
    // stalls the line. Otherwise the event thread is woken to announce what
    // this read brought in, and to read on where it stopped early.
    int PumpLocked(bool &lost, bool fromThread = false);
    // Errors collected from the kernel's counters since the last look.
    void CollectCountersLocked();
    int BytesWaitingChecked(int errorNumber);

    // Runs the events of one batch, in dispatch order, while this open lasts.
    void DispatchBatch(quint64 generation, TComEvents batch);
    void DispatchOne(TComEvent ev);

    // Called by the event thread through the event loop.
    Q_INVOKABLE void RunHandOver();
    Q_INVOKABLE void RunWindowEvent(quint64 generation, quint32 eventBit);
    Q_INVOKABLE void ShowError(const QString &text, const QString &details);
    Q_INVOKABLE void DeviceLost(quint64 generation, int errnoValue);

    QString m_port = QStringLiteral("COM1");
    TBaudRate m_baudRate = br9600;
    int m_customBaudRate = 9600;
    TStopBits m_stopBits = sbOneStopBit;
    TDataBits m_dataBits = dbEight;
    bool m_discardNull = false;
    char m_eventChar = 0;
    TComEvents m_events = TComEvents::All();
    TSyncMethod m_syncMethod = smThreadSync;
    TComParity m_parity{this};
    TComFlowControl m_flowControl{this};
    TComTimeouts m_timeouts{this};
    TComBuffer m_buffer{this};

    std::atomic<bool> m_connected{false};
    std::atomic<quint64> m_generation{0};
    bool m_loading = false;
    bool m_loadedConnected = false;
    bool m_closing = false;
    int m_fd = -1;
    std::unique_ptr<vm_serial_detail::Termios2> m_found; // the line settings found at opening
    bool m_modemLines = true; // false once the driver said it has none (pty)
    std::unique_ptr<vm_serial_detail::RxState> m_rx;
    std::unique_ptr<TComThread> m_thread;
};

// The published face of the component; all behaviour is in TCustomComPort.
class TComPort : public TCustomComPort
{
    Q_OBJECT
public:
    explicit TComPort(QObject *owner = nullptr)
        : TCustomComPort(owner)
    {}
};
