// The port watcher notices adapters coming and going under a made-up /dev,
// by-id links included, and stays silent when nobody waits for a port.
#include "ObserwatorPortow.h"

#include <QDir>
#include <QFile>
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

QTEST_GUILESS_MAIN(TestObserwator)
#include "tst_obserwator.moc"
