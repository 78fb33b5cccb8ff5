#include "PortList.h"

#include "EComPort.h"
#include "Tozsamosc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <dirent.h>

namespace {

QString &SysfsRootStorage()
{
    static QString root;
    return root;
}

QString &DevRootStorage()
{
    static QString root;
    return root;
}

QString Sysfs(const QString &root)
{
    return root.isEmpty() ? DefaultSysfsRoot() : root;
}

QString Dev(const QString &root)
{
    return root.isEmpty() ? DefaultDevRoot() : root;
}

// A link in devRoot/serial (by-id, by-path): the user picked an adapter, not
// a path, so the node it leads to is what is shown.
bool UnderSerialLinks(const QString &value, const QString &devRoot)
{
    return value.startsWith(QDir::cleanPath(devRoot) + QStringLiteral("/serial/"));
}

QString ReadAttribute(const QDir &dir, const char *name)
{
    QFile f(dir.filePath(QLatin1String(name)));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.read(256)).trimmed();
}

// What is behind a tty, from sysfs. A USB adapter (usb-serial or CDC-ACM)
// names itself in its device's product and manufacturer strings; the USB
// device is the tty's device or one or two folders above it (usb-serial:
// port, interface, device; CDC-ACM: interface, device).
QString DescriptionOf(const QString &entry)
{
    const QString device = QFileInfo(entry + QStringLiteral("/device")).canonicalFilePath();
    QDir dir(device);
    for (int level = 0; !device.isEmpty() && level < 3; ++level) {
        if (dir.exists(QStringLiteral("idVendor"))) {
            // The device names itself: plain text, and not a page of it.
            const QString product = TekstUrzadzenia(ReadAttribute(dir, "product"));
            const QString maker = TekstUrzadzenia(ReadAttribute(dir, "manufacturer"));
            if (product.isEmpty() && maker.isEmpty())
                return QStringLiteral("urządzenie USB");
            if (product.isEmpty() || maker.isEmpty())
                return product + maker;
            return product + QStringLiteral(" (") + maker + u')';
        }
        if (!dir.cdUp())
            break;
    }
    return QStringLiteral("port szeregowy");
}

} // namespace

QString DefaultSysfsRoot()
{
    const QString &root = SysfsRootStorage();
    return root.isEmpty() ? QStringLiteral("/sys/class/tty") : root;
}

void SetDefaultSysfsRoot(const QString &root)
{
    SysfsRootStorage() = root;
}

QString DefaultDevRoot()
{
    const QString &root = DevRootStorage();
    return root.isEmpty() ? QStringLiteral("/dev") : root;
}

void SetDefaultDevRoot(const QString &root)
{
    DevRootStorage() = root;
}

QList<TComPortInfo> EnumerateSerialPortInfo(const QString &sysfsRootGiven)
{
    const QString sysfsRoot = Sysfs(sysfsRootGiven);
    // opendir for the error code: QDir only tells that it failed.
    const QByteArray native = QFile::encodeName(sysfsRoot);
    DIR *dir = ::opendir(native.constData());
    if (!dir)
        throw EComPort(CError_RegError, errno, sysfsRoot);
    ::closedir(dir);

    QList<TComPortInfo> found;
    const QDir root(sysfsRoot);
    const QStringList names =
        root.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Unsorted);
    for (const QString &name : names) {
        const QString entry = root.filePath(name);
        // Only ttys with hardware behind them have a device link (virtual
        // consoles, ptmx and the like have none).
        if (!QFileInfo::exists(entry + QStringLiteral("/device")))
            continue;
        // A legacy 8250 slot without a chip reports type 0: leave the phantom
        // ttyS0 to ttyS31 out.
        QFile type(entry + QStringLiteral("/type"));
        if (type.open(QIODevice::ReadOnly)) {
            const QByteArray value = type.readAll().trimmed();
            if (value == "0")
                continue;
        }
        found.append({name, DescriptionOf(entry)});
    }
    std::stable_sort(found.begin(), found.end(), [](const TComPortInfo &a, const TComPortInfo &b) {
        return a.Name.compare(b.Name, Qt::CaseInsensitive) < 0;
    });
    return found;
}

