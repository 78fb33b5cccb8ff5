#pragma once

// Keeps out of an edit box only what the settings file could not give back:
// a lone half of a surrogate pair (no UTF-8 form) and a line break (it would
// end the line of the key). Everything else is stored exactly, in UTF-8 when
// Windows-1250 cannot hold it.

#include <QValidator>

class WalidatorUstawien : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString &tekst, int &) const override
    {
        for (qsizetype i = 0; i < tekst.size(); ++i) {
            const QChar z = tekst.at(i);
            if (z == u'\r' || z == u'\n')
                return Invalid;
            if (z.isHighSurrogate() && i + 1 < tekst.size() && tekst.at(i + 1).isLowSurrogate())
                ++i;
            else if (z.isSurrogate())
                return Invalid;
        }
        return Acceptable;
    }
};
