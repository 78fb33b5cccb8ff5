#pragma once

// Starts the device simulator (vestibulomat-sim) on a fresh pseudo-terminal
// and stops it again; the benchmark's own small launcher.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace bench {

class Symulator
{
public:
    // Starts the simulator with these options and waits for its "PORT ..."
    // line; throws std::runtime_error when it does not come.
    explicit Symulator(const QStringList &opcje);
    ~Symulator();
    Symulator(const Symulator &) = delete;
    Symulator &operator=(const Symulator &) = delete;

    // The pseudo-terminal to open, "/dev/pts/N".
    QString Port() const { return m_port; }

    // The simulator's path: $VESTIBULOMAT_SIM, else the one built beside us.
    static QString Sciezka();

private:
    QProcess m_proces;
    QString m_port;
};

} // namespace bench
