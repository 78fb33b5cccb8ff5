#pragma once

// The program's messages on standard error, for the command line (no display,
// no window): one line for the user in Polish and, when there is one, a
// second line with the technical text (the errno). A systemd journal keeps
// each as one entry.

#include "Komunikaty.h"

#include <QString>

#include <cstdio>

// Writes linia as one line: line breaks inside become "; ".
void WypiszLinie(std::FILE *strumien, const QString &linia);

// The message on stderr, then its technical text on a line of its own.
void WypiszKomunikat(const QString &tekst, const QString &szczegoly = QString());

// Every kind of message as WypiszKomunikat writes it. Nobody is there to
// answer a question: its text is written and the answer is No.
class UjscieKonsoli final : public Komunikaty::Ujscie
{
public:
    void Informacja(const QString &tekst, const QString &szczegoly) override;
    void Blad(const QString &tekst, const QString &szczegoly) override;
    bool Pytanie(const QString &tekst) override;
};
