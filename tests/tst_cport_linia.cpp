// How the port's line settings become the terminal driver's record, and how
// the driver's marked input turns back into the device's bytes.

#include "CPort.h"
#include "LiniaTermios.h"

#include <QTest>

using namespace vm_serial_detail;

class TstCPortLinia : public QObject
{
    Q_OBJECT

private slots:
    void settingsBecomeTermiosFlags_data()
    {
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<uint>("cflagMask");
        QTest::addColumn<uint>("cflag");
        const uint frame = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
        QTest::newRow("8N1") << int(dbEight) << int(prNone) << int(sbOneStopBit) << frame
                             << uint(CS8);
        QTest::newRow("7E1") << int(dbSeven) << int(prEven) << int(sbOneStopBit) << frame
                             << uint(CS7 | PARENB);
        QTest::newRow("7O2") << int(dbSeven) << int(prOdd) << int(sbTwoStopBits) << frame
                             << uint(CS7 | PARENB | PARODD | CSTOPB);
        QTest::newRow("6 mark") << int(dbSix) << int(prMark) << int(sbOneStopBit) << frame
                                << uint(CS6 | PARENB | CMSPAR | PARODD);
        QTest::newRow("8 space") << int(dbEight) << int(prSpace) << int(sbOneStopBit) << frame
                                 << uint(CS8 | PARENB | CMSPAR);
        QTest::newRow("5 bits, 1.5 stop bits")
            << int(dbFive) << int(prNone) << int(sbOne5StopBits) << frame << uint(CS5 | CSTOPB);
    }
    void settingsBecomeTermiosFlags()
    {
        QFETCH(int, dataBits);
        QFETCH(int, parity);
        QFETCH(int, stopBits);
        QFETCH(uint, cflagMask);
        QFETCH(uint, cflag);
        TComPort port;
        port.SetDataBits(TDataBits(dataBits));
        port.Parity().SetBits(TParityBits(parity));
        port.SetStopBits(TStopBits(stopBits));
        const Termios2 t = TermiosFor(port);
        QCOMPARE(uint(t.c_cflag & cflagMask), cflag);
        // Always: receiver on, modem lines do not hang up the port, raw bytes.
        QVERIFY(t.c_cflag & CREAD);
        QVERIFY(t.c_cflag & CLOCAL);
        QVERIFY(!(t.c_cflag & HUPCL));
        QCOMPARE(t.c_lflag, tcflag_t(0));
        QCOMPARE(t.c_oflag, tcflag_t(0));
    }

