#pragma once

// The tests' sink for the program's messages: nothing modal opens, each
// message goes to a function of the test, which answers questions.

#include "Komunikaty.h"

#include <QString>

#include <functional>
#include <utility>

// Told each message's kind and text (an error's with its full stop); its
// answer is the question's (true for Yes), ignored for the other kinds.
using Odbiorca = std::function<bool(Komunikaty::Rodzaj rodzaj, const QString &tekst)>;

// A sink that hands every message to its odbiorca and keeps the details.
class UjscieTestowe final : public Komunikaty::Ujscie
{
public:
    explicit UjscieTestowe(Odbiorca odbiorca = {})
        : m_odbiorca(std::move(odbiorca))
    {}
    void UstawOdbiorce(Odbiorca odbiorca) { m_odbiorca = std::move(odbiorca); }
    // The details of the last message or error (a question has none).
    QString OstatnieSzczegoly() const { return m_szczegoly; }

    void Informacja(const QString &tekst, const QString &szczegoly) override;
    void Blad(const QString &tekst, const QString &szczegoly) override;
    bool Pytanie(const QString &tekst) override;

private:
    Odbiorca m_odbiorca;
    QString m_szczegoly;
};

// Sends the program's messages from now on to odbiorca, through one recording
// sink shared by the test executable. An empty odbiorca puts back the sink
// that was installed before the recording began.
void NagrywajKomunikaty(Odbiorca odbiorca);

// The details of the last message or error recorded.
QString OstatnieSzczegoly();
