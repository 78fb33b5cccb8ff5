// Linked whole into every test executable: before main, the home folder,
// the per-user places (settings, cache, state, data, runtime) and the
// system's data and configuration folders point into a temporary folder of
// this run, and the desktop's session bus is forgotten. No test then reads
// what is installed on the machine (the help in /usr/share/vestibulomat) or
// the user's real settings, journals and attachments, none writes there, and
// no window under test appears on the user's bus. A test that needs one of
// these places elsewhere sets it itself.
//
// A test executable that a test starts again as a helper program keeps the
// places its parent gave it.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <optional>
#include <sys/stat.h>

namespace {

constexpr char kZmiennaRodzica[] = "VESTIBULOMAT_TESTY_MIEJSCA";

class MiejscaTestow
{
public:
    MiejscaTestow()
    {
        if (qEnvironmentVariableIsSet(kZmiennaRodzica))
            return;
        const QTemporaryDir &katalog = m_katalog.emplace();
        if (!katalog.isValid())
            qFatal("No temporary folder for the test's own home: %s",
                   qPrintable(katalog.errorString()));
        const QString dom = katalog.filePath(QStringLiteral("dom"));
        const QString czas = katalog.filePath(QStringLiteral("run"));
        QDir().mkpath(dom);
        QDir().mkpath(czas);
        // The runtime folder is the user's alone, as the XDG rules ask.
        ::chmod(QFile::encodeName(czas).constData(), 0700);
        Ustaw("HOME", dom);
        Ustaw("XDG_CONFIG_HOME", dom + QStringLiteral("/.config"));
        Ustaw("XDG_CACHE_HOME", dom + QStringLiteral("/.cache"));
        Ustaw("XDG_STATE_HOME", dom + QStringLiteral("/.local/state"));
        Ustaw("XDG_DATA_HOME", dom + QStringLiteral("/.local/share"));
        // Folders that do not exist: nothing installed is found there.
        Ustaw("XDG_DATA_DIRS", katalog.filePath(QStringLiteral("usr/share")));
        Ustaw("XDG_CONFIG_DIRS", katalog.filePath(QStringLiteral("etc/xdg")));
        Ustaw("XDG_RUNTIME_DIR", czas);
        // No session bus but one a test starts itself: a window under test
        // never registers on the desktop's own bus.
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        Ustaw(kZmiennaRodzica, katalog.path());
    }

private:
    static void Ustaw(const char *nazwa, const QString &wartosc)
    {
        qputenv(nazwa, QFile::encodeName(wartosc));
    }

    std::optional<QTemporaryDir> m_katalog;
};

const MiejscaTestow miejsca;

} // namespace
