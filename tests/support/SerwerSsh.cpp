#include "SerwerSsh.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Long enough for a slow machine, short enough for a test that hangs.
constexpr int kLimitMs = 10000;

QString Znajdz(const QString &nazwa)
{
    const QString wPath = QStandardPaths::findExecutable(nazwa);
    if (!wPath.isEmpty())
        return wPath;
    // sshd lives in sbin, which an ordinary user's PATH may lack.
    return QStandardPaths::findExecutable(
        nazwa, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin"),
                QStringLiteral("/sbin")});
}

// A port on 127.0.0.1 that nothing holds now.
int WolnyPort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return 0;
    sockaddr_in adres{};
    adres.sin_family = AF_INET;
    adres.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t dlugosc = sizeof adres;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr *>(&adres), sizeof adres) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr *>(&adres), &dlugosc) == 0)
        port = ntohs(adres.sin_port);
    ::close(s);
    return port;
}

bool Zamontowany(const QString &punkt)
{
    QFile mountinfo(QStringLiteral("/proc/self/mountinfo"));
    if (!mountinfo.open(QIODevice::ReadOnly))
        return false;
    const QByteArray szukany = ' ' + QFile::encodeName(punkt) + ' ';
    return mountinfo.readAll().contains(szukany);
}

} // namespace

SerwerSsh::SerwerSsh()
{
    if (!m_tmp.isValid()) {
        m_blad = QStringLiteral("no temporary folder");
        return;
    }
    const QString sshd = Znajdz(QStringLiteral("sshd"));
    m_sshfs = Znajdz(QStringLiteral("sshfs"));
    m_fusermount = Znajdz(QStringLiteral("fusermount3"));
    if (m_fusermount.isEmpty())
        m_fusermount = Znajdz(QStringLiteral("fusermount"));
    const QString keygen = Znajdz(QStringLiteral("ssh-keygen"));
    if (sshd.isEmpty() || m_sshfs.isEmpty() || m_fusermount.isEmpty() || keygen.isEmpty()) {
        m_blad = QStringLiteral("needs sshd, ssh-keygen, sshfs and fusermount (Debian: "
                                "openssh-server, sshfs)");
        return;
    }
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        m_blad = QStringLiteral("needs /dev/fuse (FUSE) that this user may open");
        return;
    }
    if (const passwd *pw = ::getpwuid(::geteuid()))
        m_uzytkownik = QString::fromLocal8Bit(pw->pw_name);
    if (m_uzytkownik.isEmpty()) {
        m_blad = QStringLiteral("the user has no name to log in with");
        return;
    }
    // sshd started by root wants its privilege separation folder, which
    // only a system sshd's start-up would make.
    if (::geteuid() == 0 && ::access("/run/sshd", F_OK) != 0 && ::mkdir("/run/sshd", 0755) != 0) {
        m_blad = QStringLiteral("cannot make /run/sshd for sshd");
        return;
    }
    for (const char *klucz : {"klucz_serwera", "klucz_klienta"})
        if (!Uruchom(keygen, {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"),
                              QStringLiteral("-N"), QString(), QStringLiteral("-f"),
                              m_tmp.filePath(QLatin1String(klucz))}))
            return;
    if (!QFile::copy(m_tmp.filePath(QStringLiteral("klucz_klienta.pub")),
                     m_tmp.filePath(QStringLiteral("authorized_keys"))) ||
        !QDir().mkpath(Folder())) {
        m_blad = QStringLiteral("cannot lay out the server's folder");
        return;
    }
    m_sshd.setProgram(sshd);
    // A port taken between the look and sshd's bind: another one.
    for (int proba = 0; proba < 3; ++proba)
        if (StartujSshd())
            return;
}

SerwerSsh::~SerwerSsh()
{
    Odmontuj();
    if (m_sshd.state() != QProcess::NotRunning) {
        m_sshd.terminate();
        if (!m_sshd.waitForFinished(kLimitMs)) {
            m_sshd.kill();
            m_sshd.waitForFinished();
        }
    }
}

QString SerwerSsh::Folder() const
{
    return m_tmp.filePath(QStringLiteral("serwer"));
}

QString SerwerSsh::Dziennik() const
{
    return m_tmp.filePath(QStringLiteral("sshd.log"));
}

bool SerwerSsh::Uruchom(const QString &program, const QStringList &argumenty)
{
    QProcess p;
    p.start(program, argumenty);
    if (p.waitForFinished(kLimitMs) && p.exitStatus() == QProcess::NormalExit &&
        p.exitCode() == 0)
        return true;
    p.kill();
    p.waitForFinished();
    m_blad = program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(p.readAllStandardError());
    return false;
}

