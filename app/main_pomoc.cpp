// Help and the about window.

#include "main.h"

void TfrmMain::Tematypomocy1Click() {}

void TfrmMain::Oprogramie1Click() {}
