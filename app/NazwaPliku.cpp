#include "NazwaPliku.h"

namespace {

bool Pusty(QChar znak)
{
    return znak.unicode() <= 0x20;
}

// A name part must not carry a directory separator into a path, nor a
// control character (wherever it came from: the object name, a day line of
// the device) into the path printed on a terminal: an escape sequence there
// could clear the screen or set its title.
QString BezSeparatorow(QString tekst)
{
    for (QChar &znak : tekst) {
        if (znak == u'/' || znak.category() == QChar::Other_Control)
            znak = u'-';
    }
    return tekst;
}

} // namespace

QString PrzytnijTekst(const QString &tekst)
{
    qsizetype poczatek = 0;
    qsizetype koniec = tekst.size();
    while (poczatek < koniec && Pusty(tekst.at(poczatek)))
        ++poczatek;
    while (koniec > poczatek && Pusty(tekst.at(koniec - 1)))
        --koniec;
    return tekst.mid(poczatek, koniec - poczatek);
}

QChar WielkaLitera(QChar znak)
{
    const char16_t z = znak.unicode();
    if (z >= u'a' && z <= u'z')
        return QChar(char16_t(z - u'a' + u'A'));
    switch (z) {
    case u'ą':
        return u'Ą';
    case u'ć':
        return u'Ć';
    case u'ę':
        return u'Ę';
    case u'ł':
        return u'Ł';
    case u'ń':
        return u'Ń';
    case u'ó':
        return u'Ó';
    case u'ś':
        return u'Ś';
    case u'ź':
        return u'Ź';
    case u'ż':
        return u'Ż';
    default:
        return znak;
    }
}

QString PolaczWyrazy(const QString &obiekt)
{
    QString wynik = obiekt;
    // The walk runs on the shortened text and steps past the character it has
    // just capitalised, so a second space in a row is never looked at. It
    // stops before the last character, which a trimmed name never has as a
    // space anyway.
    for (qsizetype i = 0; i + 1 < wynik.size(); ++i) {
        if (wynik.at(i) == u' ') {
            wynik.remove(i, 1);
            wynik[i] = WielkaLitera(wynik.at(i));
        }
    }
    return wynik;
}

QString NazwaPliku(const QString &obiekt, QString &dataOd, QString &dataDo)
{
    const QString czescObiektu = PolaczWyrazy(PrzytnijTekst(obiekt));

    dataOd.replace(u'/', u'-');
    dataDo.replace(u'/', u'-');

    return BezSeparatorow(PrzytnijTekst(czescObiektu)) + u'_' +
           BezSeparatorow(PrzytnijTekst(dataOd)) + u'_' + BezSeparatorow(PrzytnijTekst(dataDo)) +
           u".txt";
}
