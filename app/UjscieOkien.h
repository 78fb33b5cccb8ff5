#pragma once

// The window's sink for the program's messages: message boxes.
//
// Every box (question, message, error) opens modally above all windows of the
// program and takes the keyboard; while the always-on-top progress window is
// up, the box belongs to it and stays on top itself, and is brought back to
// the front if the progress window is shown again while the box is open. Text
// is plain (names, paths and device strings may hold "<"); technical text goes
// under "Pokaż szczegóły". The window's start-up installs it.

#include "Komunikaty.h"

#include <QString>

class UjscieOkien final : public Komunikaty::Ujscie
{
public:
    // Plain message window with the program's title, no icon, OK.
    void Informacja(const QString &tekst, const QString &szczegoly) override;
    // Error box with the program's title, an error icon, OK.
    void Blad(const QString &tekst, const QString &szczegoly) override;
    // Yes/No question titled "Uwaga!".
    bool Pytanie(const QString &tekst) override;
};

// The program's title, used as the caption of message windows.
QString TytulProgramu();
