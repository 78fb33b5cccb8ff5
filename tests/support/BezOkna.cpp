#include "BezOkna.h"

#include "Symulator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

QString KopiaProgramu(const QString &katalog)
{
    const QString zrodlo =
        QFileInfo(Symulator::Program()).dir().filePath(QStringLiteral("vestibulomat"));
    const QString kopia = QDir(katalog).filePath(QStringLiteral("bin/vestibulomat"));
    if (!QDir(katalog).mkpath(QStringLiteral("bin")) || !QFile::copy(zrodlo, kopia))
        return QString();
    return kopia;
}

WynikBezOkna UruchomBezOkna(const UruchomienieBezOkna &u)
{
    const QDir korzen(u.korzen);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *zmienna : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                                "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"})
        env.remove(QLatin1String(zmienna));
    if (!u.magistrala.isEmpty())
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), u.magistrala);
    env.insert(QStringLiteral("HOME"), korzen.filePath(QStringLiteral("dom")));
    env.insert(QStringLiteral("XDG_STATE_HOME"), korzen.filePath(QStringLiteral("stan")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), korzen.filePath(QStringLiteral("dom/.config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), korzen.filePath(QStringLiteral("dom/.cache")));
    QProcess p;
    p.setProcessEnvironment(env);
    if (const qint64 pamiec = u.pamiec; pamiec > 0)
        p.setChildProcessModifier([pamiec] {
            const rlimit limit{rlim_t(pamiec), rlim_t(pamiec)};
            ::setrlimit(RLIMIT_AS, &limit);
        });
    p.start(u.program, u.argumenty);
    if (u.sygnalPoMs > 0) {
        QTest::qWait(u.sygnalPoMs);
        ::kill(pid_t(p.processId()), SIGTERM);
    }
    WynikBezOkna w;
    if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, u.limitMs)) {
        p.kill();
        p.waitForFinished();
        return w;
    }
    w.kod = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    w.wyjscie = p.readAllStandardOutput();
    w.bledy = p.readAllStandardError();
    return w;
}

QStringList DziennikiBezOkna(const QString &korzen)
{
    QStringList pliki;
    const QDir stan(QDir(korzen).filePath(QStringLiteral("stan/Vestibulomat")));
    for (const QString &nazwa : stan.entryList({QStringLiteral("*.dziennik")}, QDir::Files))
        pliki.append(stan.filePath(nazwa));
    return pliki;
}
