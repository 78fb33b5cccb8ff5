#pragma once

// Which adapter stands behind a port. Node names follow the order in which
// adapters were plugged in, so "ttyUSB0" may be another adapter tomorrow.
// What stays with an adapter is its /dev/serial/by-id link (made by udev from
// the USB maker, product and serial number) and, where udev does not run, the
// USB vendor, product and serial number that sysfs shows.

#include <QList>
#include <QString>

struct TTozsamoscPortu
{
    QString Wezel;  // node name, "ttyUSB0"
    QString ById;   // the /dev/serial/by-id link that points to the node, when there is one
    QString Vendor; // USB idVendor, idProduct and serial; all empty for a port that is not USB
    QString Product;
    QString Serial; // empty for the many adapters that have none

    bool Usb() const { return !Vendor.isEmpty(); }
    // The same adapter: the same by-id link, or the same USB vendor, product
    // and serial number; a port that is not USB by its node name.
    bool TenSam(const TTozsamoscPortu &inny) const;
};

// What sysfs (sysfsRoot, normally /sys/class/tty) and devRoot (normally /dev)
// tell about the node. Reads files only; never opens the port.
TTozsamoscPortu TozsamoscPortu(const QString &wezel, const QString &sysfsRoot,
                               const QString &devRoot);

// The link in devRoot/serial/by-id that points to the node, or an empty text.
QString LinkById(const QString &wezel, const QString &devRoot);

// What the settings keep when the user picks the node: its by-id link when
// the adapter has a serial number (adapters without one share one by-id name
// between them, so the link would not follow the adapter), otherwise the node.
QString NazwaDoZapamietania(const QString &wezel, const QString &sysfsRoot, const QString &devRoot);

// The node a by-id link was last seen pointing to, for showing a stored link
// whose adapter is unplugged ("ttyUSB0 (niepodłączony)"); empty when never seen
// in this run. Every resolution of a link records it.
void ZapamietajWezel(const QString &byId, const QString &wezel);
QString OstatniWezel(const QString &byId);

// Device-supplied text (USB product and maker strings) as it may be shown:
// control characters dropped, at most 64 characters.
QString TekstUrzadzenia(const QString &tekst);
