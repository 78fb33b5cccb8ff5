#include "Analiza.h"

#include "Narzedzia.h"

namespace {

constexpr std::string_view FrazaDnia = "Odwiedziny w dniu";

} // namespace

int LiczbaLiniiRaportu(const QByteArray &raport)
{
    int linie = 0;
    DlaKazdejLinii(raport, [&](std::string_view) { ++linie; });
    return linie;
}

bool AnalizujRaport(const QByteArray &raport, QString &dataOd, QString &dataDo,
                    const std::function<void(int linia)> &postep)
{
    bool saDni = false;
    int indeks = 0;
    DlaKazdejLinii(raport, [&](std::string_view linia) {
        if (postep)
            postep(indeks);
        ++indeks;
        if (linia.find(FrazaDnia) == std::string_view::npos)
            return;
        saDni = true;
        // Only day lines are copied; every other line is looked at in place.
        const QByteArray wiersz(linia.data(), qsizetype(linia.size()));
        const QByteArray dzien = ZamienTekst(WytnijPole(wiersz, QByteArrayLiteral(":"), 1),
                                             QByteArrayLiteral("/"), QByteArrayLiteral("-"));
        dataDo = ZCp1250(dzien);
        if (dataOd.isEmpty())
            dataOd = dataDo;
    });
    return saDni;
}
