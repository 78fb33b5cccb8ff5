#pragma once

// The program's messages on standard error, for the command line (no display,
// no window): one line for the user in Polish and, when there is one, a
// second line with the technical text (the errno). A systemd journal keeps
// each as one entry.

#include "Komunikaty.h"

#include <QString>
#include <QStringList>

#include <cstdio>

// Writes linia as one line: line breaks inside become "; ", and any other
// control character "?", so that no text from a device, a file name or a
// settings file can move a terminal's cursor, clear it or set its title.
void WypiszLinie(std::FILE *strumien, const QString &linia);

// The message on stderr, then its technical text on a line of its own.
void WypiszKomunikat(const QString &tekst, const QString &szczegoly = QString());

// The user's lines (not the technical ones) written by WypiszKomunikat so
// far, as they were written: what a run told, for its record.
QStringList WypisaneKomunikaty();

// Every kind of message as WypiszKomunikat writes it. Nobody is there to
// answer a question: its text is written and the answer is No.
class UjscieKonsoli final : public Komunikaty::Ujscie
{
public:
    void Informacja(const QString &tekst, const QString &szczegoly) override;
    void Blad(const QString &tekst, const QString &szczegoly) override;
    bool Pytanie(const QString &tekst) override;
};
