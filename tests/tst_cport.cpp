// The serial port component on pseudo-terminals: lifecycle, errors, transfer
// and the event thread's hand-over.

#include "CPort.h"
#include "Komunikaty.h"
#include "LiniaTermios.h"
#include "Pomocnicze.h"
#include "PtyPair.h"
#include "UjscieTestowe.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace vm_serial_detail;

namespace {

// Every byte value, several times over: what a byte-exact path must survive.
QByteArray AllBytes(int rounds)
{
    QByteArray b;
    for (int r = 0; r < rounds; ++r)
        for (int i = 0; i < 256; ++i)
            b.append(static_cast<char>(i));
    return b;
}

// Feeds bytes to the master from a second thread, in chunks, until told to stop
// (or, with a finite text, until it is sent).
class Writer
{
public:
    Writer(PtyPair &pty, QByteArray text, int chunk, bool endless = false)
        : m_thread([this, &pty, text, chunk, endless] {
            do {
                for (qsizetype i = 0; i < text.size() && !m_stop.load(); i += chunk) {
                    if (pty.Send(text.mid(i, chunk)))
                        continue;
                    if (!endless)
                        return;
                    // The port is closed for a moment: try again shortly.
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            } while (endless && !m_stop.load());
        })
    {}
    ~Writer() { Stop(); }
    // Waits until the text is sent.
    void Join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    void Stop()
    {
        m_stop.store(true);
        Join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// One thread of this process as /proc shows it.
struct ThreadState
{
    char state = '?'; // R running, S sleeping, ...
    qint64 voluntarySwitches = -1;
    QByteArray waitsIn; // the kernel function a sleeping thread waits in
    bool Gone() const { return state == '?'; }
    bool AsleepInEpoll() const { return state == 'S' && waitsIn.contains("epoll"); }
};

QSet<int> ThreadIds()
{
    QSet<int> ids;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        ids.insert(tid.toInt());
    return ids;
}

// Unset (state '?') when the thread has ended.
ThreadState StateOf(int tid)
{
    ThreadState t;
    const QByteArray status = CzytajPlik(QStringLiteral("/proc/self/task/%1/status").arg(tid));
    for (const QByteArray &line : status.split('\n')) {
        if (line.startsWith("State:"))
            t.state = line.mid(6).trimmed().at(0);
        else if (line.startsWith("voluntary_ctxt_switches:"))
            t.voluntarySwitches = line.mid(24).trimmed().toLongLong();
    }
    t.waitsIn = CzytajPlik(QStringLiteral("/proc/self/task/%1/wchan").arg(tid));
    return t;
}

} // namespace

class TstCPort : public QObject
{
    Q_OBJECT

private:
    QStringList m_boxes;   // texts the message boxes would have shown
    QTemporaryDir m_files; // paths that are no serial port

private slots:
    void initTestCase()
    {
        NagrywajKomunikaty([this](Komunikaty::Rodzaj, const QString &text) {
            m_boxes << text;
            return true;
        });
    }
    void init() { m_boxes.clear(); }

    void errorMessagesFollowTheTable_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("message");  // what() and the box's details
        QTest::addColumn<QStringList>("user"); // what the box's text says, in parts
        const QString konfiguracja = QStringLiteral("w oknie Konfiguracja");
        QTest::newRow("open: no such device")
            << 1 << ENOENT << "ttyUSB7"
            << "Unable to open com port (errno 2: ENOENT)"
            << QStringList{"Nie znaleziono portu ttyUSB7.", "podłączone", konfiguracja};
        QTest::newRow("open: in use") << 1 << EBUSY << "ttyS0"
                                      << "Unable to open com port (errno 16: EBUSY)"
                                      << QStringList{"Port ttyS0 jest używany przez inny program"};
        QTest::newRow("open: no permission")
            << 1 << EACCES << "ttyS0"
            << "Unable to open com port (errno 13: EACCES)"
            << QStringList{"Brak uprawnień do portu ttyS0", "dialout", "zaloguj ponownie"};
        QTest::newRow("open: no port chosen")
            << 1 << ENOENT << ""
            << "Unable to open com port (errno 2: ENOENT)"
            << QStringList{"Nie wybrano portu szeregowego", konfiguracja};
        QTest::newRow("write: the device does not take it")
            << 2 << ETIMEDOUT << "ttyUSB0"
            << "WriteFile function failed (errno 110: ETIMEDOUT)"
            << QStringList{"Urządzenie na porcie ttyUSB0 nie przyjmuje danych", "włączone"};
        QTest::newRow("write: the device is gone")
            << 2 << EIO << "ttyUSB0"
            << "WriteFile function failed (errno 5: EIO)"
            << QStringList{"Urządzenie zostało odłączone od portu ttyUSB0.", "Połącz/Odbierz"};
        QTest::newRow("property while open")
            << 14 << -1 << ""
            << "Cannot set property while connected" << QStringList{"gdy port jest otwarty"};
        QTest::newRow("port list") << 23 << EACCES << "/sys/class/tty"
                                   << "Registry error (errno 13: EACCES)"
                                   << QStringList{"listy portów szeregowych z /sys/class/tty"};
        QTest::newRow("last row no code")
            << 22 << -1 << ""
            << "A component is linked to OnRxBuf event" << QStringList{"Błąd portu."};
    }
    void errorMessagesFollowTheTable()
    {
        QFETCH(int, number);
        QFETCH(int, code);
        QFETCH(QString, port);
        QFETCH(QString, message);
        QFETCH(QStringList, user);
        const EComPort e = code < 0 ? EComPort(number) : EComPort(number, code, port);
        QCOMPARE(QString::fromUtf8(e.what()), message);
        QCOMPARE(e.Szczegoly(), message);
        QCOMPARE(e.ErrorNumber(), number);
        QCOMPARE(e.SystemErrorCode(), code);
        for (const QString &part : user)
            QVERIFY2(e.TekstUzytkownika().contains(part), qPrintable(e.TekstUzytkownika()));
        QVERIFY(!e.TekstUzytkownika().contains(QLatin1String("errno")));
    }

    void portNamesBecomeDevicePaths_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        QTest::newRow("COM1 is the first legacy port") << "COM1"
                                                       << "/dev/ttyS0";
        QTest::newRow("com10 any case") << "com10"
                                        << "/dev/ttyS9";
        QTest::newRow("device prefix") << "\\\\.\\COM2"
                                       << "/dev/ttyS1";
        QTest::newRow("device prefix linux name") << "\\\\.\\ttyUSB0"
                                                  << "/dev/ttyUSB0";
        QTest::newRow("usb") << "ttyUSB0"
                             << "/dev/ttyUSB0";
        QTest::newRow("pts") << "pts/3"
                             << "/dev/pts/3";
        QTest::newRow("absolute") << "/dev/serial/by-id/x"
                                  << "/dev/serial/by-id/x";
        QTest::newRow("COM0 is no legacy port") << "COM0"
                                                << "/dev/COM0";
        QTest::newRow("COMx is just a name") << "COMx"
                                             << "/dev/COMx";
    }
    void portNamesBecomeDevicePaths()
    {
        QFETCH(QString, name);
        QFETCH(QString, path);
        QCOMPARE(TCustomComPort::DevicePath(name), path);
    }

