#pragma once

// A folder of a real SFTP server, mounted with sshfs, for the tests of saves
// into a network folder. The test starts an sshd of its own: on 127.0.0.1, on
// a free port, with a host key, an authorized key and a settings file made in
// a temporary folder (`sshd -D -f CONFIG -e`); the machine's own sshd, its
// settings and port 22 are never touched. sshfs then mounts the server's
// folder, as the test's user, without asking anything (the key given, no
// known-hosts file).
//
// Without sshd, sshfs, ssh-keygen or FUSE nothing is started and Blad() says
// why, for QSKIP. The destructor unmounts (fusermount -u) and stops both.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class SerwerSsh
{
public:
    SerwerSsh();
    ~SerwerSsh();
    SerwerSsh(const SerwerSsh &) = delete;
    SerwerSsh &operator=(const SerwerSsh &) = delete;

    // Whether the server runs; otherwise Blad() says why. Blad() also says
    // why the last Zamontuj() failed.
    bool Ok() const { return m_sshd.state() == QProcess::Running; }
    QString Blad() const { return m_blad; }

    // The folder the server serves, as the server's own disk holds it: what
    // a test plants there or finds there is what the mount shows.
    QString Folder() const;

    // Mounts Folder() with sshfs, with these -o options on top (for example
    // "disable_hardlink": an SFTP server without hard links). Returns the
    // mount point, or an empty text with Blad() set.
    QString Zamontuj(const QStringList &opcje = {});

    // Kills the sshfs process, as when the connection is lost for good: the
    // mount stays, and every call on it fails with ENOTCONN.
    bool ZerwijPolaczenie();

    // Unmounts, also a mount whose sshfs is gone.
    void Odmontuj();

private:
    QString Dziennik() const; // what sshd writes
    bool Uruchom(const QString &program, const QStringList &argumenty);
    bool StartujSshd();

    QTemporaryDir m_tmp;
    QString m_blad;
    QString m_sshfs;
    QString m_fusermount;
    QString m_uzytkownik;
    int m_port = 0;
    QProcess m_sshd;
    QProcess m_mount;
    QString m_punkt;
};
