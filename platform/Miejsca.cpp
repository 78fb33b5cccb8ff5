#include "Miejsca.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString nazwaPliku = QStringLiteral("Vestibulomat.ini");

// A path is usable when it exists and can be written, or when it does not
// exist and the directory that would hold it can be written. A file without
// any write permission counts as read-only also for root, as the settings
// file writer treats it.
bool moznaPisac(const QString &sciezka)
{
    const QFileInfo info(sciezka);
    if (info.exists()) {
        const auto zapis = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
        return info.isWritable() && (info.permissions() & zapis);
    }
    const QFileInfo katalog(info.absolutePath());
    return katalog.isDir() && katalog.isWritable();
}

QString obokProgramu(const QString &katalogProgramu)
{
    return katalogProgramu + nazwaPliku;
}

QString uzytkownika()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Vestibulomat/") + nazwaPliku;
}

} // namespace

QString PlikUstawienDoOdczytu(const QString &katalogProgramu)
{
    const QString obok = obokProgramu(katalogProgramu);
    if (moznaPisac(obok))
        return obok;
    const QString wlasny = uzytkownika();
    return QFileInfo::exists(wlasny) ? wlasny : obok;
}

QString PlikUstawienDoZapisu(const QString &katalogProgramu)
{
    const QString obok = obokProgramu(katalogProgramu);
    if (moznaPisac(obok))
        return obok;
    const QString wlasny = uzytkownika();
    if (!QFileInfo::exists(wlasny)) {
        QDir().mkpath(QFileInfo(wlasny).absolutePath());
        if (QFileInfo::exists(obok))
            QFile::copy(obok, wlasny);
    }
    return wlasny;
}

QString KatalogTymczasowy(const QString &katalogProgramu)
{
    const QString obok = katalogProgramu + QStringLiteral("temp");
    if (moznaPisac(obok))
        return obok;
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Vestibulomat/temp");
}

QString KatalogStanu()
{
    // Qt 6.4 knows no state location; the XDG rule: an absolute
    // XDG_STATE_HOME, else ~/.local/state.
    QString baza = qEnvironmentVariable("XDG_STATE_HOME");
    if (baza.isEmpty() || QDir::isRelativePath(baza))
        baza = QDir::homePath() + QStringLiteral("/.local/state");
    return baza + QStringLiteral("/Vestibulomat");
}
