#include "Bledy.h"

#include <cerrno>
#include <cstring>

BladProgramu::BladProgramu(const QString &tekst, const QString &szczegoly)
    : std::runtime_error(tekst.toStdString())
    , m_tekst(tekst)
    , m_szczegoly(szczegoly)
{}

QString OpisBleduSystemu(int kod)
{
    switch (kod) {
    case EACCES:
    case EPERM:
        return QStringLiteral("brak uprawnień");
    case EROFS:
        return QStringLiteral("system plików jest tylko do odczytu");
    case ENOSPC:
        return QStringLiteral("brak miejsca na dysku");
    case EDQUOT:
        return QStringLiteral("przekroczony przydział miejsca na dysku");
    case ENOENT:
        return QStringLiteral("nie ma takiego pliku ani folderu");
    case ENOTDIR:
        return QStringLiteral("to nie jest folder");
    case EISDIR:
        return QStringLiteral("to jest folder");
    case ENAMETOOLONG:
        return QStringLiteral("za długa nazwa pliku");
    case EIO:
        return QStringLiteral("błąd wejścia/wyjścia urządzenia");
    case EBUSY:
        return QStringLiteral("urządzenie jest zajęte");
    case ENODEV:
    case ENXIO:
        return QStringLiteral("nie ma takiego urządzenia");
    case ETIMEDOUT:
        return QStringLiteral("upłynął czas oczekiwania");
    case EEXIST:
        return QStringLiteral("plik już istnieje");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("otwarto zbyt wiele plików");
    case EFBIG:
        return QStringLiteral("plik jest za duży");
    default:
        return QString::fromLocal8Bit(std::strerror(kod));
    }
}

QString NazwaBleduSystemu(int kod)
{
    if (const char *nazwa = strerrorname_np(kod))
        return QString::fromLatin1(nazwa);
    return QStringLiteral("errno %1").arg(kod);
}

QString SzczegolyBleduSystemu(int kod)
{
    return QStringLiteral("errno %1: %2 (%3)")
        .arg(kod)
        .arg(NazwaBleduSystemu(kod), QString::fromLocal8Bit(std::strerror(kod)));
}
