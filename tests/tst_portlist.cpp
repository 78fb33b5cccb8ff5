// The list of serial ports present (on a made-up sysfs tree) and the port picker.

#include "CPort.h"
#include "CPortCtl.h"
#include "Komunikaty.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A tty entry: hasDevice gives it hardware; type, when not empty, is written
// to its type file as a legacy UART does.
void AddTty(const QString &root, const QString &name, bool hasDevice, const QByteArray &type = {})
{
    QDir(root).mkpath(name);
    if (hasDevice)
        QDir(root).mkpath(name + QStringLiteral("/device"));
    if (!type.isEmpty()) {
        QFile f(root + u'/' + name + QStringLiteral("/type"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(type + '\n');
    }
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
        Komunikaty::UstawHook([this](Komunikaty::Rodzaj, const QString &text) {
            m_boxes << text;
            return true;
        });
    }

    void onlyPortsWithHardwareAreListedInTextOrder()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString root = dir.path();
        AddTty(root, QStringLiteral("ttyUSB2"), true);
        AddTty(root, QStringLiteral("ttyUSB10"), true);
        AddTty(root, QStringLiteral("ttyACM0"), true);
        AddTty(root, QStringLiteral("ttyS0"), true, "4"); // a real 16550A
        AddTty(root, QStringLiteral("ttyS1"), true, "0"); // no chip behind it
        AddTty(root, QStringLiteral("ttyS2"), true, "0");
        AddTty(root, QStringLiteral("ttyAMA0"), true, "91");
        AddTty(root, QStringLiteral("tty1"), false); // virtual console
        AddTty(root, QStringLiteral("ptmx"), false);
        AddTty(root, QStringLiteral("ttyusb3"), true); // lower case sorts by letters

        QStringList list = {QStringLiteral("stale")};
        EnumerateSerialPorts(list, root);
        QCOMPARE(list,
                 QStringList({"ttyACM0", "ttyAMA0", "ttyS0", "ttyUSB10", "ttyUSB2", "ttyusb3"}));
    }

    void noPortsGiveAnEmptyList()
    {
        QTemporaryDir dir;
        QStringList list = {QStringLiteral("stale")};
        EnumerateSerialPorts(list, dir.path());
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
        QTemporaryDir dir;
        AddTty(dir.path(), QStringLiteral("ttyUSB0"), true);
        AddTty(dir.path(), QStringLiteral("ttyUSB1"), true);
        AddTty(dir.path(), QStringLiteral("ttyS0"), true, "4");

        TComPort port; // named "COM1", which is not in the list
        TComComboBox ccbPort(nullptr, dir.path());
        ccbPort.SetComPort(&port);
        ccbPort.SetComProperty(cpPort);
        QCOMPARE(ccbPort.count(), 3);
        QCOMPARE(ccbPort.currentIndex(), -1);
        QCOMPARE(ccbPort.Text(), QString());
        ccbPort.SetText(QStringLiteral("COM1")); // absent: selection kept
        QCOMPARE(ccbPort.Text(), QString());
        ccbPort.setCurrentIndex(0);
        QCOMPARE(ccbPort.Text(), QStringLiteral("ttyS0"));

        ccbPort.SetText(QStringLiteral("TTYUSB1")); // letter case does not matter
        QCOMPARE(ccbPort.Text(), QStringLiteral("ttyUSB1"));
        ccbPort.SetText(QStringLiteral("ttyUSB9"));
        QCOMPARE(ccbPort.Text(), QStringLiteral("ttyUSB1"));

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
        picker.OnChange = [](TComComboBox *) { throw EComPort(CError_OpenFailed, ENOENT); };
        m_boxes.clear();
        emit picker.activated(1);
        QCOMPARE(m_boxes, QStringList({"Unable to open com port (win error code: 2)."}));
    }
};

QTEST_MAIN(TstPortList)
#include "tst_portlist.moc"
