#include "Raport.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <vector>

namespace sim {

namespace {

using namespace std::chrono;

sys_days NaDni(Dzien d)
{
    return sys_days{year{d.rok} / month{d.miesiac} / day{d.dzien}};
}

Dzien ZDni(sys_days s)
{
    const year_month_day ymd{s};
    return {int(ymd.year()), unsigned(ymd.month()), unsigned(ymd.day())};
}

std::string Ukosnikami(Dzien d)
{
    char bufor[16];
    std::snprintf(bufor, sizeof bufor, "%04d/%02u/%02u", d.rok, d.miesiac, d.dzien);
    return bufor;
}

// "Sala główna" in Windows-1250: ł is 0xB3, ó is 0xF3.
constexpr const char *kObiekt = "Sala g\xB3\xF3wna";

// The site is open from 8 to 18; the device prints one line per hour.
constexpr int kOtwarcie = 8;
constexpr int kZamkniecie = 18;

class Generator
{
public:
    explicit Generator(std::uint32_t ziarno)
        : los_(ziarno)
    {}

    // One day's block; returns the day's total.
    long Dzien(std::string &cel, sim::Dzien d)
    {
        cel += "Odwiedziny w dniu: " + Ukosnikami(d) + "\r\n";
        long suma = 0;
        std::uniform_int_distribution<int> ile(0, 60);
        for (int h = kOtwarcie; h < kZamkniecie; ++h) {
            const int n = ile(los_);
            suma += n;
            char linia[48];
            std::snprintf(linia, sizeof linia, "  %02d:00-%02d:00 %6d\r\n", h, h + 1, n);
            cel += linia;
        }
        cel += "Razem w dniu: " + std::to_string(suma) + "\r\n\r\n";
        return suma;
    }

private:
    std::mt19937 los_;
};

std::string Zloz(sim::Dzien od, sim::Dzien do_, const std::string &dni, long suma)
{
    std::string r = std::string("Licznik odwiedzin - obiekt: ") + kObiekt + "\r\n";
    r += "Okres: " + Ukosnikami(od) + " - " + Ukosnikami(do_) + "\r\n\r\n";
    r += dni;
    r += "Razem odwiedzin: " + std::to_string(suma) + "\r\n";
    return r;
}

} // namespace

Dzien Dzisiaj()
{
    const std::time_t teraz = std::time(nullptr);
    std::tm tm{};
    localtime_r(&teraz, &tm);
    return {tm.tm_year + 1900, unsigned(tm.tm_mon + 1), unsigned(tm.tm_mday)};
}

Dzien Przesun(Dzien d, long ile)
{
    return ZDni(NaDni(d) + days{ile});
}

std::string RaportDni(Dzien poczatek, int dni, std::uint32_t ziarno)
{
    Generator g(ziarno);
    std::string tresc;
    long suma = 0;
    for (int i = 0; i < dni; ++i)
        suma += g.Dzien(tresc, Przesun(poczatek, i));
    const Dzien koniec = dni > 0 ? Przesun(poczatek, dni - 1) : poczatek;
    return Zloz(poczatek, koniec, tresc, suma);
}

std::string RaportRozmiar(Dzien poczatek, std::size_t bajty, std::uint32_t ziarno)
{
    Generator g(ziarno);
    std::string tresc;
    tresc.reserve(bajty + 1024);
    long suma = 0;
    long dni = 0;
    // The header and the total add about a hundred bytes; stop once the
    // whole report will reach the size.
    const std::size_t ramka = Zloz(poczatek, poczatek, {}, 0).size() + 12;
    while (tresc.size() + ramka < bajty)
        suma += g.Dzien(tresc, Przesun(poczatek, dni++));
    const Dzien koniec = Przesun(poczatek, std::max(0L, dni - 1));
    return Zloz(poczatek, koniec, tresc, suma);
}

std::string LosoweBajty(std::size_t n, std::uint32_t ziarno)
{
    std::mt19937 los(ziarno);
    std::uniform_int_distribution<int> bajt(0, 255);
    std::uniform_int_distribution<int> rodzaj(0, 19);

    // Build the bytes from pieces so that line ends stay what they are meant
    // to be: a bare CR is followed by a byte that is neither CR nor LF.
    auto bezLinii = [&] {
        int b;
        do
            b = bajt(los);
        while (b == '\r' || b == '\n');
        return char(b);
    };
    std::vector<std::string> kawalki;
    kawalki.push_back(std::string(1, '\0'));
    kawalki.push_back(std::string{'\r', bezLinii()});
    kawalki.push_back("\r\n");
    std::size_t razem = 5;
    while (razem < n) {
        std::string k;
        // One byte left: a two-byte piece would have to be cut, and a cut CR
        // LF is no longer one.
        switch (n - razem == 1 ? 19 : rodzaj(los)) {
        case 0:
            k = std::string(1, '\0');
            break;
        case 1:
            k = std::string{'\r', bezLinii()};
            break;
        case 2:
            k = "\r\n";
            break;
        case 3:
            k = "\n";
            break;
        default:
            k = std::string(1, char(bajt(los)));
        }
        razem += k.size();
        kawalki.push_back(std::move(k));
    }
    std::shuffle(kawalki.begin(), kawalki.end(), los);
    std::string wynik;
    for (const auto &k : kawalki)
        wynik += k;
    wynik.resize(n); // only when n is too small for the three pieces above
    return wynik;
}

std::string CzytajPlik(const std::string &sciezka)
{
    std::ifstream plik(sciezka, std::ios::binary);
    if (!plik)
        throw std::runtime_error("cannot read " + sciezka + ": " + std::strerror(errno));
    std::string dane((std::istreambuf_iterator<char>(plik)), std::istreambuf_iterator<char>());
    if (plik.bad())
        throw std::runtime_error("cannot read " + sciezka);
    return dane;
}

std::string RaportZOpcji(const Opcje &o)
{
    if (!o.plikRaportu.empty())
        return CzytajPlik(o.plikRaportu);
    if (o.losoweBajty)
        return LosoweBajty(*o.losoweBajty, o.ziarno);
    if (o.rozmiarMb) {
        const auto bajty = std::size_t(*o.rozmiarMb * 1024.0 * 1024.0);
        return RaportRozmiar(o.poczatek.value_or(Dzien{2000, 1, 1}), bajty, o.ziarno);
    }
    const Dzien poczatek = o.poczatek ? *o.poczatek : Przesun(Dzisiaj(), 1 - long(o.dni));
    return RaportDni(poczatek, o.dni, o.ziarno);
}

} // namespace sim
