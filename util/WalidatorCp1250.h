#pragma once

// Keeps out of an edit box the characters that the settings file, written in
// Windows-1250, could not hold.

#include "Cp1250.h"

#include <QValidator>

class WalidatorCp1250 : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString &tekst, int &) const override
    {
        return PasujeDoCp1250(tekst) ? Acceptable : Invalid;
    }
};
