#pragma once

// The serial ports present and what a stored port name means among them. No
// window here: the port picker shows what these functions decide.
//
// Port names: a name under /dev ("ttyS0", "ttyUSB0", "pts/3"), an absolute
// path ("/dev/serial/by-id/..."), "COMn" (any letter case) for ttyS(n-1) and
// the prefix "\\.\" for "/dev/". The roots are parameters so that tests can
// make up a sysfs tree and a /dev tree of their own; an empty root stands
// for DefaultSysfsRoot() and DefaultDevRoot().

#include <QList>
#include <QString>
#include <QStringList>

// Where the ports are looked for when no root is given: /sys/class/tty and
// /dev, or made-up trees that tests set before anything looks (an empty text
// restores the real one).
QString DefaultSysfsRoot();
void SetDefaultSysfsRoot(const QString &root);
QString DefaultDevRoot();
void SetDefaultDevRoot(const QString &root);

// One serial port present: its name, usable as Port ("ttyUSB0"), and what is
// behind it as sysfs tells ("FT232R USB UART (FTDI)" for a USB adapter,
// "port szeregowy" for an on-board UART).
struct TComPortInfo
{
    QString Name;
    QString Description;
};

// The serial ports present: the entries of sysfsRoot (normally
// /sys/class/tty) backed by a device, less the legacy UARTs with no chip
// behind them (type 0), sorted as text without regard to letter case
// (ttyUSB10 before ttyUSB2). EComPort 23 when the directory cannot be read.
QList<TComPortInfo> EnumerateSerialPortInfo(const QString &sysfsRoot = QString());

// Replaces list with the names of EnumerateSerialPortInfo, in its order.
void EnumerateSerialPorts(QStringList &list, const QString &sysfsRoot = QString());

// The device path a port name stands for: "COM3" -> "/dev/ttyS2",
// "\\.\ttyUSB0" -> "/dev/ttyUSB0", "pts/3" -> "/dev/pts/3", "/x/y" unchanged.
QString SerialDevicePath(const QString &portName, const QString &devRoot = QString());

// The device a port name stands for, as the port list names it: "COM1" ->
// "ttyS0", "/dev/ttyUSB0" and "\\.\ttyUSB0" -> "ttyUSB0", a link such as
// /dev/serial/by-id/... -> the name of the device it points to, "pts/3"
// unchanged. Letter case is kept.
QString SerialDeviceName(const QString &portName, const QString &devRoot = QString());

// Which listed port a stored value means.
struct TStoredPort
{
    // The listed port meant, -1 when none is.
    int Index = -1;
    // The value to keep: unchanged, except that a plain name differing from a
    // listed one only in letter case becomes that name (Linux device names are
    // case-sensitive, so only that one opens).
    QString Value;
    // The listed port is meant through another name ("COM1", a by-id link):
    // its entry shows and gives back Value, so the setting stays as it was.
    bool ThroughOtherName = false;
};

// The listed port (names as EnumerateSerialPorts gives them) that value
// means: the device it stands for exactly, else, for a plain name, the one
// equal to it without regard to letter case. An empty value means none.
TStoredPort MatchStoredPort(const QString &value, const QStringList &listed,
                            const QString &devRoot = QString());

// The entry shown for a value that no listed port means: the value itself
// when its device exists but is not listed (a pseudo-terminal), else the
// value marked "X (niepodłączony)" (missing, or a legacy slot without a chip).
// For a by-id link X is the node it was last seen pointing to, or else the
// link's own file name: the long path says little to a user.
// How a stored value is shown beside its description: a /dev/serial/by-id
// link as the node it points to ("ttyUSB0"), anything else as it is.
QString ShownPortName(const QString &value, const QString &devRoot = QString());

QString UnlistedPortText(const QString &value, const QString &sysfsRoot = QString(),
                         const QString &devRoot = QString());
