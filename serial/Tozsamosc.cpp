#include "Tozsamosc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>

namespace {

QString Atrybut(const QDir &dir, const char *name)
{
    QFile f(dir.filePath(QLatin1String(name)));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.read(256)).trimmed();
}

QMutex &MapaMutex()
{
    static QMutex m;
    return m;
}

QHash<QString, QString> &Mapa()
{
    static QHash<QString, QString> map;
    return map;
}

} // namespace

bool TTozsamoscPortu::TenSam(const TTozsamoscPortu &inny) const
{
    if (!ById.isEmpty() && ById == inny.ById)
        return true;
    if (Usb() || inny.Usb())
        return Vendor == inny.Vendor && Product == inny.Product && Serial == inny.Serial &&
               !Serial.isEmpty();
    return !Wezel.isEmpty() && Wezel == inny.Wezel;
}

QString LinkById(const QString &wezel, const QString &devRoot)
{
    const QDir byId(devRoot + QStringLiteral("/serial/by-id"));
    if (!byId.exists())
        return QString();
    const QString node = QDir::cleanPath(devRoot + u'/' + wezel);
    const QStringList links =
        byId.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : links) {
        const QFileInfo link(byId.filePath(name));
        if (!link.isSymLink())
            continue;
        // udev writes relative targets ("../../ttyUSB0"); symLinkTarget
        // makes them absolute against the by-id folder itself.
        if (QDir::cleanPath(link.symLinkTarget()) == node) {
            const QString path = byId.filePath(name);
            ZapamietajWezel(path, wezel);
            return path;
        }
    }
    return QString();
}

TTozsamoscPortu TozsamoscPortu(const QString &wezel, const QString &sysfsRoot,
                               const QString &devRoot)
{
    TTozsamoscPortu t;
    t.Wezel = wezel;
    t.ById = LinkById(wezel, devRoot);
    const QString device =
        QFileInfo(sysfsRoot + u'/' + wezel + QStringLiteral("/device")).canonicalFilePath();
    QDir dir(device);
    for (int level = 0; !device.isEmpty() && level < 3; ++level) {
        if (dir.exists(QStringLiteral("idVendor"))) {
            t.Vendor = Atrybut(dir, "idVendor");
            t.Product = Atrybut(dir, "idProduct");
            t.Serial = Atrybut(dir, "serial");
            break;
        }
        if (!dir.cdUp())
            break;
    }
    return t;
}

QString NazwaDoZapamietania(const QString &wezel, const QString &sysfsRoot, const QString &devRoot)
{
    const TTozsamoscPortu t = TozsamoscPortu(wezel, sysfsRoot, devRoot);
    if (t.Usb() && !t.Serial.isEmpty() && !t.ById.isEmpty())
        return t.ById;
    return wezel;
}

void ZapamietajWezel(const QString &byId, const QString &wezel)
{
    QMutexLocker lock(&MapaMutex());
    Mapa().insert(byId, wezel);
}

QString OstatniWezel(const QString &byId)
{
    QMutexLocker lock(&MapaMutex());
    return Mapa().value(byId);
}

QString TekstUrzadzenia(const QString &tekst)
{
    QString out;
    out.reserve(tekst.size());
    for (const QChar c : tekst)
        if (c.category() != QChar::Other_Control && c.category() != QChar::Other_Format)
            out.append(c);
    if (out.size() > 64)
        out.truncate(out.at(63).isHighSurrogate() ? 63 : 64);
    return out;
}
