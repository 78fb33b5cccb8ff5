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

void DrzewoSysfs::Usb(const QString &nazwa, const QString &produkt, const QString &producent)
{
    const QString urzadzenie = m_dir.filePath(QStringLiteral("devices/usb1/1-%1").arg(++m_usb));
    const QString interfejs = urzadzenie + QStringLiteral("/1-%1:1.0").arg(m_usb);
    const bool acm = nazwa.startsWith(QLatin1String("ttyACM"));
    const QString cel = acm ? interfejs : interfejs + u'/' + nazwa;
    QDir().mkpath(cel);
    Zapisz(urzadzenie + QStringLiteral("/idVendor"), "0403");
    if (!produkt.isEmpty())
        Zapisz(urzadzenie + QStringLiteral("/product"), produkt.toUtf8());
    if (!producent.isEmpty())
        Zapisz(urzadzenie + QStringLiteral("/manufacturer"), producent.toUtf8());
    QDir(Korzen()).mkpath(nazwa);
    QFile::link(cel, Korzen() + u'/' + nazwa + QStringLiteral("/device"));
    Wezel(nazwa);
}
