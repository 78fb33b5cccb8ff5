// The list of serial ports present (on a made-up sysfs tree) and the port picker.

#include "CPort.h"
#include "CPortCtl.h"
#include "DrzewoSysfs.h"
#include "Komunikaty.h"
#include "UjscieTestowe.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A made-up machine: an on-board UART, a phantom legacy slot, two USB
// adapters and a virtual console.
void MaszynaTestowa(DrzewoSysfs &d)
{
    d.Uart(QStringLiteral("ttyS0"), "4");
    d.Uart(QStringLiteral("ttyS3"), "0");
    d.Usb(QStringLiteral("ttyUSB0"), QStringLiteral("FT232R USB UART"), QStringLiteral("FTDI"));
    d.Usb(QStringLiteral("ttyACM0"), QStringLiteral("Licznik"), QString());
    d.Wirtualny(QStringLiteral("tty1"));
}

QStringList Wpisy(const QComboBox &c)
{
    QStringList wpisy;
    for (int i = 0; i < c.count(); ++i)
        wpisy << c.itemText(i);
    return wpisy;
}

} // namespace

class TstPortList : public QObject
{
    Q_OBJECT

private:
    QStringList m_boxes;

private slots:
    void initTestCase()
    {
        NagrywajKomunikaty([this](Komunikaty::Rodzaj, const QString &text) {
            m_boxes << text;
            return true;
        });
    }

    void onlyPortsWithHardwareAreListedInTextOrder()
    {
        DrzewoSysfs d;
        QVERIFY(d.isValid());
        d.Usb(QStringLiteral("ttyUSB2"), QStringLiteral("FT232R USB UART"), QStringLiteral("FTDI"));
        d.Usb(QStringLiteral("ttyUSB10"), QString(), QString()); // no strings at all
        d.Usb(QStringLiteral("ttyACM0"), QStringLiteral("Arduino Uno"),
              QStringLiteral("Arduino (www.arduino.cc)"));
        d.Uart(QStringLiteral("ttyS0"), "4"); // a real 16550A
        d.Uart(QStringLiteral("ttyS1"), "0"); // no chip behind it
        d.Uart(QStringLiteral("ttyS2"), "0");
        d.Uart(QStringLiteral("ttyAMA0"), "91");
        d.Wirtualny(QStringLiteral("tty1"));
        d.Wirtualny(QStringLiteral("ptmx"));
        d.Usb(QStringLiteral("ttyusb3"), QString(), QStringLiteral("Prolific")); // sorts by letters
        // The device names itself: kept as text, control characters dropped,
        // at most 64 characters.
        d.Usb(QStringLiteral("ttyUSB4"), QStringLiteral("<b>Licznik</b>\t") + QString(60, u'A'),
              QString());

        QStringList list = {QStringLiteral("stale")};
        EnumerateSerialPorts(list, d.Korzen());
        QCOMPARE(list, QStringList({"ttyACM0", "ttyAMA0", "ttyS0", "ttyUSB10", "ttyUSB2", "ttyusb3",
                                    "ttyUSB4"}));

        QStringList opisy;
        for (const TComPortInfo &p : EnumerateSerialPortInfo(d.Korzen()))
            opisy << p.Name + QStringLiteral(": ") + p.Description;
        QCOMPARE(opisy,
                 QStringList({"ttyACM0: Arduino Uno (Arduino (www.arduino.cc))",
                              "ttyAMA0: port szeregowy", "ttyS0: port szeregowy",
                              "ttyUSB10: urządzenie USB", "ttyUSB2: FT232R USB UART (FTDI)",
                              "ttyusb3: Prolific", "ttyUSB4: <b>Licznik</b>" + QString(50, u'A')}));
    }

    void noPortsGiveAnEmptyList()
    {
        DrzewoSysfs d;
        d.Wirtualny(QStringLiteral("tty1"));
        QStringList list = {QStringLiteral("stale")};
        EnumerateSerialPorts(list, d.Korzen());
        QVERIFY(list.isEmpty());
    }

    void anUnreadableTreeIsError23()
    {
        QStringList list;
        try {
            EnumerateSerialPorts(list, QStringLiteral("/nonexistent/class/tty"));
            QFAIL("listed a directory that does not exist");
        } catch (const EComPort &e) {
            QCOMPARE(e.ErrorNumber(), 23);
            QCOMPARE(e.SystemErrorCode(), ENOENT);
        }
    }

