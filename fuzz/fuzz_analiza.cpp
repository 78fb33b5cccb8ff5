// Report analysis on arbitrary report bytes: every line is visited once, in
// order, and the days found are consistent with the day lines.
#include "Analiza.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray raport(reinterpret_cast<const char *>(data), qsizetype(size));
    QString od, do_;
    int nastepna = 0;
    const bool saDni = AnalizujRaport(raport, od, do_, [&](int linia) {
        if (linia != nastepna)
            abort();
        ++nastepna;
    });
    if (nastepna != LiczbaLiniiRaportu(raport))
        abort();
    if (!saDni && (!od.isEmpty() || !do_.isEmpty()))
        abort();
    if (od.contains(u'/') || do_.contains(u'/'))
        abort();
    if (saDni != raport.contains("Odwiedziny w dniu"))
        abort();
    return 0;
}
