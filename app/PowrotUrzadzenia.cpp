#include "PowrotUrzadzenia.h"

#include "ObserwatorPortow.h"
#include "Podlaczone.h"

TPowrotUrzadzenia::TPowrotUrzadzenia(QObject *parent)
    : QObject(parent)
    , m_obserwator(new TObserwatorPortow(this))
{
    connect(m_obserwator, &TObserwatorPortow::zmiana, this, &TPowrotUrzadzenia::Sprawdz);
}

void TPowrotUrzadzenia::Otwarty(const QString &portName)
{
    m_tozsamosc = TozsamoscPortu(SerialDeviceName(portName), DefaultSysfsRoot(), DefaultDevRoot());
}

void TPowrotUrzadzenia::Utracony()
{
    m_wezel.clear();
    if (!m_czeka && !m_tozsamosc.Wezel.isEmpty()) {
        m_czeka = true;
        m_obserwator->Start();
    }
}

QString TPowrotUrzadzenia::Zakoncz()
{
    if (m_czeka) {
        m_czeka = false;
        m_obserwator->Stop();
    }
    const QString wezel = m_wezel;
    m_wezel.clear();
    return wezel;
}

void TPowrotUrzadzenia::Sprawdz()
{
    const TComPortInfo port = PortAdaptera(m_tozsamosc);
    if (port.Name.isEmpty())
        return;
    m_wezel = port.Name;
    m_czeka = false;
    m_obserwator->Stop();
    emit wrocilo(OpisPortu(port));
}
