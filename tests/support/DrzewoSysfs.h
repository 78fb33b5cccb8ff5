#pragma once

// A made-up /sys/class/tty for the port list and the port picker, with a
// made-up /dev beside it: every tty with hardware has its node there.
//
// Each tty is a folder; one with hardware has a "device" entry. A USB
// adapter's device is a link into a made-up devices tree whose USB device
// folder holds idVendor, product and manufacturer, laid out as the kernel
// does it: usb-serial (ttyUSB) one folder deeper than CDC-ACM (ttyACM).

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

class DrzewoSysfs
{
public:
    DrzewoSysfs();
    bool isValid() const { return m_dir.isValid(); }
    // The folder standing for /sys/class/tty.
    QString Korzen() const { return m_dir.filePath(QStringLiteral("class/tty")); }

    // A tty without a device link (a virtual console); a tty with hardware,
    // type (when not empty) written to its type file as a legacy UART does.
    void Wirtualny(const QString &nazwa);
    void Uart(const QString &nazwa, const QByteArray &typ = {});
    // A USB adapter; empty strings are left out of the device folder. Its
    // node is made in Dev(); with a serial number, also the by-id link that
    // udev would make, whose path is returned.
    QString Usb(const QString &nazwa, const QString &produkt, const QString &producent,
                const QString &numer = {}, const QString &idProduct = QStringLiteral("6001"));
    // The adapter pulled out: its tty entry, node and by-id links go.
    void Odlacz(const QString &nazwa);

    QString Sciezka(const QString &nazwa) const { return m_dir.filePath(nazwa); }

    // The folder standing for /dev.
    QString Dev() const { return m_dir.filePath(QStringLiteral("dev")); }
    // A node under Dev() that sysfs does not list (a pseudo-terminal "pts/3").
    void Wezel(const QString &nazwa);
    // A link Dev()/serial/by-id/nazwa pointing to ../../cel, as udev makes it
    // (cel need not exist: an unplugged adapter's link dangles).
    QString LinkPoId(const QString &nazwa, const QString &cel);
    // The node Dev()/nazwa made a link to a real device (a pseudo-terminal's
    // slave), so that a port opened there talks to the test.
    void WezelNa(const QString &nazwa, const QString &urzadzenie);

private:
    QTemporaryDir m_dir;
    int m_usb = 0;
};
