#include "CPort.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <dirent.h>

void EnumerateSerialPorts(QStringList &list, const QString &sysfsRoot)
{
    // opendir for the error code: QDir only tells that it failed.
    const QByteArray native = QFile::encodeName(sysfsRoot);
    DIR *dir = ::opendir(native.constData());
    if (!dir)
        throw EComPort(CError_RegError, errno);
    ::closedir(dir);

    QStringList found;
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
        found.append(name);
    }
    std::stable_sort(found.begin(), found.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    list = found;
}
