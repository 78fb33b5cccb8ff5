#include "Urzadzenie.h"

QByteArray KomendaZegara(const QDateTime &czas)
{
    // Built from the numbers, not through a locale-dependent date format.
    const QDate d = czas.date();
    const QTime t = czas.time();
    const int pola[] = {d.year() % 100, d.month(), d.day(), t.hour(), t.minute(), t.second()};
    QByteArray komenda("Z");
    for (int pole : pola) {
        komenda += char('0' + pole / 10);
        komenda += char('0' + pole % 10);
    }
    return komenda;
}