    void speedsUseConstantsOrAnyRate_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("custom");
        QTest::addColumn<uint>("cbaud");
        QTest::addColumn<uint>("speed");
        QTest::newRow("110") << int(br110) << 0 << uint(B110) << 110u;
        QTest::newRow("9600") << int(br9600) << 0 << uint(B9600) << 9600u;
        QTest::newRow("14400 has no constant") << int(br14400) << 0 << uint(kBOTHER) << 14400u;
        QTest::newRow("115200") << int(br115200) << 0 << uint(B115200) << 115200u;
        QTest::newRow("256000") << int(br256000) << 0 << uint(kBOTHER) << 256000u;
        QTest::newRow("custom odd rate") << int(brCustom) << 31250 << uint(kBOTHER) << 31250u;
        QTest::newRow("custom standard rate") << int(brCustom) << 57600 << uint(B57600) << 57600u;
    }
    void speedsUseConstantsOrAnyRate()
    {
        QFETCH(int, rate);
        QFETCH(int, custom);
        QFETCH(uint, cbaud);
        QFETCH(uint, speed);
        TComPort port;
        port.SetBaudRate(TBaudRate(rate));
        if (custom)
            port.SetCustomBaudRate(custom);
        const Termios2 t = TermiosFor(port);
        QCOMPARE(uint(t.c_cflag & CBAUD), cbaud);
        QCOMPARE(uint(t.c_ospeed), speed);
        QCOMPARE(uint(t.c_ispeed), speed);
    }

    void aCustomSpeedOfZeroIsRefused()
    {
        TComPort port;
        port.SetBaudRate(brCustom);
        port.SetCustomBaudRate(0);
        try {
            TermiosFor(port);
            QFAIL("speed 0 accepted");
        } catch (const EComPort &e) {
            QCOMPARE(e.ErrorNumber(), 7);
        }
    }

    void handshakesBecomeTermiosFlags_data()
    {
        QTest::addColumn<int>("flow");
        QTest::addColumn<bool>("crtscts");
        QTest::addColumn<bool>("ixon");
        QTest::addColumn<bool>("ixoff");
        QTest::newRow("none") << int(fcNone) << false << false << false;
        QTest::newRow("hardware") << int(fcHardware) << true << false << false;
        QTest::newRow("software") << int(fcSoftware) << false << true << true;
    }
    void handshakesBecomeTermiosFlags()
    {
        QFETCH(int, flow);
        QFETCH(bool, crtscts);
        QFETCH(bool, ixon);
        QFETCH(bool, ixoff);
        TComPort port;
        port.FlowControl().SetFlowControl(TFlowControl(flow));
        port.FlowControl().SetXonChar('A');
        port.FlowControl().SetXoffChar('B');
        const Termios2 t = TermiosFor(port);
        QCOMPARE(bool(t.c_cflag & CRTSCTS), crtscts);
        QCOMPARE(bool(t.c_iflag & IXON), ixon);
        QCOMPARE(bool(t.c_iflag & IXOFF), ixoff);
        QVERIFY(!(t.c_iflag & IXANY));
        QCOMPARE(t.c_cc[VSTART], cc_t('A'));
        QCOMPARE(t.c_cc[VSTOP], cc_t('B'));
    }

    void ctsOutputFlowAloneStillNeedsCrtscts()
    {
        TComPort port;
        port.FlowControl().SetOutCTSFlow(true);
        QVERIFY(TermiosFor(port).c_cflag & CRTSCTS);
    }

    void parityCheckingTurnsOnInputChecking()
    {
        TComPort port;
        port.Parity().SetBits(prEven);
        QVERIFY(!(TermiosFor(port).c_iflag & INPCK));
        port.Parity().SetCheck(true);
        const Termios2 t = TermiosFor(port);
        QVERIFY(t.c_iflag & INPCK);
        QVERIFY(t.c_iflag & PARMRK);
        QVERIFY(!(t.c_iflag & (IGNPAR | IGNBRK | BRKINT | ISTRIP)));
    }

    void markedInputDecodes_data()
    {
        QTest::addColumn<QByteArrayList>("reads");
        QTest::addColumn<bool>("check");
        QTest::addColumn<bool>("replace");
        QTest::addColumn<bool>("discardNull");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("breakSeen");
        QTest::addColumn<bool>("parityError");
        auto b = [](const char *s, int n) { return QByteArray(s, n); };
        QTest::newRow("plain") << QByteArrayList{"abc"} << false << false << false
                               << QByteArray("abc") << false << false;
        QTest::newRow("doubled FF is one FF") << QByteArrayList{b("a\xff\xff"
                                                                  "b",
                                                                  4)}
                                              << false << false << false
                                              << b("a\xff"
                                                   "b",
                                                   3)
                                              << false << false;
        QTest::newRow("doubled FF split across reads") << QByteArrayList{b("a\xff", 2), b("\xff"
                                                                                          "b",
                                                                                          2)}
                                                       << false << false << false
                                                       << b("a\xff"
                                                            "b",
                                                            3)
                                                       << false << false;
        QTest::newRow("break leaves no byte")
            << QByteArrayList{b("a\xff\x00\x00"
                                "b",
                                5)}
            << false << false << false << QByteArray("ab") << true << false;
        QTest::newRow("break split three ways")
            << QByteArrayList{b("\xff", 1), b("\x00", 1), b("\x00", 1)} << false << false << false
            << QByteArray() << true << false;
        QTest::newRow("parity error kept without replace")
            << QByteArrayList{b("\xff\x00"
                                "q",
                                3)}
            << true << false << false << QByteArray("q") << false << true;
        QTest::newRow("parity error replaced")
            << QByteArrayList{b("\xff\x00"
                                "q",
                                3)}
            << true << true << false << QByteArray("?") << false << true;
        QTest::newRow("NUL kept") << QByteArrayList{b("a\x00"
                                                      "b",
                                                      3)}
                                  << false << false << false
                                  << b("a\x00"
                                       "b",
                                       3)
                                  << false << false;
        QTest::newRow("NUL discarded")
            << QByteArrayList{b("a\x00"
                                "b\x00",
                                4)}
            << false << false << true << QByteArray("ab") << false << false;
        QTest::newRow("event character amid plain bytes, NULs dropped")
            << QByteArrayList{b("ab#\x00"
                                "cd\xff\xff",
                                8),
                              "ef"}
            << false << false << true
            << b("ab#cd\xff"
                 "ef",
                 8)
            << false << false;
        QTest::newRow("event character after a mark")
            << QByteArrayList{b("\xff\xff#", 3)} << false << false << false << b("\xff#", 2)
            << false << false;
    }
    void markedInputDecodes()
    {
        QFETCH(QByteArrayList, reads);
        QFETCH(bool, check);
        QFETCH(bool, replace);
        QFETCH(bool, discardNull);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, breakSeen);
        QFETCH(bool, parityError);
        RxDecoder d;
        d.config.check = check;
        d.config.replace = replace;
        d.config.replaceChar = '?';
        d.config.discardNull = discardNull;
        d.config.eventChar = '#';
        QByteArray out;
        RxDecoder::Marks marks;
        for (const QByteArray &r : reads)
            d.Feed(r.constData(), r.size(), out, marks);
        QCOMPARE(out, bytes);
        QCOMPARE(marks.breakSeen, breakSeen);
        QCOMPARE(marks.parityError, parityError);
        // The event character is '#' here: seen exactly when it was received.
        QCOMPARE(marks.eventChar, bytes.contains('#'));
    }

    void eventMaskBitsMatchTheDeviceTable()
    {
        QCOMPARE(EventsToMask(TComEvents{evRxChar}), 0x0001u);
        QCOMPARE(EventsToMask(TComEvents{evRxFlag}), 0x0002u);
        QCOMPARE(EventsToMask(TComEvents{evTxEmpty}), 0x0004u);
        QCOMPARE(EventsToMask(TComEvents{evRx80Full}), 0x0400u);
        QCOMPARE(EventsToMask(TComEvents::All()), 0x05FFu);
        QCOMPARE(EventsFromMask(0x05FF), TComEvents::All());
        QCOMPARE(EventsFromMask(0x0100 | 0x0040), (TComEvents{evRing, evBreak}));
    }
};

QTEST_GUILESS_MAIN(TstCPortLinia)
#include "tst_cport_linia.moc"
