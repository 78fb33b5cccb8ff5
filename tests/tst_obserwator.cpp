// Finding the device: the port watcher notices adapters coming and going
// under a made-up /dev, by-id links included, and stays silent when nobody
// waits for a port; a picked adapter is kept by what stays with it.
#include "DrzewoSysfs.h"
#include "ObserwatorPortow.h"
#include "PortList.h"
#include "PowrotUrzadzenia.h"
#include "Tozsamosc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestObserwator : public QObject
{
    Q_OBJECT

private slots:
    void zmianaPodDev_data();
    void zmianaPodDev();
    void zatrzymanyMilczy();
    void adapterPoPonownymPodlaczeniu_data();
    void adapterPoPonownymPodlaczeniu();
};

void TestObserwator::zmianaPodDev_data()
{
    QTest::addColumn<QString>("dzialanie");
    QTest::addColumn<bool>("sygnal");
    QTest::newRow("adapter plugged in") << "new ttyUSB0" << true;
    QTest::newRow("adapter pulled out") << "delete ttyUSB9" << true;
    QTest::newRow("udev sets the group") << "chmod ttyUSB9" << true;
    QTest::newRow("first by-id link, folders new") << "link usb-FTDI_A1-if00-port0" << true;
    QTest::newRow("a disk is not a port") << "new sdb1" << false;
}

void TestObserwator::zmianaPodDev()
{
    QFETCH(QString, dzialanie);
    QFETCH(bool, sygnal);
    QTemporaryDir dev;
    QVERIFY(dev.isValid());
    QFile old(dev.filePath(QStringLiteral("ttyUSB9")));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.close();

    TObserwatorPortow watcher(nullptr, dev.path());
    QSignalSpy spy(&watcher, &TObserwatorPortow::zmiana);
    watcher.Start();

    const QString what = dzialanie.section(u' ', 0, 0);
    const QString name = dzialanie.section(u' ', 1);
    if (what == u"new") {
        QFile f(dev.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    } else if (what == u"delete") {
        QVERIFY(QFile::remove(dev.filePath(name)));
    } else if (what == u"chmod") {
        QVERIFY(QFile::setPermissions(dev.filePath(name), QFile::ReadOwner));
    } else {
        QVERIFY(QDir(dev.path()).mkpath(QStringLiteral("serial/by-id")));
        // The folders alone count; let them settle, then the link itself.
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 1, 2000);
        spy.clear();
        QTest::qWait(300);
        spy.clear();
        QVERIFY(QFile::link(QStringLiteral("../../ttyUSB9"),
                            dev.filePath(QStringLiteral("serial/by-id/")) + name));
    }
    if (sygnal) {
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 2000);
    } else {
        QTest::qWait(600);
        QCOMPARE(spy.count(), 0);
    }
}

void TestObserwator::zatrzymanyMilczy()
{
    QTemporaryDir dev;
    TObserwatorPortow watcher(nullptr, dev.path());
    QSignalSpy spy(&watcher, &TObserwatorPortow::zmiana);
    watcher.Start();
    watcher.Start(); // the dialog and a lost device wait at once
    watcher.Stop();
    QVERIFY(watcher.Active());
    watcher.Stop();
    QVERIFY(!watcher.Active());
    QFile f(dev.filePath(QStringLiteral("ttyUSB0")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    QTest::qWait(600);
    QCOMPARE(spy.count(), 0);
}

void TestObserwator::adapterPoPonownymPodlaczeniu_data()
{
    // An adapter is picked as ttyUSB0, pulled out, and something comes back
    // as ttyUSB1: the stored value and whether it is the same adapter.
    QTest::addColumn<QString>("numer");        // serial number of the picked adapter
    QTest::addColumn<QString>("numerPowrotu"); // of the one that comes back
    QTest::addColumn<bool>("zapisanyLink");
    QTest::addColumn<bool>("tenSam");
    QTest::newRow("same adapter, new node") << "A50285BI"
                                            << "A50285BI" << true << true;
    QTest::newRow("another adapter of the same model") << "A50285BI"
                                                       << "FT0007" << true << false;
    QTest::newRow("no serial number: the node is stored") << ""
                                                          << "" << false << false;
}

void TestObserwator::adapterPoPonownymPodlaczeniu()
{
    QFETCH(QString, numer);
    QFETCH(QString, numerPowrotu);
    QFETCH(bool, zapisanyLink);
    QFETCH(bool, tenSam);
    DrzewoSysfs d;
    SetDefaultSysfsRoot(d.Korzen());
    SetDefaultDevRoot(d.Dev());
    // The main window waits for the same adapter after losing it.
    TPowrotUrzadzenia powrot;
    QSignalSpy wrocilo(&powrot, &TPowrotUrzadzenia::wrocilo);
    const QString link = d.Usb(QStringLiteral("ttyUSB0"), QStringLiteral("FT232R USB UART"),
                               QStringLiteral("FTDI"), numer);
    const QString stored = NazwaDoZapamietania(QStringLiteral("ttyUSB0"), d.Korzen(), d.Dev());
    QCOMPARE(stored, zapisanyLink ? link : QStringLiteral("ttyUSB0"));
    const TTozsamoscPortu before = TozsamoscPortu(QStringLiteral("ttyUSB0"), d.Korzen(), d.Dev());
    QCOMPARE(before.Serial, numer);
    powrot.Otwarty(zapisanyLink ? link : QStringLiteral("ttyUSB0"));

    d.Odlacz(QStringLiteral("ttyUSB0"));
    powrot.Utracony();
    QVERIFY(!QFileInfo::exists(link) || link.isEmpty());
    if (zapisanyLink)
        QCOMPARE(OstatniWezel(link), QStringLiteral("ttyUSB0"));
    // Another adapter takes the old node first, then one comes back as ttyUSB1.
    d.Usb(QStringLiteral("ttyUSB0"), QStringLiteral("CP2102"), QStringLiteral("Silicon Labs"),
          QStringLiteral("0001"), QStringLiteral("ea60"));
    d.Usb(QStringLiteral("ttyUSB1"), QStringLiteral("FT232R USB UART"), QStringLiteral("FTDI"),
          numerPowrotu);
    const TTozsamoscPortu back = TozsamoscPortu(QStringLiteral("ttyUSB1"), d.Korzen(), d.Dev());
    QCOMPARE(before.TenSam(back), tenSam);
    QVERIFY(!before.TenSam(TozsamoscPortu(QStringLiteral("ttyUSB0"), d.Korzen(), d.Dev())));

    if (tenSam) {
        QTRY_COMPARE_WITH_TIMEOUT(wrocilo.count(), 1, 2000);
        QCOMPARE(wrocilo.at(0).at(0).toString(),
                 QStringLiteral("ttyUSB1 — FT232R USB UART (FTDI)"));
        QVERIFY(!powrot.Czeka()); // the watch has ended
    } else {
        QTest::qWait(600);
        QCOMPARE(wrocilo.count(), 0);
        QVERIFY(powrot.Czeka());
    }
    // The next download opens it there; nothing more is waited for.
    QCOMPARE(powrot.Zakoncz(), tenSam ? QStringLiteral("ttyUSB1") : QString());
    QVERIFY(!powrot.Czeka());
    SetDefaultSysfsRoot(QString());
    SetDefaultDevRoot(QString());
}

QTEST_GUILESS_MAIN(TestObserwator)
#include "tst_obserwator.moc"
