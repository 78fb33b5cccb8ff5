#pragma once

// Windows-1250, the code page of the device's report and of the settings
// file. Qt has no codec for it, so the table is ours.
//
// Decoding never loses a byte: the five unassigned bytes (0x81, 0x83, 0x88,
// 0x90, 0x98) become the control characters U+0081 ... U+0098, and encoding
// turns those back into the same bytes. Characters the code page cannot
// hold are encoded as "?".

#include <QByteArray>
#include <QChar>
#include <QString>

QString ZCp1250(const QByteArray &bajty);
QByteArray DoCp1250(const QString &tekst);

// The character for one byte.
QChar ZnakCp1250(unsigned char bajt);

// True when every character of tekst has a byte in Windows-1250.
bool PasujeDoCp1250(const QString &tekst);