    void textToValueFallsBackToTheKindsDefault_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("baud exact") << int(cpBaudRate) << "19200" << int(br19200);
        QTest::newRow("baud custom any case") << int(cpBaudRate) << "cUSTOM" << int(brCustom);
        QTest::newRow("baud unknown") << int(cpBaudRate) << "12345" << int(br9600);
        QTest::newRow("data bits") << int(cpDataBits) << "7" << int(dbSeven);
        QTest::newRow("data bits unknown") << int(cpDataBits) << "9" << int(dbEight);
        QTest::newRow("stop bits 1.5") << int(cpStopBits) << "1.5" << int(sbOne5StopBits);
        QTest::newRow("stop bits unknown") << int(cpStopBits) << "3" << int(sbOneStopBit);
        QTest::newRow("parity any case") << int(cpParity) << "mark" << int(prMark);
        QTest::newRow("parity unknown") << int(cpParity) << "" << int(prNone);
        QTest::newRow("flow software") << int(cpFlowControl) << "SOFTWARE" << int(fcSoftware);
        QTest::newRow("flow unknown") << int(cpFlowControl) << "xyz" << int(fcCustom);
    }
    void textToValueFallsBackToTheKindsDefault()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(int, value);
        int got = -1;
        switch (TComProperty(kind)) {
        case cpBaudRate:
            got = StrToBaudRate(text);
            break;
        case cpDataBits:
            got = StrToDataBits(text);
            break;
        case cpStopBits:
            got = StrToStopBits(text);
            break;
        case cpParity:
            got = StrToParity(text);
            break;
        case cpFlowControl:
            got = StrToFlowControl(text);
            break;
        default:
            break;
        }
        QCOMPARE(got, value);
    }

    void thePortPickerAsTheConfigurationDialogUsesIt()
    {
        DrzewoSysfs d;
        d.Usb(QStringLiteral("ttyUSB0"), QStringLiteral("A"), QStringLiteral("B"));
        d.Usb(QStringLiteral("ttyUSB1"), QStringLiteral("C"), QStringLiteral("D"));
        d.Uart(QStringLiteral("ttyS0"), "4");

        TComPort port; // named "COM1": the first legacy UART, ttyS0
        TComComboBox ccbPort(nullptr, d.Korzen());
        ccbPort.SetComPort(&port);
        ccbPort.SetComProperty(cpPort);
        QCOMPARE(Wpisy(ccbPort),
                 QStringList({"COM1 — port szeregowy", "ttyUSB0 — A (B)", "ttyUSB1 — C (D)"}));
        QCOMPARE(ccbPort.currentIndex(), 0);
        QCOMPARE(ccbPort.Text(), QStringLiteral("COM1"));

        ccbPort.SetText(QStringLiteral("TTYUSB1")); // letter case: the device's own name
        QCOMPARE(ccbPort.Text(), QStringLiteral("ttyUSB1"));
        QCOMPARE(ccbPort.itemText(0), QStringLiteral("ttyS0 — port szeregowy"));
        // A port not present gets an entry of its own, gone once another is shown.
        ccbPort.SetText(QStringLiteral("ttyUSB7"));
        QCOMPARE(ccbPort.currentText(), QStringLiteral("ttyUSB7 (niepodłączony)"));
        QCOMPARE(ccbPort.Select().PendingPort, QStringLiteral("ttyUSB7"));
        ccbPort.SetText(QStringLiteral("ttyUSB1"));
        QCOMPARE(ccbPort.count(), 3);

        // A pick by the user: the name is recorded before the owner's handler
        // runs, and the port itself is left to that handler.
        QString pendingSeen;
        int changes = 0;
        ccbPort.OnChange = [&](TComComboBox *sender) {
            ++changes;
            pendingSeen = sender->Select().PendingPort;
        };
        ccbPort.setCurrentIndex(1);
        QCOMPARE(changes, 0); // code selections fire nothing
        emit ccbPort.activated(1);
        QCOMPARE(changes, 1);
        QCOMPARE(pendingSeen, QStringLiteral("ttyUSB0"));
        QCOMPARE(port.Port(), QStringLiteral("COM1"));

        ccbPort.SetAutoApply(true);
        ccbPort.setCurrentIndex(2);
        emit ccbPort.activated(2);
        QCOMPARE(port.Port(), QStringLiteral("ttyUSB1"));
    }

    // Which port a setting means, with no window: what the picker then selects
    // and shows. <dev> stands for the made-up /dev.
    void aStoredNameMeansThePortItStandsFor_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("meant");    // the listed port selected; "" none
        QTest::addColumn<QString>("kept");     // the value stored and opened
        QTest::addColumn<QString>("unlisted"); // the entry made when none is meant
        QTest::newRow("COM1 is ttyS0") << "COM1"
                                       << "ttyS0"
                                       << "COM1"
                                       << "";
        QTest::newRow("com1 in any case") << "com1"
                                          << "ttyS0"
                                          << "com1"
                                          << "";
        QTest::newRow("COM10 is ttyS9, absent") << "COM10"
                                                << ""
                                                << "COM10"
                                                << "COM10 (niepodłączony)";
        QTest::newRow("COM4 on a slot without a chip, its node present") << "COM4"
                                                                         << ""
                                                                         << "COM4"
                                                                         << "COM4 (niepodłączony)";
        QTest::newRow("device path") << "<dev>/ttyUSB0"
                                     << "ttyUSB0"
                                     << "<dev>/ttyUSB0"
                                     << "";
        QTest::newRow("device prefix") << "\\\\.\\ttyACM0"
                                       << "ttyACM0"
                                       << "\\\\.\\ttyACM0"
                                       << "";
        QTest::newRow("by-id link keeps the link")
            << "<dev>/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0"
            << "ttyUSB0"
            << "<dev>/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0"
            << "";
        QTest::newRow("letter case: the name that opens") << "ttyusb0"
                                                          << "ttyUSB0"
                                                          << "ttyUSB0"
                                                          << "";
        QTest::newRow("letter case of a path is not guessed") << "<dev>/TTYUSB0"
                                                              << ""
                                                              << "<dev>/TTYUSB0"
                                                              << "<dev>/TTYUSB0 (niepodłączony)";
        QTest::newRow("unplugged adapter") << "ttyUSB7"
                                           << ""
                                           << "ttyUSB7"
                                           << "ttyUSB7 (niepodłączony)";
        QTest::newRow("unplugged adapter's by-id link") << "<dev>/serial/by-id/usb-gone"
                                                        << ""
                                                        << "<dev>/serial/by-id/usb-gone"
                                                        << "usb-gone (niepodłączony)";
        QTest::newRow("pseudo-terminal: present, unlisted, unmarked") << "pts/3"
                                                                      << ""
                                                                      << "pts/3"
                                                                      << "pts/3";
        QTest::newRow("empty means none") << ""
                                          << ""
                                          << ""
                                          << "";
    }
    void aStoredNameMeansThePortItStandsFor()
    {
        QFETCH(QString, stored);
        QFETCH(QString, meant);
        QFETCH(QString, kept);
        QFETCH(QString, unlisted);
        DrzewoSysfs d;
        MaszynaTestowa(d);
        d.Wezel(QStringLiteral("pts/3"));
        d.LinkPoId(QStringLiteral("usb-FTDI_FT232R_A50285BI-if00-port0"),
                   QStringLiteral("ttyUSB0"));
        d.LinkPoId(QStringLiteral("usb-gone"), QStringLiteral("ttyUSB5"));
        for (QString *t : {&stored, &kept, &unlisted})
            t->replace(QStringLiteral("<dev>"), d.Dev());
        const QStringList listed = {QStringLiteral("ttyACM0"), QStringLiteral("ttyS0"),
                                    QStringLiteral("ttyUSB0")};

        const TStoredPort match = MatchStoredPort(stored, listed, d.Dev());
        QCOMPARE(match.Index < 0 ? QString() : listed.at(match.Index), meant);
        QCOMPARE(match.Value, kept);
        if (meant.isEmpty() && !stored.isEmpty())
            QCOMPARE(UnlistedPortText(stored, d.Korzen(), d.Dev()), unlisted);
    }

    void theListIsReadAgainWhenTheDropDownOpens()
    {
        DrzewoSysfs d;
        MaszynaTestowa(d);
        TComPort port;
        port.SetPort(QStringLiteral("ttyUSB7")); // not plugged in
        TComComboBox picker(nullptr, d.Korzen());
        picker.SetComPort(&port);
        picker.SetComProperty(cpPort);
        picker.show();
        QCOMPARE(picker.currentText(), QStringLiteral("ttyUSB7 (niepodłączony)"));
        int changes = 0;
        picker.OnChange = [&](TComComboBox *) { ++changes; };

        // Plugged in while the program runs, beside another new adapter.
        d.Usb(QStringLiteral("ttyUSB7"), QStringLiteral("Nowy"), QStringLiteral("X"));
        d.Usb(QStringLiteral("ttyUSB1"), QStringLiteral("Drugi"), QString());
        picker.showPopup();
        QCOMPARE(Wpisy(picker), QStringList({"ttyACM0 — Licznik", "ttyS0 — port szeregowy",
                                             "ttyUSB0 — FT232R USB UART (FTDI)", "ttyUSB1 — Drugi",
                                             "ttyUSB7 — Nowy (X)"}));
        QCOMPARE(picker.Text(), QStringLiteral("ttyUSB7"));
        // Wide enough for its longest entry.
        const int najszerszy =
            QFontMetrics(picker.view()->font())
                .horizontalAdvance(QStringLiteral("ttyUSB0 — FT232R USB UART (FTDI)"));
        QVERIFY2(picker.view()->width() >= najszerszy,
                 qPrintable(QString::number(picker.view()->width())));
        picker.hidePopup();

        // The list cannot be read any more: one box, however often the
        // drop-down opens; the port shown stays.
        m_boxes.clear();
        QVERIFY(QDir(d.Korzen()).rename(d.Korzen(), d.Korzen() + QStringLiteral("-gone")));
        picker.showPopup();
        picker.hidePopup();
        picker.showPopup();
        picker.hidePopup();
        QCOMPARE(m_boxes.size(), 1);
        QVERIFY2(
            m_boxes[0].startsWith(QStringLiteral("Nie można odczytać listy portów szeregowych")),
            qPrintable(m_boxes[0]));
        QCOMPARE(OstatnieSzczegoly(), QStringLiteral("Registry error (errno 2: ENOENT)"));
        QCOMPARE(Wpisy(picker), QStringList({"ttyUSB7 (niepodłączony)"}));
        QCOMPARE(picker.Text(), QStringLiteral("ttyUSB7"));

        // Re-reading never acts on the port: only a pick does.
        QCOMPARE(changes, 0);
        QCOMPARE(port.Port(), QStringLiteral("ttyUSB7"));
    }

    void aPickerFollowsItsPortsValueAndOutlivesIt()
    {
        auto port = std::make_unique<TComPort>();
        port->SetBaudRate(br19200);
        TComComboBox picker;
        picker.SetComPort(port.get());
        picker.SetComProperty(cpBaudRate);
        QCOMPARE(picker.Text(), QStringLiteral("19200"));
        QCOMPARE(picker.Select().PendingBaudRate, br19200);
        picker.setCurrentIndex(5);
        port.reset();
        QCOMPARE(picker.ComPort(), nullptr);
        QCOMPARE(picker.currentIndex(), 0);
        emit picker.activated(0); // nothing bound: nothing to apply
        QCOMPARE(picker.Select().PendingBaudRate, brCustom);
    }

    void anErrorInThePickHandlerGoesToTheErrorHandler()
    {
        TComComboBox picker;
        picker.SetComProperty(cpParity);
        picker.OnChange = [](TComComboBox *) {
            throw EComPort(CError_OpenFailed, ENOENT, QStringLiteral("ttyUSB3"));
        };
        m_boxes.clear();
        emit picker.activated(1);
        QCOMPARE(m_boxes, QStringList({"Nie znaleziono portu ttyUSB3. Sprawdź, czy urządzenie jest "
                                       "podłączone, albo wybierz inny port w oknie Konfiguracja, "
                                       "na zakładce „Zaawansowane”."}));
        QCOMPARE(OstatnieSzczegoly(), QStringLiteral("Unable to open com port (errno 2: ENOENT)"));
    }
};

QTEST_MAIN(TstPortList)
#include "tst_portlist.moc"