    void defaultsAreThoseOfTheDevice()
    {
        TComPort port;
        QCOMPARE(port.Port(), QStringLiteral("COM1"));
        QCOMPARE(port.BaudRate(), br9600);
        QCOMPARE(port.DataBits(), dbEight);
        QCOMPARE(port.StopBits(), sbOneStopBit);
        QCOMPARE(port.Parity().Bits(), prNone);
        QCOMPARE(port.FlowControl().FlowControl(), fcNone);
        QCOMPARE(port.FlowControl().ControlDTR(), dtrDisable);
        QCOMPARE(port.FlowControl().XonChar(), char(17));
        QCOMPARE(port.FlowControl().XoffChar(), char(19));
        QCOMPARE(port.Events(), TComEvents::All());
        QCOMPARE(port.SyncMethod(), smThreadSync);
        QCOMPARE(port.Timeouts().ReadInterval(), -1);
        QCOMPARE(port.Timeouts().WriteTotalMultiplier(), 100);
        QCOMPARE(port.Timeouts().WriteTotalConstant(), 1000);
        QCOMPARE(port.Buffer().InputSize(), 1024);
        QCOMPARE(port.XonXoffLimit(), 256);
        QVERIFY(!port.Connected());
    }

    void compositeFlowControlReads_data()
    {
        QTest::addColumn<int>("rts");
        QTest::addColumn<bool>("cts");
        QTest::addColumn<bool>("xonIn");
        QTest::addColumn<bool>("xonOut");
        QTest::addColumn<int>("dtr");
        QTest::addColumn<int>("expected");
        QTest::newRow("hardware") << int(rtsHandshake) << true << false << false << 0
                                  << int(fcHardware);
        QTest::newRow("hardware whatever DTR")
            << int(rtsHandshake) << true << false << false << int(dtrHandshake) << int(fcHardware);
        QTest::newRow("hardware plus xon in")
            << int(rtsHandshake) << true << true << false << 0 << int(fcCustom);
        QTest::newRow("rts handshake without cts")
            << int(rtsHandshake) << false << false << false << 0 << int(fcCustom);
        QTest::newRow("software") << int(rtsDisable) << false << true << true << 0
                                  << int(fcSoftware);
        QTest::newRow("software one way")
            << int(rtsDisable) << false << true << false << 0 << int(fcCustom);
        QTest::newRow("software with rts on")
            << int(rtsEnable) << false << true << true << 0 << int(fcCustom);
        QTest::newRow("none") << int(rtsDisable) << false << false << false << int(dtrEnable)
                              << int(fcNone);
        QTest::newRow("rts held on")
            << int(rtsEnable) << false << false << false << 0 << int(fcCustom);
        QTest::newRow("cts only") << int(rtsDisable) << true << false << false << 0
                                  << int(fcCustom);
        QTest::newRow("rts toggle")
            << int(rtsToggle) << false << false << false << 0 << int(fcCustom);
    }
    void compositeFlowControlReads()
    {
        QFETCH(int, rts);
        QFETCH(bool, cts);
        QFETCH(bool, xonIn);
        QFETCH(bool, xonOut);
        QFETCH(int, dtr);
        QFETCH(int, expected);
        TComPort port;
        TComFlowControl &fc = port.FlowControl();
        fc.SetControlRTS(TRTSFlowControl(rts));
        fc.SetOutCTSFlow(cts);
        fc.SetXonXoffIn(xonIn);
        fc.SetXonXoffOut(xonOut);
        fc.SetControlDTR(TDTRFlowControl(dtr));
        fc.SetOutDSRFlow(true); // plays no part
        QCOMPARE(int(fc.FlowControl()), expected);
    }