void EnumerateSerialPorts(QStringList &list, const QString &sysfsRoot)
{
    QStringList names;
    for (const TComPortInfo &p : EnumerateSerialPortInfo(sysfsRoot))
        names.append(p.Name);
    list = names;
}

QString SerialDevicePath(const QString &portName, const QString &devRootGiven)
{
    const QString devRoot = Dev(devRootGiven);
    QString name = portName;
    if (name.startsWith(QLatin1String("\\\\.\\")))
        name = name.mid(4);
    if (name.startsWith(u'/'))
        return name;
    if (name.size() > 3 && name.left(3).compare(QLatin1String("COM"), Qt::CaseInsensitive) == 0) {
        bool ok = false;
        const int n = name.mid(3).toInt(&ok);
        if (ok && n >= 1 && name.mid(3).at(0).isDigit())
            return devRoot + QStringLiteral("/ttyS%1").arg(n - 1);
    }
    return devRoot + u'/' + name;
}

QString SerialDeviceName(const QString &portName, const QString &devRootGiven)
{
    const QString devRoot = Dev(devRootGiven);
    QString path = SerialDevicePath(portName, devRoot);
    // /dev/serial/by-id/... -> ../../ttyUSB0; a udev alias may point to another
    // link. A dangling link still names the device it stands for. A name in
    // the device folder is the device's own name: a link leading out of it
    // (a made-up folder standing for /dev) is not followed further.
    const QString prefix = QDir::cleanPath(devRoot) + u'/';
    for (int hop = 0; hop < 8; ++hop) {
        const QFileInfo fi(path);
        if (!fi.isSymLink())
            break;
        const QString next = QDir::cleanPath(fi.symLinkTarget());
        if (QDir::cleanPath(path).startsWith(prefix) && !next.startsWith(prefix))
            break;
        path = next;
    }
    path = QDir::cleanPath(path);
    if (path.startsWith(prefix))
        return path.mid(prefix.size());
    return path;
}

TStoredPort MatchStoredPort(const QString &value, const QStringList &listed, const QString &devRoot)
{
    TStoredPort match;
    match.Value = value;
    if (value.isEmpty())
        return match;
    const QString device = SerialDeviceName(value, devRoot);
    match.Index = static_cast<int>(listed.indexOf(device));
    // A plain name in the wrong letter case: the listed device is meant.
    const bool plainName = device == value;
    for (int i = 0; i < listed.size() && match.Index < 0 && plainName; ++i)
        if (listed.at(i).compare(device, Qt::CaseInsensitive) == 0)
            match.Index = i;
    if (match.Index >= 0) {
        if (plainName)
            match.Value = listed.at(match.Index);
        else
            match.ThroughOtherName = true;
    }
    return match;
}

QString ShownPortName(const QString &value, const QString &devRootGiven)
{
    const QString devRoot = Dev(devRootGiven);
    if (!UnderSerialLinks(value, devRoot))
        return value;
    if (QFileInfo::exists(value)) {
        const QString node = SerialDeviceName(value, devRoot);
        ZapamietajWezel(value, node);
        return node;
    }
    const QString last = OstatniWezel(value);
    return last.isEmpty() ? QFileInfo(value).fileName() : last;
}

QString UnlistedPortText(const QString &value, const QString &sysfsRootGiven,
                         const QString &devRootGiven)
{
    const QString sysfsRoot = Sysfs(sysfsRootGiven);
    const QString devRoot = Dev(devRootGiven);
    const bool exists = QFileInfo::exists(SerialDevicePath(value, devRoot)) &&
                        !QFileInfo::exists(sysfsRoot + u'/' + SerialDeviceName(value, devRoot));
    return exists ? value : ShownPortName(value, devRoot) + QStringLiteral(" (niepodłączony)");
}
