#pragma once

// What the program sends to the counting device. The dialogue has no framing:
// a carriage return asks for the report, and the clock command, when used,
// goes just before it as a separate write.

#include <QByteArray>
#include <QDateTime>

// The poll: one carriage return.
inline const QByteArray ZapytanieUrzadzenia = QByteArrayLiteral("\r");

// "Z" and twelve digits yyMMddhhnnss of the given local time: year within the
// century, month, day, hour on the 24-hour clock, minutes, seconds.
QByteArray KomendaZegara(const QDateTime &czas);