    void compositeFlowControlWrites_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("rts");
        QTest::addColumn<bool>("cts");
        QTest::addColumn<bool>("xon");
        QTest::addColumn<int>("readsBack");
        // Start from a mixed state: RTS on, CTS flow, XON/XOFF in only.
        QTest::newRow("hardware") << int(fcHardware) << int(rtsHandshake) << true << false
                                  << int(fcHardware);
        QTest::newRow("software") << int(fcSoftware) << int(rtsDisable) << false << true
                                  << int(fcSoftware);
        QTest::newRow("none") << int(fcNone) << int(rtsDisable) << false << false << int(fcNone);
        QTest::newRow("custom changes nothing")
            << int(fcCustom) << int(rtsEnable) << true << false << int(fcCustom);
    }
    void compositeFlowControlWrites()
    {
        QFETCH(int, value);
        QFETCH(int, rts);
        QFETCH(bool, cts);
        QFETCH(bool, xon);
        QFETCH(int, readsBack);
        TComPort port;
        TComFlowControl &fc = port.FlowControl();
        fc.SetControlRTS(rtsEnable);
        fc.SetOutCTSFlow(true);
        fc.SetXonXoffIn(true);
        fc.SetControlDTR(dtrEnable);
        fc.SetFlowControl(TFlowControl(value));
        QCOMPARE(int(fc.ControlRTS()), rts);
        QCOMPARE(fc.OutCTSFlow(), cts);
        QCOMPARE(fc.XonXoffOut(), xon);
        if (value != fcCustom)
            QCOMPARE(fc.XonXoffIn(), xon);
        QCOMPARE(fc.ControlDTR(), dtrEnable);
        QCOMPARE(int(fc.FlowControl()), readsBack);
    }

    void hardwareThenXonInIsCustom()
    {
        TComPort port;
        port.FlowControl().SetFlowControl(fcHardware);
        QCOMPARE(port.FlowControl().FlowControl(), fcHardware);
        port.FlowControl().SetXonXoffIn(true);
        QCOMPARE(port.FlowControl().FlowControl(), fcCustom);
    }

    void oddBufferSizesLoseOne_data()
    {
        QTest::addColumn<int>("set");
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("limit");
        QTest::newRow("1025") << 1025 << 1024 << 256;
        QTest::newRow("1") << 1 << 0 << 0;
        QTest::newRow("even kept") << 2048 << 2048 << 512;
        QTest::newRow("zero kept") << 0 << 0 << 0;
        QTest::newRow("negative odd kept") << -3 << -3 << 0;
    }
    void oddBufferSizesLoseOne()
    {
        QFETCH(int, set);
        QFETCH(int, stored);
        QFETCH(int, limit);
        TComPort port;
        port.Buffer().SetInputSize(set);
        port.Buffer().SetOutputSize(set);
        QCOMPARE(port.Buffer().InputSize(), stored);
        QCOMPARE(port.Buffer().OutputSize(), stored);
        QCOMPARE(port.XonXoffLimit(), limit);
    }

