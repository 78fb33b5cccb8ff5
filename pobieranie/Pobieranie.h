#pragma once

// The dialogue with the counting device, for the main window and for the
// unattended download alike. It holds no window: its owner connects the
// timers and the port's events to its own handlers and calls in here for
// each step, so both owners speak to the device in exactly the same way.
//
//   timPytanie     1000 ms  poll: the clock command when asked for, then CR
//   timTimeOut    10000 ms  no answer since the download began
//   timTransmisja   500 ms  quiet after the last chunk: the report has ended
//
// The device sends no framing: the first byte that comes back stops the
// polling, and only half a second of silence ends the report. Every chunk
// begins a fresh half second.
//
// Timer rule: starting a running timer leaves its countdown alone; a fresh
// interval is asked for by stopping the timer first.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QTimer;
class TComPort;
class TDziennik;

class TPobieranie : public QObject
{
    Q_OBJECT

public:
    // Creates the port (closed, named "COM1", with the device's line
    // settings) and the three timers (stopped), all children of this object.
    explicit TPobieranie(QObject *parent = nullptr);

    TComPort *port = nullptr;
    QTimer *timTimeOut = nullptr;
    QTimer *timPytanie = nullptr;
    QTimer *timTransmisja = nullptr;

    // Asked at every poll: whether the clock command goes first. Unset: no.
    std::function<bool()> Synchronizuj;
    // The journal the received chunks go into; none when null.
    TDziennik *dziennik = nullptr;
    // The journal's header says it is an unattended run's.
    bool bezOkna = false;

    // Opens the port when it is closed. Returns whether it is open; a port
    // that cannot be opened throws EComPort.
    bool Polacz();
    // Polling begins: the no-answer timer, then the poll timer, so the first
    // poll goes out a second from now. Running timers keep their countdowns.
    void Odpytuj();
    // Polling ends: the poll and no-answer timers stop.
    void ZakonczOdpytywanie();
    // One poll: nothing while the port is closed; otherwise the clock command
    // (when Synchronizuj says so) and the carriage return, as two writes. A
    // line that refuses a write will refuse the next one too: polling ends
    // and the error (EComPort) goes on to the caller.
    void Pytaj();

    // The bytes the data-received event announced.
    QByteArray Czytaj(int count);
    // A report has an end: a line that sends more than the largest report
    // the program accepts (Czytanie::NajwiekszyRaport) without half a second
    // of quiet is noise or a fault, not a report. With mam bytes held,
    // kawalek is cut to what still fits; when it did not fit whole,
    // polling and the quiet timer stop, and true says reception is over.
    bool Przytnij(QByteArray &kawalek, qint64 mam);
    // What the user is told when Przytnij ended reception.
    static QString KomunikatPrzepelnienia();
    // After every chunk: polling ends, no question about a silent device
    // comes any more, and the half second of quiet starts afresh.
    void Odebrano();
    // The chunk into the journal. The first chunk of a report (or the first
    // after the journal was given up) starts a journal holding dotychczas,
    // everything the owner holds by now, under the object name obiekt.
    void DoDziennika(const QByteArray &kawalek, const QByteArray &dotychczas,
                     const QString &obiekt);
    // The report has ended: the quiet timer stops and the journal goes to
    // the disk now.
    void KoniecTransmisji();
};
