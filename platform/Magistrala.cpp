#include "Magistrala.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

bool JestMagistralaSesji()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return false;
    const QFileInfo gniazdo(runtime + QStringLiteral("/bus"));
    if (!gniazdo.exists())
        return false;
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(gniazdo.filePath()));
    return true;
}

QString AdresMagistraliSesji()
{
    return JestMagistralaSesji() ? qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS") : QString();
}

QDBusMessage ZapytajIZaczekaj(QDBusConnection &polaczenie, const QDBusMessage &wywolanie,
                              int limitMs)
{
    QDBusPendingCallWatcher obserwator(polaczenie.asyncCall(wywolanie, limitMs));
    QEventLoop petla;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&obserwator, &QDBusPendingCallWatcher::finished, &petla, &QEventLoop::quit);
    QObject::connect(&limit, &QTimer::timeout, &petla, &QEventLoop::quit);
    limit.start(limitMs);
    if (!obserwator.isFinished())
        petla.exec();
    if (!obserwator.isFinished())
        return wywolanie.createErrorReply(QDBusError::Timeout, QStringLiteral("no answer in time"));
    return obserwator.reply();
}
