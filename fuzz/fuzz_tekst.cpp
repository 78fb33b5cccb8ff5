// WytnijPole and ZamienTekst on arbitrary arguments: they always end, the
// field is a piece of the text, and after replacing a pattern by a text no
// longer than it that does not contain it, no occurrence is left (a longer
// replacement is put in with one pass).
#include "Narzedzia.h"

#include <QList>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int wystapienie = int(int8_t(data[0]));
    const QByteArray reszta(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    // Arguments are separated by 0xFF bytes: text, separator, end mark, replacement.
    const QList<QByteArray> czesci = reszta.split('\xff');
    const QByteArray tekst = czesci.value(0);
    const QByteArray separator = czesci.value(1);
    const QByteArray koniec = czesci.value(2);
    const QByteArray zamiana = czesci.value(3);

    const QByteArray pole = WytnijPole(tekst, separator, wystapienie, koniec);
    if (!pole.isEmpty() && !tekst.contains(pole))
        abort();

    const QByteArray wynik = ZamienTekst(tekst, separator, zamiana);
    const bool krotsza = zamiana.size() <= separator.size() && !zamiana.contains(separator);
    if (!separator.isEmpty() && krotsza && wynik.contains(separator))
        abort();
    if (!separator.isEmpty() && !krotsza && wynik != QByteArray(tekst).replace(separator, zamiana))
        abort();
    if (separator.isEmpty() && wynik != tekst)
        abort();
    return 0;
}