    void aRefusedDeviceFailsEveryTime_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("user"); // how the box's text starts
        const QString noPort = QStringLiteral(" nie jest portem szeregowym. Wybierz inny port");
        QTest::newRow("missing device")
            << "pts/999999" << ENOENT << "Nie znaleziono portu pts/999999.";
        QTest::newRow("a device that is no terminal")
            << "/dev/null" << ENOTTY << QStringLiteral("/dev/null") + noPort;
        // Not one a port name would lead to, but "port=" may name any path.
        const QString fifo = m_files.filePath(QStringLiteral("fifo"));
        QTest::newRow("a FIFO nobody writes") << fifo << ENOTTY << fifo + noPort;
        const QString file = m_files.filePath(QStringLiteral("plik.txt"));
        QTest::newRow("a regular file") << file << ENOTTY << file + noPort;
    }
    void aRefusedDeviceFailsEveryTime()
    {
        QFETCH(QString, name);
        QFETCH(int, code);
        QFETCH(QString, user);
        const QString file = m_files.filePath(QStringLiteral("plik.txt"));
        const QByteArray bytes("ZAWARTOSC\r\n");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                f.write(bytes) == bytes.size());
        f.close();
        QFile::remove(m_files.filePath(QStringLiteral("fifo")));
        QCOMPARE(
            ::mkfifo(QFile::encodeName(m_files.filePath(QStringLiteral("fifo"))).constData(), 0600),
            0);

        // Neither the FIFO nor the file is as much as opened.
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        QVERIFY(::inotify_add_watch(watch, QFile::encodeName(m_files.path()).constData(),
                                    IN_OPEN | IN_MODIFY) >= 0);

        TComPort port;
        port.SetPort(name);
        ::alarm(5); // the watchdog: a port that blocks ends the test
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                port.Open();
                QFAIL("opened a device that cannot be a serial port");
            } catch (const EComPort &e) {
                QCOMPARE(e.ErrorNumber(), 1);
                QCOMPARE(e.SystemErrorCode(), code);
                QVERIFY2(e.TekstUzytkownika().startsWith(user), qPrintable(e.TekstUzytkownika()));
            }
            QVERIFY(!port.Connected());
        }
        ::alarm(0);
        alignas(inotify_event) char events[4096];
        const ssize_t n = ::read(watch, events, sizeof events);
        ::close(watch);
        QCOMPARE(n < 0 ? 0 : n, 0);
        QCOMPARE(CzytajPlik(file), bytes);
    }

    void closingLeavesTheDeviceAsFound()
    {
        PtyPair pty;
        QVERIFY(pty.Ok());
        // Another program's settings on the line: 4800 bit/s, canonical input.
        const int fd = ::open(pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        Termios2 found{};
        QCOMPARE(ReadTermios(fd, found), 0);
        found.c_cflag = (found.c_cflag & ~CBAUD) | B4800;
        found.c_ispeed = found.c_ospeed = 4800;
        found.c_lflag |= ICANON | ECHO;
        QCOMPARE(ApplyTermios(fd, found), 0);
        QCOMPARE(ReadTermios(fd, found), 0);
        const auto record = [](const Termios2 &t) {
            return QByteArray(reinterpret_cast<const char *>(&t), sizeof t);
        };

        TComPort port;
        port.SetPort(pty.SlaveName());
        port.Open();
        int exclusive = 0;
        Termios2 open{};
        QCOMPARE(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
        QCOMPARE(exclusive, 1);
        QCOMPARE(ReadTermios(fd, open), 0);
        QCOMPARE(open.c_ospeed, speed_t(9600));
        port.Close();

        Termios2 after{};
        QCOMPARE(ReadTermios(fd, after), 0);
        QCOMPARE(record(after), record(found));
        // Root opens an exclusive terminal anyway, so the mode itself is read.
        QCOMPARE(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
        QCOMPARE(exclusive, 0);
        const int again = ::open(pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        QVERIFY2(again >= 0, strerror(errno));
        ::close(again);
        ::close(fd);
    }

    void openAndCloseFireTheLifecycleInOrder()
    {
        PtyPair pty;
        QVERIFY(pty.Ok());
        TComPort port;
        port.SetPort(pty.SlaveName());
        QStringList log;
        port.OnBeforeOpen = [&](TCustomComPort *) { log << "BeforeOpen"; };
        port.OnAfterOpen = [&](TCustomComPort *p) {
            log << QStringLiteral("AfterOpen %1").arg(p->Connected());
        };
        port.OnCTSChange = [&](TCustomComPort *, bool on) {
            log << QStringLiteral("CTS %1").arg(on);
        };
        port.OnDSRChange = [&](TCustomComPort *, bool on) {
            log << QStringLiteral("DSR %1").arg(on);
        };
        port.OnRLSDChange = [&](TCustomComPort *, bool on) {
            log << QStringLiteral("RLSD %1").arg(on);
        };
        port.OnBeforeClose = [&](TCustomComPort *) { log << "BeforeClose"; };
        port.OnAfterClose = [&](TCustomComPort *p) {
            log << QStringLiteral("AfterClose %1").arg(p->Connected());
        };

        port.SetConnected(true);
        port.SetConnected(true); // already open: nothing
        QVERIFY(port.Connected());
        port.SetConnected(false);
        port.SetConnected(false);
        QVERIFY(!port.Connected());
        QCOMPARE(log, QStringList({"BeforeOpen", "AfterOpen 1", "CTS 0", "DSR 0", "RLSD 0", "CTS 0",
                                   "DSR 0", "RLSD 0", "BeforeClose", "AfterClose 0"}));

        // And again: a closed port opens as before.
        port.Open();
        QVERIFY(port.Connected());
        QVERIFY(pty.Send("x"));
        QTRY_COMPARE(port.BytesWaiting(), 1);
        port.Close();
    }

    void aSecondUserIsTurnedAway()
    {
        PtyPair pty;
        QVERIFY(pty.Ok());
        TComPort first, second;
        first.SetPort(pty.SlaveName());
        second.SetPort(pty.SlaveName());
        first.Open();
        try {
            second.Open();
            QFAIL("two ports opened one device");
        } catch (const EComPort &e) {
            QCOMPARE(e.ErrorNumber(), 1);
            QCOMPARE(e.SystemErrorCode(), EBUSY);
            QCOMPARE(e.TekstUzytkownika(),
                     QStringLiteral("Port ") + pty.SlaveName() +
                         QStringLiteral(" jest używany przez inny program. Zamknij ten program "
                                        "(albo drugie okno Vestibulomatu) i spróbuj ponownie."));
        }
        QVERIFY(!second.Connected());
        first.Close();
        second.Open(); // free again
        QVERIFY(second.Connected());
    }

    void renamingAnOpenPortMovesIt()
    {
        PtyPair a, b;
        QVERIFY(a.Ok() && b.Ok());
        TComPort port;
        int opens = 0;
        port.OnBeforeOpen = [&](TCustomComPort *) { ++opens; };
        port.SetPort(a.SlaveName());
        port.Open();
        port.SetPort(a.SlaveName()); // same name: no reopen
        QCOMPARE(opens, 1);

        port.SetPort(b.SlaveName());
        QCOMPARE(opens, 2);
        QVERIFY(port.Connected());
        QCOMPARE(port.Port(), b.SlaveName());
        QVERIFY(b.Send("B"));
        QTRY_COMPARE(port.BytesWaiting(), 1);
        QCOMPARE(port.ReadText(1), QByteArray("B"));

        TComPort other; // the old device is free
        other.SetPort(a.SlaveName());
        other.Open();
        other.Close();

        // A name that fails leaves the port closed under the new name.
        QVERIFY_THROWS_EXCEPTION(EComPort, port.SetPort(QStringLiteral("pts/999999")));
        QVERIFY(!port.Connected());
        QCOMPARE(port.Port(), QStringLiteral("pts/999999"));
    }

    void syncMethodIsFixedWhileOpen()
    {
        PtyPair pty;
        TComPort port;
        port.SetPort(pty.SlaveName());
        port.SetSyncMethod(smWindowSync); // closed: fine
        port.SetSyncMethod(smThreadSync);
        port.Open();
        port.SetSyncMethod(smThreadSync); // unchanged: fine
        try {
            port.SetSyncMethod(smNone);
            QFAIL("changed the sync method while open");
        } catch (const EComPort &e) {
            QCOMPARE(e.ErrorNumber(), 14);
            QCOMPARE(e.SystemErrorCode(), -1);
            QCOMPARE(QString::fromUtf8(e.what()),
                     QStringLiteral("Cannot set property while connected"));
        }
        QCOMPARE(port.SyncMethod(), smThreadSync);
    }

    void settingsChangedWhileOpenReachTheDriver()
    {
        PtyPair pty;
        TComPort port;
        port.SetPort(pty.SlaveName());
        port.SetBaudRate(br19200); // closed: stored only
        port.Open();
        const int fd = ::open(pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        Termios2 t{};
        QCOMPARE(ReadTermios(fd, t), 0);
        QCOMPARE(t.c_ospeed, speed_t(19200));
        QVERIFY(!(t.c_cflag & HUPCL));

        port.SetBaudRate(br56000); // no constant for it: BOTHER
        port.FlowControl().SetFlowControl(fcSoftware);
        port.SetStopBits(sbTwoStopBits);
        QCOMPARE(ReadTermios(fd, t), 0);
        QCOMPARE(t.c_ospeed, speed_t(56000));
        QCOMPARE(t.c_cflag & CBAUD, kBOTHER);
        QVERIFY(t.c_iflag & IXON);
        QVERIFY(t.c_iflag & IXOFF);
        QVERIFY(t.c_cflag & CSTOPB);
        ::close(fd);
    }

    void bytesArriveWholeAndInOrder_data()
    {
        QTest::addColumn<int>("sync");
        QTest::addColumn<int>("chunk");
        QTest::newRow("thread sync, single bytes") << int(smThreadSync) << 1;
        QTest::newRow("thread sync, odd chunks") << int(smThreadSync) << 37;
        QTest::newRow("thread sync, large chunks") << int(smThreadSync) << 4096;
        QTest::newRow("window sync") << int(smWindowSync) << 61;
        QTest::newRow("no sync") << int(smNone) << 61;
    }
    void bytesArriveWholeAndInOrder()
    {
        QFETCH(int, sync);
        QFETCH(int, chunk);
        PtyPair pty;
        TComPort port;
        port.SetPort(pty.SlaveName());
        port.SetSyncMethod(TSyncMethod(sync));
        std::mutex lock;
        QByteArray got;
        std::atomic<bool> shortRead{false};
        port.OnRxChar = [&](TCustomComPort *p, int count) {
            const QByteArray b = p->ReadText(count);
            if (b.size() != count)
                shortRead.store(true);
            std::lock_guard<std::mutex> g(lock);
            got += b;
        };
        port.Open();
        const QByteArray sent = AllBytes(40);
        {
            Writer w(pty, sent, chunk);
            w.Join();
        }
        auto received = [&] {
            std::lock_guard<std::mutex> g(lock);
            return got.size();
        };
        QTRY_COMPARE_WITH_TIMEOUT(received(), sent.size(), 20000);
        port.Close();
        QCOMPARE(got, sent);
        QVERIFY(!shortRead.load());
        QVERIFY(m_boxes.isEmpty());
    }

    void aBatchWhoseBytesWereReadFiresNothing()
    {
        PtyPair pty;
        TComPort port;
        port.SetPort(pty.SlaveName());
        QList<int> counts;
        QByteArray got;
        port.OnRxChar = [&](TCustomComPort *p, int count) {
            counts << count;
            if (counts.size() == 1) {
                // More arrives while this handler runs; it reads that too, so
                // the batch announcing it finds nothing left.
                pty.Send("second");
                QTRY_VERIFY(p->BytesWaiting() >= count + 6);
                got += p->ReadText(p->BytesWaiting());
            } else {
                got += p->ReadText(count);
            }
        };
        port.Open();
        QVERIFY(pty.Send("first"));
        QTRY_COMPARE(got, QByteArray("firstsecond"));
        QVERIFY(pty.Send("Z")); // batches run in order: the empty one is behind us then
        QTRY_COMPARE(got, QByteArray("firstsecondZ"));
        QCOMPARE(counts, QList<int>({5, 1}));
    }

    void unreadBytesAreAnnouncedWithTheNextArrival()
    {
        PtyPair pty;
        TComPort port;
        port.SetPort(pty.SlaveName());
        QList<int> counts;
        port.OnRxChar = [&](TCustomComPort *, int count) { counts << count; }; // reads nothing
        port.Open();
        QVERIFY(pty.Send("abc"));
        QTRY_COMPARE(counts, QList<int>({3}));
        QVERIFY(pty.Send("de"));
        QTRY_COMPARE(counts, QList<int>({3, 5}));
        QCOMPARE(port.ReadText(100), QByteArray("abcde"));
    }

    void readTextTakesWhatIsQueuedAtOnce_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("zero") << QByteArray("abcdef") << 0 << QByteArray();
        QTest::newRow("negative") << QByteArray("abcdef") << -5 << QByteArray();
        QTest::newRow("part") << QByteArray("abcdef") << 3 << QByteArray("abc");
        QTest::newRow("exact") << QByteArray("abcdef") << 6 << QByteArray("abcdef");
        QTest::newRow("more than queued") << QByteArray("abcdef") << 1000 << QByteArray("abcdef");
        QTest::newRow("empty queue") << QByteArray() << 10 << QByteArray();
    }
    void readTextTakesWhatIsQueuedAtOnce()
    {
        QFETCH(QByteArray, sent);
        QFETCH(int, count);
        QFETCH(QByteArray, expected);
        PtyPair pty;
        TComPort port;
        port.SetPort(pty.SlaveName());
        port.Open();
        if (!sent.isEmpty())
            QVERIFY(pty.Send(sent));
        QTRY_COMPARE(port.BytesWaiting(), int(sent.size()));
        QCOMPARE(port.ReadText(count), expected);
        QCOMPARE(port.BytesWaiting(), int(sent.size() - expected.size()));
    }

    void transferOnAClosedPortFails()
    {
        TComPort port;
        QCOMPARE(port.ReadText(0), QByteArray());
        QCOMPARE(port.WriteText(QByteArray()), 0);
        QVERIFY_THROWS_EXCEPTION(EComPort, port.ReadText(1));
        QVERIFY_THROWS_EXCEPTION(EComPort, port.WriteText("\r"));
    }

    void writeTextSendsExactlyItsBytes_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty sends nothing") << QByteArray();
        QTest::newRow("carriage return") << QByteArray("\r");
        QTest::newRow("clock command") << QByteArray("Z240131120000\r");
        QTest::newRow("binary") << QByteArray("\x00\xff\x11\x13\xff\xff\x00", 7);
        QTest::newRow("every byte") << AllBytes(4);
    }
    void writeTextSendsExactlyItsBytes()
    {
        QFETCH(QByteArray, text);
        PtyPair pty;
        TComPort port;
        port.SetPort(pty.SlaveName());
        port.Open();
        QCOMPARE(port.WriteText(text), int(text.size()));
        QVERIFY(port.WriteText("!") == 1); // a marker: everything before it has arrived
        const QByteArray got = pty.Receive(int(text.size()) + 1);
        QCOMPARE(got, text + "!");
    }

    void aWriteNobodyTakesTimesOut()
    {
        PtyPair pty;
        TComPort port;
        port.SetPort(pty.SlaveName());
        port.Timeouts().SetWriteTotalMultiplier(0);
        port.Timeouts().SetWriteTotalConstant(50);
        port.Open();
        try {
            port.WriteText(QByteArray(1 << 20, 'x')); // far beyond what a pty buffers
            QFAIL("a megabyte fitted into an unread pseudo-terminal");
        } catch (const EComPort &e) {
            QCOMPARE(e.ErrorNumber(), 2);
            QCOMPARE(e.SystemErrorCode(), ETIMEDOUT);
        }
        QVERIFY(port.Connected());
        port.Close(); // drops the stuck output instead of waiting for it
    }

    void writtenBytesLeavingFireTxEmpty()
    {
        PtyPair pty;
        TComPort port;
        port.SetPort(pty.SlaveName());
        int empties = 0;
        port.OnTxEmpty = [&](TCustomComPort *) { ++empties; };
        port.Open();
        port.WriteText("\r");
        QTRY_VERIFY(empties >= 1);
    }

    void eventCharacterAndNulDiscarding()
    {
        PtyPair pty;
        TComPort port;
        port.SetPort(pty.SlaveName());
        port.SetEventChar('#');
        port.SetDiscardNull(true);
        int flags = 0;
        QByteArray got;
        port.OnRxFlag = [&](TCustomComPort *) { ++flags; };
        port.OnRxChar = [&](TCustomComPort *p, int count) { got += p->ReadText(count); };
        port.Open();
        QVERIFY(pty.Send(QByteArray("a\0b\xff\0", 5)));
        QTRY_COMPARE(got, QByteArray("ab\xff"));
        QCOMPARE(flags, 0);
        QVERIFY(pty.Send("c#"));
        QTRY_COMPARE(flags, 1);
        QTRY_COMPARE(got, QByteArray("ab\xff"
                                     "c#"));
    }

    void aFillingQueueFiresRx80Full()
    {
        PtyPair pty;
        TComPort port;
        port.SetPort(pty.SlaveName());
        port.Buffer().SetInputSize(100);
        int full = 0;
        port.OnRx80Full = [&](TCustomComPort *) { ++full; };
        port.Open();
        QVERIFY(pty.Send(QByteArray(79, 'a')));
        QTRY_COMPARE(port.BytesWaiting(), 79);
        QVERIFY(pty.Send("bc"));
        QTRY_COMPARE(full, 1);
        QCOMPARE(port.BytesWaiting(), 81);
    }

    void noEventsMeansNoThreadButReadingWorks()
    {
        PtyPair pty;
        TComPort port;
        port.SetPort(pty.SlaveName());
        port.SetEvents(TComEvents());
        int announced = 0;
        port.OnRxChar = [&](TCustomComPort *, int) { ++announced; };
        port.Open();
        QVERIFY(pty.Send("abc"));
        QTRY_COMPARE(port.BytesWaiting(), 3);
        QCoreApplication::processEvents();
        QCOMPARE(port.ReadText(3), QByteArray("abc"));
        QCOMPARE(announced, 0);
        port.Close();
    }

    void aFailingHandlerIsReportedAndEventsGoOn()
    {
        PtyPair pty;
        TComPort port;
        port.SetPort(pty.SlaveName());
        int calls = 0;
        port.OnRxChar = [&](TCustomComPort *p, int count) {
            ++calls;
            p->ReadText(count);
            if (calls == 1)
                throw EComPort(CError_ReadFailed, EIO);
        };
        port.Open();
        QVERIFY(pty.Send("a"));
        QTRY_COMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first(),
                 QStringLiteral("Urządzenie zostało odłączone. Podłącz je ponownie "
                                "i naciśnij „Połącz/Odbierz”."));
        QCOMPARE(OstatnieSzczegoly(), QStringLiteral("ReadFile function failed (errno 5: EIO)"));
        QVERIFY(pty.Send("b"));
        QTRY_COMPARE(calls, 2);
        QVERIFY(port.Connected());
    }

    void aFastBurstIsAnnouncedInBoundedChunks_data()
    {
        QTest::addColumn<int>("sync");
        QTest::addColumn<int>("readEvery");
        QTest::newRow("thread sync, every chunk read") << int(smThreadSync) << 1;
        QTest::newRow("thread sync, read every fourth time") << int(smThreadSync) << 4;
        QTest::newRow("no sync, every chunk read") << int(smNone) << 1;
    }
    void aFastBurstIsAnnouncedInBoundedChunks()
    {
        QFETCH(int, sync);
        QFETCH(int, readEvery);
        PtyPair pty;
        QVERIFY(pty.Ok());
        TComPort port;
        port.SetPort(pty.SlaveName());
        port.SetSyncMethod(TSyncMethod(sync));

        QByteArray sent;
        for (int i = 0; sent.size() < 4 * 1024 * 1024; ++i)
            sent += QByteArray::number(i).rightJustified(15, '0') + '\n';

        std::mutex lock;
        QByteArray got;
        QList<int> counts;
        // A handler that leaves bytes queued sees them again, with what came
        // since, in the next announcement. The one that holds the rest of the
        // burst is always read.
        port.OnRxChar = [&](TCustomComPort *p, int count) {
            std::lock_guard<std::mutex> g(lock);
            counts << count;
            if (counts.size() % readEvery == 0 || got.size() + count == sent.size())
                got += p->ReadText(count);
        };

        const QSet<int> before = ThreadIds();
        port.Open();
        const QSet<int> serialThreads = ThreadIds() - before;
        QVERIFY(!serialThreads.isEmpty());
        auto received = [&] {
            std::lock_guard<std::mutex> g(lock);
            return got.size();
        };
        {
            // Written while the event loop runs: the hand-overs need it.
            Writer w(pty, sent, 1 << 20);
            QTRY_COMPARE_WITH_TIMEOUT(received(), sent.size(), 60000);
            w.Join();
        }

        // The burst is over: the event thread goes back to waiting on the
        // device (a hand-over that announces nothing may run first) and
        // then stays asleep. A helper thread with nothing to watch is gone.
        QList<int> waiting;
        for (int tid : serialThreads) {
            QTRY_VERIFY(StateOf(tid).Gone() || StateOf(tid).AsleepInEpoll());
            if (!StateOf(tid).Gone())
                waiting << tid;
        }
        QVERIFY(!waiting.isEmpty());
        QHash<int, qint64> switches;
        for (int tid : waiting)
            switches.insert(tid, StateOf(tid).voluntarySwitches);
        QTest::qWait(1000);
        for (int tid : waiting) {
            const ThreadState now = StateOf(tid);
            QVERIFY(now.AsleepInEpoll());
            QCOMPARE(now.voluntarySwitches, switches.value(tid));
        }

        port.Close();
        QCOMPARE(got.size(), sent.size());
        QVERIFY(got == sent);
        // One look at the device reads at most a chunk, the queue may still
        // hold part of a block from the look before, and every announcement
        // left unread adds at most that much to the next.
        const int largest = *std::max_element(counts.begin(), counts.end());
        QVERIFY2(largest <= readEvery * (TCustomComPort::RxChunk + 8192),
                 qPrintable(QStringLiteral("largest announcement %1 bytes").arg(largest)));
        QVERIFY(m_boxes.isEmpty());
    }

    void closingDuringABurstNeverHangsNorFiresLate_data()
    {
        QTest::addColumn<bool>("fromHandler");
        QTest::newRow("close from outside") << false;
        QTest::newRow("close from inside the handler") << true;
    }
    void closingDuringABurstNeverHangsNorFiresLate()
    {
        QFETCH(bool, fromHandler);
        PtyPair pty;
        QVERIFY(pty.Ok());
        TComPort port;
        port.SetPort(pty.SlaveName());
        bool closed = false;
        int late = 0;
        int seen = 0;
        port.OnRxChar = [&](TCustomComPort *p, int count) {
            if (closed)
                ++late;
            ++seen;
            p->ReadText(count);
            if (fromHandler && seen == 3)
                p->Close();
        };
        port.OnTxEmpty = [&](TCustomComPort *) { late += closed ? 1 : 0; };
        port.OnAfterClose = [&](TCustomComPort *) { closed = true; };
        Writer w(pty, QByteArray(512, 'q'), 64, true);
        for (int round = 0; round < 100; ++round) {
            closed = false;
            seen = 0;
            port.Open();
            port.WriteText("\r");
            QTRY_VERIFY(seen >= 3);
            if (!fromHandler)
                port.Close();
            QVERIFY(closed);
            QVERIFY(!port.Connected());
            QCoreApplication::processEvents(); // queued hand-overs of that open
            QCOMPARE(late, 0);
        }
        w.Stop();
        QVERIFY(m_boxes.isEmpty());
    }

    void anUnpluggedDeviceClosesThePortOnce()
    {
        auto pty = std::make_unique<PtyPair>();
        TComPort port;
        port.SetPort(pty->SlaveName());
        QByteArray got;
        int lost = 0, afterClose = 0;
        int lostCode = 0;
        port.OnRxChar = [&](TCustomComPort *p, int count) { got += p->ReadText(count); };
        port.OnAfterClose = [&](TCustomComPort *) { ++afterClose; };
        port.OnDeviceLost = [&](TCustomComPort *p, const EComPort &e) {
            QVERIFY(!p->Connected());
            ++lost;
            lostCode = e.SystemErrorCode();
        };
        port.Open();
        {
            Writer w(*pty, QByteArray(64, 'r'), 16, true);
            QTRY_VERIFY(got.size() >= 256);
            w.Stop();
        }
        pty->CloseMaster(); // a hang-up drops what the driver still held
        QTRY_COMPARE(lost, 1);
        QVERIFY(!port.Connected());
        QCOMPARE(afterClose, 1);
        QCOMPARE(lostCode, EIO);
        QCOMPARE(got, QByteArray(got.size(), 'r'));
        QTest::qWait(50); // a second report would come right behind the first
        QCOMPARE(lost, 1);

        // The next open works, on whatever device the port names now.
        pty = std::make_unique<PtyPair>();
        port.SetPort(pty->SlaveName());
        port.Open();
        const qsizetype before = got.size();
        QVERIFY(pty->Send("ok"));
        QTRY_COMPARE(got.mid(before), QByteArray("ok"));
        QVERIFY(m_boxes.isEmpty());
    }

    void anUnpluggedDeviceWithoutHandlerShowsOneError()
    {
        auto pty = std::make_unique<PtyPair>();
        TComPort port;
        port.SetPort(pty->SlaveName());
        port.Open();
        pty->CloseMaster();
        QTRY_COMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first(), QStringLiteral("Urządzenie zostało odłączone od portu ") +
                                      pty->SlaveName() +
                                      QStringLiteral(". Podłącz je ponownie i naciśnij "
                                                     "„Połącz/Odbierz”."));
        QCOMPARE(OstatnieSzczegoly(), QStringLiteral("ReadFile function failed (errno 5: EIO)"));
        QVERIFY(!port.Connected());
    }

    void destroyingAnOpenPortStopsEverything()
    {
        PtyPair pty;
        auto port = std::make_unique<TComPort>();
        port->SetPort(pty.SlaveName());
        int calls = 0;
        port->OnRxChar = [&](TCustomComPort *, int) { ++calls; };
        port->Open();
        Writer w(pty, QByteArray(64, 'd'), 8, true);
        QTRY_VERIFY(calls > 0);
        port.reset();
        w.Stop();
        QCoreApplication::processEvents();
        TComPort again; // the device is free
        again.SetPort(pty.SlaveName());
        again.Open();
    }
};

QTEST_MAIN(TstCPort)
#include "tst_cport.moc"
