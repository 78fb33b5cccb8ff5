#include "UjscieKonsoli.h"

#include <QByteArray>

namespace {

// A message must stay one line in a log: line breaks inside become "; ".
QString JednaLinia(QString tekst)
{
    tekst.replace(QStringLiteral("\r\n"), QStringLiteral("; "));
    tekst.replace(u'\n', QStringLiteral("; "));
    tekst.replace(u'\r', u' ');
    for (QChar &z : tekst) {
        const char16_t u = z.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            z = u'?';
    }
    return tekst;
}

QStringList &Wypisane()
{
    static QStringList linie;
    return linie;
}

} // namespace

void WypiszLinie(std::FILE *strumien, const QString &linia)
{
    const QByteArray b = JednaLinia(linia).toUtf8() + '\n';
    std::fwrite(b.constData(), 1, std::size_t(b.size()), strumien);
    std::fflush(strumien);
}

void WypiszKomunikat(const QString &tekst, const QString &szczegoly)
{
    WypiszLinie(stderr, tekst);
    Wypisane().append(JednaLinia(tekst));
    if (!szczegoly.isEmpty())
        WypiszLinie(stderr, szczegoly);
}

QStringList WypisaneKomunikaty()
{
    return Wypisane();
}

void UjscieKonsoli::Informacja(const QString &tekst, const QString &szczegoly)
{
    WypiszKomunikat(tekst, szczegoly);
}

void UjscieKonsoli::Blad(const QString &tekst, const QString &szczegoly)
{
    WypiszKomunikat(tekst, szczegoly);
}

bool UjscieKonsoli::Pytanie(const QString &tekst)
{
    WypiszKomunikat(tekst);
    return false;
}
