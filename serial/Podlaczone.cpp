#include "Podlaczone.h"

#include <QFileInfo>

#include <exception>

namespace {

QString Sysfs(const QString &root)
{
    return root.isEmpty() ? DefaultSysfsRoot() : root;
}

QString Dev(const QString &root)
{
    return root.isEmpty() ? DefaultDevRoot() : root;
}

QList<TComPortInfo> Porty(const QString &sysfsRoot)
{
    try {
        return EnumerateSerialPortInfo(sysfsRoot);
    } catch (const std::exception &) {
        // The picker reports an unreadable list; here it only means no hint.
        return {};
    }
}

} // namespace

QString OpisPortu(const TComPortInfo &port)
{
    return port.Description.isEmpty() ? port.Name
                                      : port.Name + QStringLiteral(" — ") + port.Description;
}

QList<TComPortInfo> PodlaczoneAdaptery(const QString &sysfsRoot, const QString &devRoot)
{
    QList<TComPortInfo> adaptery;
    for (const TComPortInfo &p : Porty(Sysfs(sysfsRoot)))
        if (TozsamoscPortu(p.Name, Sysfs(sysfsRoot), Dev(devRoot)).Usb())
            adaptery.append(p);
    return adaptery;
}

bool PortObecny(const QString &wartosc, const QString &devRoot)
{
    return !wartosc.isEmpty() && QFileInfo::exists(SerialDevicePath(wartosc, Dev(devRoot)));
}

QString PortWPanelu(const QString &wartosc, const QString &sysfsRoot, const QString &devRoot)
{
    const QString krotka = ShownPortName(wartosc, Dev(devRoot));
    if (krotka == wartosc)
        return wartosc;
    if (!PortObecny(wartosc, devRoot))
        return krotka + QStringLiteral(" (niepodłączony)");
    for (const TComPortInfo &p : Porty(Sysfs(sysfsRoot)))
        if (p.Name == krotka)
            return OpisPortu(p);
    return krotka;
}

QString PytanieOJedynyAdapter(const QString &wartosc, const TComPortInfo &adapter,
                              const QString &devRoot)
{
    return QStringLiteral("Nie znaleziono portu %1. Podłączone jest jedno urządzenie: %2. Użyć go?")
        .arg(ShownPortName(wartosc, Dev(devRoot)), OpisPortu(adapter));
}

QString ListaPodlaczonych(const QList<TComPortInfo> &adaptery)
{
    QString tekst = QStringLiteral("Podłączone urządzenia:");
    for (const TComPortInfo &a : adaptery)
        tekst += u'\n' + OpisPortu(a);
    return tekst;
}

TComPortInfo NowyPort(const QStringList &przed, const QList<TComPortInfo> &teraz)
{
    for (const TComPortInfo &p : teraz)
        if (!przed.contains(p.Name))
            return p;
    return {};
}

TComPortInfo PortAdaptera(const TTozsamoscPortu &tozsamosc, const QString &sysfsRoot,
                          const QString &devRoot)
{
    for (const TComPortInfo &p : Porty(Sysfs(sysfsRoot)))
        if (tozsamosc.TenSam(TozsamoscPortu(p.Name, Sysfs(sysfsRoot), Dev(devRoot))))
            return p;
    return {};
}
