#pragma once

// The device simulator (vestibulomat-sim) as a child process, for tests and
// benchmarks that drive the program against a counting device.
//
// The simulator creates a pseudo-terminal and prints "PORT /dev/pts/N" as its
// first line; that name is what the program's port is set to. The process is
// stopped when the object goes (or earlier, with Zatrzymaj()).
//
//     Symulator sim({"--days", "3", "--quiet", "0"});
//     QVERIFY2(sim.Ok(), qPrintable(sim.Blad()));
//     frmMain->port->SetPort(sim.Port());

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

class Symulator
{
public:
    // Starts the simulator with these options and waits for its port line.
    explicit Symulator(const QStringList &opcje = {}, int limitMs = 20000);
    ~Symulator();
    Symulator(const Symulator &) = delete;
    Symulator &operator=(const Symulator &) = delete;

    // The path of the simulator: the environment variable VESTIBULOMAT_SIM,
    // which CTest sets, or else bin/vestibulomat-sim of the same build.
    static QString Program();

    // Whether it started and named its port; otherwise Blad() says why.
    bool Ok() const { return !m_port.isEmpty(); }
    QString Blad() const { return m_blad; }

    // The pseudo-terminal, as "/dev/pts/N".
    QString Port() const { return m_port; }

    // The waits below keep the event loop running, so the program under test
    // goes on working meanwhile.

    // The next stdout line without its line end (a "CLOCK Z..." line, for
    // instance); empty when none came within limitMs.
    QByteArray Linia(int limitMs = 20000);

    // Waits for the process to end by itself (--once, --drop-after); true
    // when it did. KodWyjscia() is then its exit code.
    bool CzekajNaKoniec(int limitMs = 20000);
    int KodWyjscia() const;
    bool Dziala() const;

    // Stops it (SIGTERM, then SIGKILL if it does not go); the simulator then
    // closes its end of the line, which the program sees as a lost device.
    void Zatrzymaj();

    // What it wrote on stderr so far (with --verbose, what it did).
    QByteArray BledyProcesu();

    QProcess &Proces() { return m_proces; }

private:
    QProcess m_proces;
    QString m_port;
    QString m_blad;
    int m_limitMs;
};
