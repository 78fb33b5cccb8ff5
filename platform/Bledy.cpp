#include "Bledy.h"

#include <new>

#include <cerrno>
#include <cstring>

BladProgramu::BladProgramu(const QString &tekst, const QString &szczegoly)
    : std::runtime_error(tekst.toStdString())
    , m_tekst(tekst)
    , m_szczegoly(szczegoly)
{}

TekstyBledu OpiszBlad(const std::exception &e)
{
    if (const auto *opisany = dynamic_cast<const OpisanyBlad *>(&e))
        return {opisany->TekstUzytkownika(), opisany->Szczegoly()};
    // Out of memory is no failure of the port or the file it happened near.
    if (dynamic_cast<const std::bad_alloc *>(&e))
        return {QStringLiteral("Zabrakło pamięci operacyjnej; zamknij inne programy i spróbuj "
                               "ponownie"),
                QString::fromUtf8(e.what())};
    return {QString::fromUtf8(e.what()), QString()};
}

namespace {

// nullptr for an errno without a Polish description.
const char *OpisPolski(int kod)
{
    switch (kod) {
    case EACCES:
    case EPERM:
        return "brak uprawnień";
    case EROFS:
        return "system plików jest tylko do odczytu";
    case ENOSPC:
        return "brak miejsca na dysku";
    case EDQUOT:
        return "przekroczony przydział miejsca na dysku";
    case ENOENT:
        return "nie ma takiego pliku ani folderu";
    case ENOTDIR:
        return "to nie jest folder";
    case EISDIR:
        return "to jest folder";
    case ENAMETOOLONG:
        return "za długa nazwa pliku";
    case EIO:
        return "błąd wejścia/wyjścia";
    case EBUSY:
        return "urządzenie jest zajęte";
    case ENODEV:
    case ENXIO:
        return "nie ma takiego urządzenia";
    // A folder mounted from a server (sshfs, NFS, SMB) fails so when the
    // network or the server goes.
    case ENOTCONN:
        return "połączenie z folderem sieciowym zostało zerwane";
    case ESTALE:
        return "folder sieciowy został zmieniony na serwerze; zamontuj go ponownie";
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ETIMEDOUT:
        return "serwer folderu sieciowego nie odpowiada";
    case EEXIST:
        return "plik już istnieje";
    case EMFILE:
    case ENFILE:
        return "otwarto zbyt wiele plików";
    case EFBIG:
        return "plik jest za duży";
    case EINVAL:
        return "niedozwolona nazwa lub nieprawidłowy parametr";
    case ELOOP:
        return "zbyt wiele dowiązań symbolicznych w ścieżce";
    case ETXTBSY:
        return "plik jest w użyciu";
    default:
        return nullptr;
    }
}

} // namespace

QString OpisBleduSystemu(int kod)
{
    if (const char *opis = OpisPolski(kod))
        return QString::fromUtf8(opis);
    // The system's own wording is English; it goes into the details only.
    return QStringLiteral("nieoczekiwany błąd systemu");
}

bool PolskiOpisBleduSystemu(int kod)
{
    return OpisPolski(kod) != nullptr;
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
