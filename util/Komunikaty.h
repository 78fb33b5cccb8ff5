#pragma once

// The program's message boxes and its general error handler.
//
// Every handler entry point (slot, timer, serial event) runs its body through
// Chron(): an exception never unwinds through Qt's frames; it is shown in the
// standard error box and the program goes on.
//
// Tests replace the boxes with a hook so that nothing modal blocks them.

#include <QString>

#include <exception>
#include <functional>
#include <utility>

namespace Komunikaty {

enum class Rodzaj {
    Blad,      // error box: message + ".", program title, error icon, OK
    Komunikat, // plain message window: program title, no icon, OK
    Pytanie    // Yes/No question titled "Uwaga!"
};

// The answer of a box: true for Yes (and for OK).
using Hook = std::function<bool(Rodzaj rodzaj, const QString &tekst)>;

// Installs a replacement for every box (tests); an empty hook restores the real boxes.
void UstawHook(Hook hook);

// The program's title, used as the caption of message windows.
QString TytulProgramu();

// Yes/No question, title "Uwaga!". Returns true for Yes.
bool Pytanie(const QString &tekst);

// Plain message window with the program's title and one OK button;
// technical text in szczegoly goes under "Pokaż szczegóły".
void Komunikat(const QString &tekst, const QString &szczegoly = QString());

// The general error handler: the message followed by a full stop, the
// program's title as caption, an error icon. Technical text (error numbers,
// the system's wording) goes into szczegoly, shown under "Pokaż szczegóły".
void PokazBlad(const QString &wiadomosc, const QString &szczegoly = QString());
// An OpisanyBlad (Bledy.h) shows its Polish text with its details; any other
// exception its what().
void PokazWyjatek(const std::exception &e);

// The details of the last box shown (tests read them beside the hook's text).
QString OstatnieSzczegoly();

// Runs body; any exception is shown by the general error handler.
// Returns false when the body ended with an exception.
template <typename F> bool Chron(F &&body) noexcept
{
    try {
        std::forward<F>(body)();
        return true;
    } catch (const std::exception &e) {
        PokazWyjatek(e);
    } catch (...) {
        PokazBlad(QStringLiteral("Nieznany błąd"));
    }
    return false;
}

} // namespace Komunikaty
