#include "DrzewoSysfs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {

void Zapisz(const QString &sciezka, const QByteArray &tresc)
{
    QFile f(sciezka);
    if (f.open(QIODevice::WriteOnly))
        f.write(tresc + '\n');
}

} // namespace

DrzewoSysfs::DrzewoSysfs()
{
    QDir(m_dir.path()).mkpath(QStringLiteral("class/tty"));
    QDir(m_dir.path()).mkpath(QStringLiteral("dev/serial/by-id"));
}

void DrzewoSysfs::Wezel(const QString &nazwa)
{
    const QString sciezka = Dev() + u'/' + nazwa;
    QDir().mkpath(QFileInfo(sciezka).path());
    Zapisz(sciezka, QByteArray());
}

QString DrzewoSysfs::LinkPoId(const QString &nazwa, const QString &cel)
{
    const QString link = Dev() + QStringLiteral("/serial/by-id/") + nazwa;
    // Relative, as udev makes it: the link follows the tree wherever it is.
    [[maybe_unused]] const int r =
        ::symlink(QFile::encodeName(QStringLiteral("../../") + cel).constData(),
                  QFile::encodeName(link).constData());
    return link;
}

void DrzewoSysfs::WezelNa(const QString &nazwa, const QString &urzadzenie)
{
    QFile::remove(Dev() + u'/' + nazwa);
    QFile::link(urzadzenie, Dev() + u'/' + nazwa);
}

void DrzewoSysfs::Wirtualny(const QString &nazwa)
{
    QDir(Korzen()).mkpath(nazwa);
}

void DrzewoSysfs::Uart(const QString &nazwa, const QByteArray &typ)
{
    QDir(Korzen()).mkpath(nazwa + QStringLiteral("/device"));
    Wezel(nazwa);
    if (!typ.isEmpty())
        Zapisz(Korzen() + u'/' + nazwa + QStringLiteral("/type"), typ);
}

QString DrzewoSysfs::Usb(const QString &nazwa, const QString &produkt, const QString &producent,
                         const QString &numer, const QString &idProduct)
{
    const QString urzadzenie = m_dir.filePath(QStringLiteral("devices/usb1/1-%1").arg(++m_usb));
    const QString interfejs = urzadzenie + QStringLiteral("/1-%1:1.0").arg(m_usb);
    const bool acm = nazwa.startsWith(QLatin1String("ttyACM"));
    const QString cel = acm ? interfejs : interfejs + u'/' + nazwa;
    QDir().mkpath(cel);
    Zapisz(urzadzenie + QStringLiteral("/idVendor"), "0403");
    Zapisz(urzadzenie + QStringLiteral("/idProduct"), idProduct.toUtf8());
    if (!numer.isEmpty())
        Zapisz(urzadzenie + QStringLiteral("/serial"), numer.toUtf8());
    if (!produkt.isEmpty())
        Zapisz(urzadzenie + QStringLiteral("/product"), produkt.toUtf8());
    if (!producent.isEmpty())
        Zapisz(urzadzenie + QStringLiteral("/manufacturer"), producent.toUtf8());
    QDir(Korzen()).mkpath(nazwa);
    QFile::link(cel, Korzen() + u'/' + nazwa + QStringLiteral("/device"));
    Wezel(nazwa);
    if (numer.isEmpty())
        return QString();
    QString id = producent + u'_' + produkt + u'_' + numer;
    id.replace(u' ', u'_');
    const QString nazwaLinku = QStringLiteral("usb-") + id + QStringLiteral("-if00-port0");
    QFile::remove(Dev() + QStringLiteral("/serial/by-id/") + nazwaLinku);
    return LinkPoId(nazwaLinku, nazwa);
}

void DrzewoSysfs::Odlacz(const QString &nazwa)
{
    QDir(Korzen() + u'/' + nazwa).removeRecursively();
    QFile::remove(Korzen() + u'/' + nazwa); // a link, as the kernel has it
    QFile::remove(Dev() + u'/' + nazwa);
    QDir byId(Dev() + QStringLiteral("/serial/by-id"));
    for (const QString &link : byId.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        if (QFileInfo(byId.filePath(link)).symLinkTarget() == QDir::cleanPath(Dev() + u'/' + nazwa))
            QFile::remove(byId.filePath(link));
}
