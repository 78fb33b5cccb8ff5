#include "Magistrala.h"

#include <QFile>
#include <QFileInfo>

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
