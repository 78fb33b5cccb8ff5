#pragma once

// The window on the user's session bus: the name pl.vestibulomat.Vestibulomat
// with one method, ZwolnijPort(), through which the timer's unattended
// download asks a window left open to let go of the serial port.
//
// The window registers only when a session bus is there (no bus: nothing is
// tried, no delay, no message). A second window of the same user finds the
// name taken and does not register.

#include <QObject>
#include <QString>

#include <functional>

class TUslugaOkna : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "pl.vestibulomat.Okno")

public:
    // zwolnij answers a call: true when the port is free afterwards.
    explicit TUslugaOkna(std::function<bool()> zwolnij, QObject *parent = nullptr);
    ~TUslugaOkna() override;

    // Whether the name is the window's now.
    bool Zarejestrowana() const { return m_zarejestrowana; }

public slots:
    bool ZwolnijPort();

private:
    std::function<bool()> m_zwolnij;
    bool m_polaczona = false;
    bool m_zarejestrowana = false;
};
