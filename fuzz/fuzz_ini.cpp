// The settings-file reader on arbitrary file contents, and a write followed
// by a read on top of them: no crash, no read past a buffer, every value read
// within the 1023-byte limit, and a clean value written is read back as is.
#include "PlikIni.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray plik(reinterpret_cast<const char *>(data), qsizetype(size));

    static const QByteArray klucze[] = {"obiekt", "katalog", "autozapis", "mail",
                                        "port",   "synchro", "podglad"};
    for (const QByteArray &klucz : klucze) {
        const QByteArray w = Ini::Czytaj(plik, "konfig", klucz, "domyslna");
        if (w.size() > Ini::NajdluzszaWartosc)
            abort();
    }

    // A value free of line breaks, outer blanks and quotes must survive a
    // write into whatever the file held.
    QByteArray wartosc = plik.left(64);
    for (char &c : wartosc)
        if (c == '\r' || c == '\n' || c == '\0' || c == '"' || c == '\'' || c == ' ' || c == '\t')
            c = 'x';
    const QByteArray nowy = Ini::Wpisz(plik, "konfig", "obiekt", wartosc);
    if (Ini::Czytaj(nowy, "KONFIG", "Obiekt", "brak") != wartosc)
        abort();
    return 0;
}
