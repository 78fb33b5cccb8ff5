// The report's file name, saving it and mailing it.

#include "main.h"

QString TfrmMain::NazwaPliku()
{
    return QString();
}

void TfrmMain::tobZapiszClick() {}

void TfrmMain::tobMailClick() {}
