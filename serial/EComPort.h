#pragma once

// The serial component's error: a fixed error number (1 to 23), the errno the
// system gave, and the port it concerns. Its Polish text says what happened and
// what to do; the technical line goes to the box's details.

#include "Bledy.h"

#include <QString>

#include <exception>
#include <string>

// Error numbers of EComPort (fixed table, 1 to 23).
enum : int {
    CError_OpenFailed = 1,
    CError_WriteFailed = 2,
    CError_ReadFailed = 3,
    CError_InvalidAsync = 4,
    CError_PurgeFailed = 5,
    CError_AsyncCheck = 6,
    CError_SetStateFailed = 7,
    CError_SetTimeoutsFailed = 8,
    CError_SetupComFailed = 9,
    CError_ClearComFailed = 10,
    CError_ModemStatFailed = 11,
    CError_EscapeComFailed = 12,
    CError_TransmitFailed = 13,
    CError_ConnChangeProp = 14,
    CError_EnumPortsFailed = 15,
    CError_StoreFailed = 16,
    CError_LoadFailed = 17,
    CError_RegFailed = 18,
    CError_LedStateFailed = 19,
    CError_ThreadCreated = 20,
    CError_WaitFailed = 21,
    CError_HasLink = 22,
    CError_RegError = 23
};

// The serial component's error.
//
// Szczegoly() (and what()) is the technical line for the box's details: the
// table's text, followed by " (errno N: NAME)" when the system gave a code,
// for example "Unable to open com port (errno 2: ENOENT)". TekstUzytkownika()
// says in Polish what happened and what to do, naming the port (for error 23
// the folder the port list is read from) when one was given.
class EComPort : public std::exception, public OpisanyBlad
{
public:
    explicit EComPort(int errorNumber);
    EComPort(int errorNumber, int systemErrorCode, const QString &port = QString());

    int ErrorNumber() const { return m_errorNumber; }
    // The errno value, or -1 when none was given.
    int SystemErrorCode() const { return m_systemErrorCode; }
    QString Port() const { return m_port; }
    // The device went away (unplugged, hung up): a read, write or status call
    // failed with EIO, ENXIO, ENODEV or EPIPE.
    bool DeviceGone() const;

    QString TekstUzytkownika() const override;
    QString Szczegoly() const override;
    const char *what() const noexcept override { return m_message.c_str(); }

    // The table's text of an error number ("" outside 1 to 23).
    static QString Text(int errorNumber);

private:
    int m_errorNumber;
    int m_systemErrorCode;
    QString m_port;
    std::string m_message;
};

// The device went away (unplugged, hung up): the errno a read, write or status
// call gives then (EIO, ENXIO, ENODEV, EPIPE).
bool IsDeviceLossErrno(int e);
