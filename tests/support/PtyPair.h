#pragma once

// A pseudo-terminal pair for serial tests: the test plays the device on the
// master side while the code under test opens the slave by name ("pts/N").
//
// A pty has no modem lines, forces 8 data bits without parity and reports
// ENOTTY for the modem ioctls; closing the master looks to the slave like an
// unplugged USB adapter.

#include <QByteArray>
#include <QString>

class PtyPair
{
public:
    // Opens a new pair; Ok() tells whether it worked.
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool Ok() const { return m_master >= 0; }
    int MasterFd() const { return m_master; }
    // The slave as a port name ("pts/3") and as a path ("/dev/pts/3").
    QString SlaveName() const { return m_slaveName; }
    QString SlavePath() const { return QStringLiteral("/dev/") + m_slaveName; }

    // Writes every byte to the master (the device sends). False on failure.
    bool Send(const QByteArray &bytes);
    // Reads what the code under test wrote, waiting up to waitMs for the first
    // byte and until count bytes or a short quiet spell after that.
    QByteArray Receive(int count, int waitMs = 5000);
    // Reads whatever is there now, without waiting.
    QByteArray ReceiveNow();
    // The device goes away.
    void CloseMaster();

private:
    int m_master = -1;
    QString m_slaveName;
};
