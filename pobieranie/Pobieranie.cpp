#include "Pobieranie.h"

#include "Czytanie.h"

#include "CPort.h"
#include "Dziennik.h"
#include "Urzadzenie.h"
#include "Zegar.h"

#include <QDateTime>
#include <QTimer>

TPobieranie::TPobieranie(QObject *parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("pobieranie"));

    auto zegar = [&](QTimer *&t, const char *nazwa, int ms) {
        t = new QTimer(this);
        t->setObjectName(QLatin1String(nazwa));
        t->setInterval(ms);
        // A coarse timer may fire up to 5 % early: a device pausing 480 ms
        // inside its report would then be taken as finished.
        t->setTimerType(Qt::PreciseTimer);
    };
    zegar(timTimeOut, "timTimeOut", 10000);
    zegar(timPytanie, "timPytanie", 1000);
    zegar(timTransmisja, "timTransmisja", 500);

    // The serial line to the counting device: 9600 bit/s, 8 data bits, no
    // parity, one stop bit, no handshaking, DTR and RTS held off. Only the
    // port name and the open state change at run time.
    port = new TComPort(this);
    port->setObjectName(QStringLiteral("port"));
    port->SetBaudRate(br9600);
    port->SetPort(QStringLiteral("COM1"));
    port->Parity().SetBits(prNone);
    port->SetStopBits(sbOneStopBit);
    port->SetDataBits(dbEight);
    port->SetEvents(TComEvents::All());
    port->FlowControl().SetOutCTSFlow(false);
    port->FlowControl().SetOutDSRFlow(false);
    port->FlowControl().SetControlDTR(dtrDisable);
    port->FlowControl().SetControlRTS(rtsDisable);
    port->FlowControl().SetXonXoffOut(false);
    port->FlowControl().SetXonXoffIn(false);
}

bool TPobieranie::Polacz()
{
    if (!port->Connected())
        port->SetConnected(true);
    return port->Connected();
}

void TPobieranie::Odpytuj()
{
    WlaczZegar(timTimeOut);
    WlaczZegar(timPytanie);
}

void TPobieranie::ZakonczOdpytywanie()
{
    WylaczZegar(timPytanie);
    WylaczZegar(timTimeOut);
}

void TPobieranie::Pytaj()
{
    if (!port->Connected())
        return;
    try {
        if (Synchronizuj && Synchronizuj())
            port->WriteText(KomendaZegara(QDateTime::currentDateTime()));
        port->WriteText(ZapytanieUrzadzenia);
    } catch (...) {
        ZakonczOdpytywanie();
        throw;
    }
}

QByteArray TPobieranie::Czytaj(int count)
{
    return port->ReadText(count);
}

bool TPobieranie::Przytnij(QByteArray &kawalek, qint64 mam)
{
    const qint64 miejsce = Czytanie::NajwiekszyRaport - mam;
    if (kawalek.size() <= miejsce)
        return false;
    kawalek.truncate(qsizetype(qMax<qint64>(miejsce, 0)));
    ZakonczOdpytywanie();
    WylaczZegar(timTransmisja);
    return true;
}

QString TPobieranie::KomunikatPrzepelnienia()
{
    return QStringLiteral(
        "Licznik przysłał więcej niż 64 MiB danych bez przerwy; odbiór przerwano.");
}

void TPobieranie::Odebrano()
{
    WylaczZegar(timTransmisja);
    WylaczZegar(timTimeOut);
    WylaczZegar(timPytanie);
    WlaczZegar(timTransmisja); // stopped above, so a fresh half second
}

void TPobieranie::DoDziennika(const QByteArray &kawalek, const QByteArray &dotychczas,
                              const QString &obiekt)
{
    if (!dziennik)
        return;
    if (dziennik->Prowadzony()) {
        dziennik->Dopisz(kawalek);
        return;
    }
    dziennik->Rozpocznij({obiekt, port->Port(), QDateTime::currentDateTime(), bezOkna}, dotychczas,
                         kawalek);
}

void TPobieranie::KoniecTransmisji()
{
    WylaczZegar(timTransmisja);
    if (dziennik)
        dziennik->KoniecTransmisji();
}