bool SerwerSsh::StartujSshd()
{
    m_port = WolnyPort();
    const QString konfiguracja = m_tmp.filePath(QStringLiteral("sshd_config"));
    QFile plik(konfiguracja);
    if (!plik.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_blad = QStringLiteral("cannot write sshd_config");
        return false;
    }
    // Only this test's key, only this user, only SFTP served by sshd itself.
    plik.write(QStringLiteral("ListenAddress 127.0.0.1\n"
                              "Port %1\n"
                              "HostKey %2\n"
                              "AuthorizedKeysFile %3\n"
                              "PidFile %4\n"
                              "AllowUsers %5\n"
                              "PasswordAuthentication no\n"
                              "KbdInteractiveAuthentication no\n"
                              "PermitRootLogin prohibit-password\n"
                              "StrictModes no\n"
                              "UsePAM no\n"
                              "UseDNS no\n"
                              "PrintMotd no\n"
                              "Subsystem sftp internal-sftp\n")
                   .arg(m_port)
                   .arg(m_tmp.filePath(QStringLiteral("klucz_serwera")),
                        m_tmp.filePath(QStringLiteral("authorized_keys")),
                        m_tmp.filePath(QStringLiteral("sshd.pid")), m_uzytkownik)
                   .toLocal8Bit());
    plik.close();
    m_sshd.setArguments({QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"),
                         konfiguracja});
    // Into a file, which no unread pipe can fill up and stop sshd.
    m_sshd.setProcessChannelMode(QProcess::MergedChannels);
    m_sshd.setStandardOutputFile(Dziennik());
    m_sshd.start();
    // sshd says on stderr when it listens.
    QByteArray wypisane;
    const bool slucha = QTest::qWaitFor(
        [&] {
            QFile dziennik(Dziennik());
            if (dziennik.open(QIODevice::ReadOnly))
                wypisane = dziennik.readAll();
            return wypisane.contains("Server listening") ||
                   m_sshd.state() == QProcess::NotRunning;
        },
        kLimitMs);
    if (slucha && m_sshd.state() == QProcess::Running) {
        m_blad.clear();
        return true;
    }
    m_sshd.kill();
    m_sshd.waitForFinished();
    m_blad = QStringLiteral("sshd did not start: ") + QString::fromLocal8Bit(wypisane);
    return false;
}

QString SerwerSsh::Zamontuj(const QStringList &opcje)
{
    if (m_sshd.state() != QProcess::Running)
        return {};
    Odmontuj();
    m_punkt = m_tmp.filePath(QStringLiteral("punkt"));
    if (!QDir().mkpath(m_punkt)) {
        m_blad = QStringLiteral("cannot make the mount point");
        return {};
    }
    // No ssh settings of the machine's or the user's own, no question asked.
    QStringList o{QStringLiteral("IdentityFile=") + m_tmp.filePath(QStringLiteral("klucz_klienta")),
                  QStringLiteral("StrictHostKeyChecking=no"),
                  QStringLiteral("UserKnownHostsFile=/dev/null"), QStringLiteral("BatchMode=yes"),
                  QStringLiteral("LogLevel=ERROR"), QStringLiteral("port=%1").arg(m_port)};
    o += opcje;
    // In the foreground, so that the test knows the process to kill.
    m_mount.setProgram(m_sshfs);
    m_mount.setArguments({QStringLiteral("-f"), QStringLiteral("-F"), QStringLiteral("/dev/null"),
                          QStringLiteral("-o"), o.join(u','),
                          m_uzytkownik + QStringLiteral("@127.0.0.1:") + Folder(), m_punkt});
    m_mount.setProcessChannelMode(QProcess::MergedChannels);
    m_mount.start();
    // Until the start is seen the state is Starting, not Running.
    if (!m_mount.waitForStarted(kLimitMs)) {
        m_blad = m_sshfs + QStringLiteral(": ") + m_mount.errorString();
        return {};
    }
    const bool gotowy = QTest::qWaitFor(
        [&] { return Zamontowany(m_punkt) || m_mount.state() == QProcess::NotRunning; }, kLimitMs);
    if (gotowy && m_mount.state() == QProcess::Running) {
        m_blad.clear();
        return m_punkt;
    }
    QFile dziennik(Dziennik());
    m_blad = QStringLiteral("sshfs did not mount: ") + QString::fromLocal8Bit(m_mount.readAll()) +
             QStringLiteral("; sshd: ") +
             QString::fromLocal8Bit(dziennik.open(QIODevice::ReadOnly) ? dziennik.readAll()
                                                                      : QByteArray());
    Odmontuj();
    return {};
}

bool SerwerSsh::ZerwijPolaczenie()
{
    if (m_mount.state() != QProcess::Running)
        return false;
    ::kill(pid_t(m_mount.processId()), SIGKILL);
    return m_mount.waitForFinished(kLimitMs);
}

void SerwerSsh::Odmontuj()
{
    if (m_punkt.isEmpty())
        return;
    // Lazily: a mount that lost its sshfs cannot be looked into any more.
    if (Zamontowany(m_punkt))
        QProcess::execute(m_fusermount, {QStringLiteral("-u"), QStringLiteral("-z"), m_punkt});
    if (m_mount.state() != QProcess::NotRunning && !m_mount.waitForFinished(kLimitMs)) {
        m_mount.kill();
        m_mount.waitForFinished();
    }
    m_punkt.clear();
}
