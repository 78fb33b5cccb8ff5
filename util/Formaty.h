#pragma once

// The program's fixed formats for turning numbers, dates and times into
// text, whatever the user's locale: decimal separator ".", short date
// "yyyy-MM-dd", time "hh:mm:ss". Qt has no locale with exactly these, so
// code that formats goes through these helpers; UstawFormaty() additionally
// makes the C locale (decimal ".") the default for the process.

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

inline void UstawFormaty()
{
    QLocale::setDefault(QLocale::c());
}

inline QString DataKrotka(const QDate &data)
{
    return data.toString(QStringLiteral("yyyy-MM-dd"));
}

inline QString CzasTekst(const QTime &czas)
{
    return czas.toString(QStringLiteral("hh:mm:ss"));
}

inline QString LiczbaTekst(double liczba)
{
    return QLocale::c().toString(liczba, 'g', 15);
}
