#include "PtyPair.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0)
        return;
    char name[128];
    if (::grantpt(m_master) < 0 || ::unlockpt(m_master) < 0 ||
        ::ptsname_r(m_master, name, sizeof name) != 0) {
        CloseMaster();
        return;
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    QString path = QString::fromLocal8Bit(name);
    m_slaveName = path.startsWith(QLatin1String("/dev/")) ? path.mid(5) : path;
}

PtyPair::~PtyPair()
{
    CloseMaster();
}

void PtyPair::CloseMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

bool PtyPair::Send(const QByteArray &bytes)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // With the slave closed the master reports POLLHUP at once: give up
            // rather than spin.
            pollfd p{m_master, POLLOUT, 0};
            if (::poll(&p, 1, 5000) <= 0 || !(p.revents & POLLOUT))
                return false;
            continue;
        }
        return false;
    }
    return true;
}

QByteArray PtyPair::ReceiveNow()
{
    QByteArray out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return out;
    }
}

QByteArray PtyPair::Receive(int count, int waitMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    QByteArray out;
    while (out.size() < count) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(out.isEmpty() ? left : qMin<qint64>(left, 200))) <= 0)
            break;
        const QByteArray chunk = ReceiveNow();
        if (chunk.isEmpty())
            break;
        out += chunk;
    }
    return out;
}
