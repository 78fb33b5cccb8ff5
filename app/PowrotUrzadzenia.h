#pragma once

// After the device is lost (the adapter pulled out), the main window waits
// for the same adapter to come back: the same by-id link, or the same USB
// vendor, product and serial number as when the port was opened; a port that
// is not USB by its node. Only a message follows: nothing is downloaded
// without the user's press, and the settings file is not touched.

#include "Tozsamosc.h"

#include <QObject>
#include <QString>

class TObserwatorPortow;

class TPowrotUrzadzenia : public QObject
{
    Q_OBJECT
public:
    explicit TPowrotUrzadzenia(QObject *parent = nullptr);

    // The port was opened on portName: what stands behind it now.
    void Otwarty(const QString &portName);
    // The device went away: the watch starts.
    void Utracony();
    // The next connect: the watch ends. Gives the node the adapter came
    // back on, or an empty text when it has not come back.
    QString Zakoncz();
    bool Czeka() const { return m_czeka; }

signals:
    // The adapter is back: "ttyUSB1 — FT232R USB UART (FTDI)".
    void wrocilo(const QString &opis);

private:
    void Sprawdz();

    TObserwatorPortow *m_obserwator = nullptr;
    TTozsamoscPortu m_tozsamosc;
    QString m_wezel; // where it came back
    bool m_czeka = false;
};
