#include "Miejsca.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace {

const QString nazwaPliku = QStringLiteral("Vestibulomat.ini");

// A path is usable when it exists and may be written, or when it does not
// exist and the folder that would hold it takes a new file. access() is
// what the kernel will say: it also refuses root on a read-only or
// immutable file system. A file without any write permission counts as
// read-only also for root, as the settings file writer treats it.
//
// For the settings file this gives the three cases: a folder that can be
// written holds the file (replaced atomically); a writable file in a folder
// that cannot be written is rewritten in place; a file that cannot be
// written, or a missing one in a folder that cannot be written, sends the
// settings to the per-user file.
bool moznaPisac(const QString &sciezka)
{
    const QFileInfo info(sciezka);
    if (info.exists()) {
        const auto zapis = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
        return ::access(QFile::encodeName(sciezka).constData(), W_OK) == 0 &&
               (info.permissions() & zapis);
    }
    const QString katalog = info.absolutePath();
    return QFileInfo(katalog).isDir() &&
           ::access(QFile::encodeName(katalog).constData(), W_OK | X_OK) == 0;
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
        // The copy must be the user's to write, whatever the file beside
        // the program allowed.
        if (QFileInfo::exists(obok) && QFile::copy(obok, wlasny))
            QFile::setPermissions(wlasny, QFile::permissions(wlasny) | QFile::ReadOwner |
                                              QFile::WriteOwner | QFile::ReadUser |
                                              QFile::WriteUser);
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
