#include "EComPort.h"

#include <cerrno>

namespace {

const char *const kErrorTexts[] = {"Unable to open com port",
                                   "WriteFile function failed",
                                   "ReadFile function failed",
                                   "Invalid Async parameter",
                                   "PurgeComm function failed",
                                   "Unable to get async status",
                                   "SetCommState function failed",
                                   "SetCommTimeouts failed",
                                   "SetupComm function failed",
                                   "ClearCommError function failed",
                                   "GetCommModemStatus function failed",
                                   "EscapeCommFunction function failed",
                                   "TransmitCommChar function failed",
                                   "Cannot set property while connected",
                                   "EnumPorts function failed",
                                   "Failed to store settings",
                                   "Failed to load settings",
                                   "Link (un)registration failed",
                                   "Cannot change led state if ComPort is selected",
                                   "Cannot wait for event if event thread is created",
                                   "WaitForEvent method failed",
                                   "A component is linked to OnRxBuf event",
                                   "Registry error"};

} // namespace

bool IsDeviceLossErrno(int e)
{
    return e == EIO || e == ENXIO || e == ENODEV || e == EPIPE;
}

QString EComPort::Text(int errorNumber)
{
    if (errorNumber < 1 || errorNumber > 23)
        return QString();
    return QString::fromLatin1(kErrorTexts[errorNumber - 1]);
}

EComPort::EComPort(int errorNumber)
    : EComPort(errorNumber, -1)
{}

EComPort::EComPort(int errorNumber, int systemErrorCode, const QString &port)
    : m_errorNumber(errorNumber)
    , m_systemErrorCode(systemErrorCode)
    , m_port(port)
{
    m_message = Szczegoly().toStdString();
}

QString EComPort::Szczegoly() const
{
    if (m_systemErrorCode < 0)
        return Text(m_errorNumber);
    return Text(m_errorNumber) + QStringLiteral(" (errno %1: %2)")
                                     .arg(m_systemErrorCode)
                                     .arg(NazwaBleduSystemu(m_systemErrorCode));
}

bool EComPort::DeviceGone() const
{
    return m_errorNumber != CError_OpenFailed && m_errorNumber != CError_RegError &&
           IsDeviceLossErrno(m_systemErrorCode);
}

QString EComPort::TekstUzytkownika() const
{
    const int e = m_systemErrorCode;
    // "portu ttyUSB0" or just "portu" when no port was named.
    const QString portu =
        m_port.isEmpty() ? QStringLiteral("portu") : QStringLiteral("portu ") + m_port;
    const QString port =
        m_port.isEmpty() ? QStringLiteral("Port") : QStringLiteral("Port ") + m_port;
    const QString opis = e < 0 ? QString() : QStringLiteral(" (") + OpisBleduSystemu(e) + u')';
    const QString wKonfiguracji =
        QStringLiteral("w oknie Konfiguracja, na zakładce „Zaawansowane”");
    const QString polacz = QStringLiteral("naciśnij „Połącz/Odbierz”");

    if (e == EBADF)
        return port + QStringLiteral(" jest zamknięty. Aby go otworzyć, ") + polacz + u'.';
    if (DeviceGone())
        return QStringLiteral("Urządzenie zostało odłączone") +
               (m_port.isEmpty() ? QString() : QStringLiteral(" od portu ") + m_port) +
               QStringLiteral(". Podłącz je ponownie i ") + polacz + u'.';

    switch (m_errorNumber) {
    case CError_OpenFailed:
        if (m_port.isEmpty())
            return QStringLiteral("Nie wybrano portu szeregowego. Wybierz port ") + wKonfiguracji +
                   u'.';
        switch (e) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return QStringLiteral("Nie znaleziono ") + portu +
                   QStringLiteral(". Sprawdź, czy urządzenie jest podłączone, albo wybierz inny "
                                  "port ") +
                   wKonfiguracji + u'.';
        case EBUSY:
            return port + QStringLiteral(
                              " jest używany przez inny program. Zamknij ten program (albo drugie "
                              "okno Vestibulomatu) i spróbuj ponownie.");
        case EACCES:
        case EPERM:
            return QStringLiteral("Brak uprawnień do ") + portu +
                   QStringLiteral(". Poproś administratora o dodanie Twojego konta do grupy "
                                  "dialout, a potem wyloguj się i zaloguj ponownie.");
        case ENOTTY:
            return m_port + QStringLiteral(" nie jest portem szeregowym. Wybierz inny port ") +
                   wKonfiguracji + u'.';
        default:
            return QStringLiteral("Nie można otworzyć ") + portu + opis +
                   QStringLiteral(". Sprawdź połączenie z urządzeniem i spróbuj ponownie.");
        }
    case CError_WriteFailed:
        if (e == ETIMEDOUT)
            return QStringLiteral("Urządzenie na porcie") +
                   (m_port.isEmpty() ? QString() : u' ' + m_port) +
                   QStringLiteral(" nie przyjmuje danych. Sprawdź, czy jest włączone i podłączone, "
                                  "i spróbuj ponownie.");
        return QStringLiteral("Nie udało się wysłać danych do urządzenia przez ") + portu + opis +
               QStringLiteral(". Sprawdź połączenie i spróbuj ponownie.");
    case CError_ReadFailed:
        return QStringLiteral("Nie udało się odczytać danych z ") + portu + opis +
               QStringLiteral(". Sprawdź połączenie i spróbuj ponownie.");
    case CError_SetStateFailed:
        return port + QStringLiteral(" nie przyjął ustawień transmisji") + opis +
               QStringLiteral(". Sprawdź, czy wybrano właściwy port.");
    case CError_ConnChangeProp:
        return QStringLiteral("Tego ustawienia nie można zmienić, gdy port jest otwarty.");
    case CError_RegError:
        return QStringLiteral("Nie można odczytać listy portów szeregowych") +
               (m_port.isEmpty() ? QString() : QStringLiteral(" z ") + m_port) + opis +
               QStringLiteral(". Lista portów jest pusta; wybrany port pozostaje bez zmian.");
    default:
        return QStringLiteral("Błąd ") + portu + opis +
               QStringLiteral(". Spróbuj ponownie; jeśli błąd się powtarza, odłącz urządzenie "
                              "i podłącz je jeszcze raz.");
    }
}
