#include "Komunikaty.h"

#include "Bledy.h"
#include "UjscieKonsoli.h"

#include <atomic>

namespace Komunikaty {

namespace {

std::atomic<Ujscie *> &zainstalowane()
{
    static std::atomic<Ujscie *> u{nullptr};
    return u;
}

Ujscie &ujscie()
{
    if (Ujscie *u = zainstalowane().load())
        return *u;
    static UjscieKonsoli domyslne;
    return domyslne;
}

} // namespace

Ujscie *UstawUjscie(Ujscie *u)
{
    return zainstalowane().exchange(u);
}

bool Pytanie(const QString &tekst)
{
    return ujscie().Pytanie(tekst);
}

void Komunikat(const QString &tekst, const QString &szczegoly)
{
    ujscie().Informacja(tekst, szczegoly);
}

void PokazBlad(const QString &wiadomosc, const QString &szczegoly)
{
    QString tekst = wiadomosc;
    if (!tekst.endsWith(u'.'))
        tekst += u'.';
    ujscie().Blad(tekst, szczegoly);
}

void PokazWyjatek(const std::exception &e)
{
    const TekstyBledu opis = OpiszBlad(e);
    PokazBlad(opis.tekst, opis.szczegoly);
}

} // namespace Komunikaty
