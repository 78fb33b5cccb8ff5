#include "UjscieTestowe.h"

void UjscieTestowe::Informacja(const QString &tekst, const QString &szczegoly)
{
    m_szczegoly = szczegoly;
    if (m_odbiorca)
        m_odbiorca(Komunikaty::Rodzaj::Komunikat, tekst);
}

void UjscieTestowe::Blad(const QString &tekst, const QString &szczegoly)
{
    m_szczegoly = szczegoly;
    if (m_odbiorca)
        m_odbiorca(Komunikaty::Rodzaj::Blad, tekst);
}

bool UjscieTestowe::Pytanie(const QString &tekst)
{
    return m_odbiorca && m_odbiorca(Komunikaty::Rodzaj::Pytanie, tekst);
}

namespace {

struct Nagrywanie
{
    UjscieTestowe ujscie;
    bool trwa = false;
    Komunikaty::Ujscie *poprzednie = nullptr;
};

Nagrywanie &nagrywanie()
{
    static Nagrywanie n;
    return n;
}

} // namespace

void NagrywajKomunikaty(Odbiorca odbiorca)
{
    Nagrywanie &n = nagrywanie();
    if (odbiorca) {
        n.ujscie.UstawOdbiorce(std::move(odbiorca));
        if (!n.trwa)
            n.poprzednie = Komunikaty::UstawUjscie(&n.ujscie);
        n.trwa = true;
    } else if (n.trwa) {
        Komunikaty::UstawUjscie(n.poprzednie);
        n.ujscie.UstawOdbiorce({});
        n.trwa = false;
    }
}

QString OstatnieSzczegoly()
{
    return nagrywanie().ujscie.OstatnieSzczegoly();
}
