#pragma once

// What is plugged in, in the words the windows and the command line use:
// the USB adapters present, whether the stored port is there, the one
// adapter to offer, and the adapter that came back after it was pulled out.
// No window here; roots left empty are DefaultSysfsRoot() and DefaultDevRoot().

#include "PortList.h"
#include "Tozsamosc.h"

#include <QList>
#include <QString>
#include <QStringList>

// "ttyUSB0 — FT232R USB UART (FTDI)"; the name alone when nothing is known.
QString OpisPortu(const TComPortInfo &port);

// The USB serial adapters present, in the port list's order. A list that
// cannot be read gives none: this only adds to a message.
QList<TComPortInfo> PodlaczoneAdaptery(const QString &sysfsRoot = QString(),
                                       const QString &devRoot = QString());

// The device a stored value stands for is there now. A by-id link whose
// adapter is pulled out dangles, so it is not.
bool PortObecny(const QString &wartosc, const QString &devRoot = QString());

// The stored value as the status bar shows it: a by-id link as its node and
// description ("ttyUSB0 — FT232R USB UART (FTDI)", "ttyUSB0 (niepodłączony)"),
// anything else as it is.
QString PortWPanelu(const QString &wartosc, const QString &sysfsRoot = QString(),
                    const QString &devRoot = QString());

// The question when the stored port is missing and one adapter is plugged in.
QString PytanieOJedynyAdapter(const QString &wartosc, const TComPortInfo &adapter,
                              const QString &devRoot = QString());

// "Podłączone urządzenia:" and one line per adapter.
QString ListaPodlaczonych(const QList<TComPortInfo> &adaptery);

// The ports in teraz whose names were not in przed; the first one, or a
// port with an empty name when nothing new came.
TComPortInfo NowyPort(const QStringList &przed, const QList<TComPortInfo> &teraz);

// The port present now behind which stands the adapter with the identity
// given (the same by-id link, or the same USB vendor, product and serial
// number; a port that is not USB by its node); an empty name when none.
TComPortInfo PortAdaptera(const TTozsamoscPortu &tozsamosc, const QString &sysfsRoot = QString(),
                          const QString &devRoot = QString());
