// The report file name from arbitrary object names and days: always a plain
// name ending in ".txt" that cannot leave its directory.
#include "NazwaPliku.h"

#include <QList>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QByteArray> czesci =
        QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)).split('\xff');
    const QString obiekt = QString::fromUtf8(czesci.value(0));
    QString od = QString::fromUtf8(czesci.value(1));
    QString do_ = QString::fromUtf8(czesci.value(2));

    const QString nazwa = NazwaPliku(obiekt, od, do_);
    if (nazwa.contains(u'/') || nazwa.contains(QChar(0)) || !nazwa.endsWith(u".txt"))
        abort();
    if (od.contains(u'/') || do_.contains(u'/'))
        abort();
    // Same inputs, same name.
    QString od2 = od, do2 = do_;
    if (NazwaPliku(obiekt, od2, do2) != nazwa)
        abort();
    return 0;
}
