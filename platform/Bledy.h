#pragma once

// Errors as a user reads them.
//
// A box says in Polish what happened and what to do; the technical text (the
// operating system's error number and name, a component's own error text)
// goes into the box's details. An exception that knows both derives from
// OpisanyBlad; the general error handler shows TekstUzytkownika() and puts
// Szczegoly() into the details.

#include <QString>

#include <stdexcept>

class OpisanyBlad
{
public:
    virtual ~OpisanyBlad() = default;
    // What happened and what to do, in Polish.
    virtual QString TekstUzytkownika() const = 0;
    // Technical detail for the box's details; may be empty.
    virtual QString Szczegoly() const = 0;
};

// A plain error of the program with both texts; what() is the user's text.
class BladProgramu : public std::runtime_error, public OpisanyBlad
{
public:
    explicit BladProgramu(const QString &tekst, const QString &szczegoly = QString());
    QString TekstUzytkownika() const override { return m_tekst; }
    QString Szczegoly() const override { return m_szczegoly; }

private:
    QString m_tekst;
    QString m_szczegoly;
};

// The two texts of any exception: an OpisanyBlad's own; otherwise what() is
// the user's text and there are no details.
struct TekstyBledu
{
    QString tekst;
    QString szczegoly;
};
TekstyBledu OpiszBlad(const std::exception &e);

// A Polish description of an errno value for the common cases ("brak
// uprawnień", "system plików tylko do odczytu", ...); for a rare one
// "nieoczekiwany błąd systemu" (the system's English text goes into the
// details through SzczegolyBleduSystemu).
QString OpisBleduSystemu(int kod);

// Whether OpisBleduSystemu(kod) names this very error rather than the
// general "nieoczekiwany błąd systemu".
bool PolskiOpisBleduSystemu(int kod);

// The errno name: "EIO", "EACCES"; "errno N" when the system has none.
QString NazwaBleduSystemu(int kod);

// The technical line for the details: "errno 5: EIO (Input/output error)".
QString SzczegolyBleduSystemu(int kod);
