#pragma once

// The program's messages and its general error handler, with no window.
//
// Code at every level tells the user something through these functions; how
// it is shown is the front end's choice, made once by installing a sink: the
// window shows message boxes (app/UjscieOkien), the command line writes to
// stderr (UjscieKonsoli), tests record. With no sink installed, messages go
// to stderr as on the command line, so nothing below the windows can open a
// box.
//
// Every handler entry point (slot, timer, serial event) runs its body through
// Chron(): an exception never unwinds through Qt's frames; the general error
// handler shows it and the program goes on.

#include <QString>

#include <exception>
#include <utility>

namespace Komunikaty {

// The kinds of message, for a sink that treats them alike (tests).
enum class Rodzaj {
    Blad,      // error: message + ".", program title, error icon, OK
    Komunikat, // plain message: program title, no icon, OK
    Pytanie    // Yes/No question titled "Uwaga!"
};

// Where the program's messages go. Installed and used on the user-interface
// thread; a thread of its own hands its errors over to that thread first.
class Ujscie
{
public:
    virtual ~Ujscie() = default;
    // Information for the user; technical text, if any, in szczegoly.
    virtual void Informacja(const QString &tekst, const QString &szczegoly) = 0;
    // An error: tekst ends with a full stop; technical text (error numbers,
    // the system's wording), if any, in szczegoly.
    virtual void Blad(const QString &tekst, const QString &szczegoly) = 0;
    // A Yes/No question; true for Yes.
    virtual bool Pytanie(const QString &tekst) = 0;
};

// Makes ujscie the sink of every message from now on and returns the one it
// replaces (nullptr for the default). nullptr puts the default back. The sink
// is not owned: it must stay alive while installed.
Ujscie *UstawUjscie(Ujscie *ujscie);

// Installs a sink for as long as this lives, then puts back the one before.
class UstawioneUjscie
{
public:
    explicit UstawioneUjscie(Ujscie &ujscie)
        : m_poprzednie(UstawUjscie(&ujscie))
    {}
    ~UstawioneUjscie() { UstawUjscie(m_poprzednie); }
    UstawioneUjscie(const UstawioneUjscie &) = delete;
    UstawioneUjscie &operator=(const UstawioneUjscie &) = delete;

private:
    Ujscie *m_poprzednie;
};

// Yes/No question, title "Uwaga!". Returns true for Yes.
bool Pytanie(const QString &tekst);

// Plain message with the program's title and one OK button; technical text,
// if any, in its details as for PokazBlad.
void Komunikat(const QString &tekst, const QString &szczegoly = QString());

// The general error handler: the message followed by a full stop, the
// program's title as caption, an error icon. Technical text (error numbers,
// the system's wording) goes into szczegoly, shown under "Pokaż szczegóły".
void PokazBlad(const QString &wiadomosc, const QString &szczegoly = QString());
// An OpisanyBlad (Bledy.h) shows its Polish text with its details; any other
// exception its what().
void PokazWyjatek(const std::exception &e);

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
