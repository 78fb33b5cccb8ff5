// Help and the about window.

#include "main.h"

#include "Pomoc.h"
#include "oProgr.h"

void TfrmMain::Tematypomocy1Click()
{
    OtworzPomoc(KatalogProgramu);
}

void TfrmMain::Oprogramie1Click()
{
    frmOprogramie->exec();
}
