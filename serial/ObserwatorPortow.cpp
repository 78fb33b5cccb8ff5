#include "ObserwatorPortow.h"

#include "PortList.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <climits>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr uint32_t kNodeEvents = IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_TO | IN_MOVED_FROM;

// Names in /dev that may be a serial port or lead to one; the rest of /dev
// (disks, loop devices, sound) changes too and is none of our business.
bool MayBePort(const char *name)
{
    const QByteArray n(name);
    return n.startsWith("tty") || n.startsWith("rfcomm") || n == "serial";
}

// How long one burst is gathered: udev adds the by-id link and sets the
// node's group shortly after the kernel has made the node.
constexpr int kGatherMs = 250;

} // namespace

TObserwatorPortow::TObserwatorPortow(QObject *parent, const QString &devRoot)
    : QObject(parent)
    , m_devRoot(devRoot)
{
    m_gather.setSingleShot(true);
    m_gather.setInterval(kGatherMs);
    connect(&m_gather, &QTimer::timeout, this, &TObserwatorPortow::zmiana);
}

TObserwatorPortow::~TObserwatorPortow()
{
    Disarm();
}

QString TObserwatorPortow::DefaultDevRoot()
{
    return ::DefaultDevRoot();
}

void TObserwatorPortow::SetDefaultDevRoot(const QString &root)
{
    ::SetDefaultDevRoot(root);
}

QString TObserwatorPortow::DevRoot() const
{
    return m_devRoot.isEmpty() ? DefaultDevRoot() : m_devRoot;
}

void TObserwatorPortow::Start()
{
    if (m_users++ == 0)
        Arm();
}

void TObserwatorPortow::Stop()
{
    if (m_users == 0)
        return;
    if (--m_users == 0)
        Disarm();
}

void TObserwatorPortow::Arm()
{
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return; // no inotify (limits reached): the list is still read when the drop-down opens
    const QByteArray root = QFile::encodeName(DevRoot());
    m_devWatch = ::inotify_add_watch(m_fd, root.constData(), kNodeEvents | IN_ONLYDIR);
    ArmById();
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TObserwatorPortow::ReadEvents);
}

void TObserwatorPortow::Disarm()
{
    m_gather.stop();
    delete m_notifier;
    m_notifier = nullptr;
    if (m_fd >= 0)
        ::close(m_fd); // drops every watch on it
    m_fd = -1;
    m_devWatch = m_serialWatch = m_byIdWatch = -1;
}

void TObserwatorPortow::ArmById()
{
    // /dev/serial and /dev/serial/by-id come with the first adapter and go
    // with the last; adding a watch that exists already is harmless (the
    // same descriptor comes back).
    const QString serial = DevRoot() + QStringLiteral("/serial");
    const uint32_t mask = kNodeEvents | IN_ONLYDIR | IN_DELETE_SELF;
    m_serialWatch = ::inotify_add_watch(m_fd, QFile::encodeName(serial).constData(), mask);
    m_byIdWatch = ::inotify_add_watch(
        m_fd, QFile::encodeName(serial + QStringLiteral("/by-id")).constData(), mask);
}

void TObserwatorPortow::ReadEvents()
{
    alignas(inotify_event) char buffer[4096];
    bool relevant = false;
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            break; // EAGAIN: all read
        for (ssize_t at = 0; at < n;) {
            const auto *ev = reinterpret_cast<const inotify_event *>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            if (ev->mask & IN_Q_OVERFLOW) {
                relevant = true; // events were lost: read everything again
            } else if (ev->wd == m_devWatch) {
                relevant |= ev->len > 0 && MayBePort(ev->name);
            } else if (ev->wd == m_serialWatch || ev->wd == m_byIdWatch) {
                relevant = true;
            }
        }
    }
    // The by-id folder may have come or gone: watch it again.
    ArmById();
    if (relevant && !m_gather.isActive())
        m_gather.start();
}
