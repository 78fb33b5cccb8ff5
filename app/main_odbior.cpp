// The download: polling the device, taking in its report, recognising the
// end of a transmission, and the analysis of what arrived.

#include "main.h"

void TfrmMain::tobPolaczClick() {}

void TfrmMain::timPytanieTimer() {}

void TfrmMain::portRxChar(int count)
{
    Q_UNUSED(count);
}

void TfrmMain::OdbiorDanych() {}

void TfrmMain::timTimeOutTimer() {}

void TfrmMain::timTransmisjaTimer() {}

void TfrmMain::AnalizujDane() {}
