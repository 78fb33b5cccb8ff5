#include "Miejsca.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

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

bool KopiaZainstalowana(const QString &katalogProgramu)
{
    const QDir bin(katalogProgramu);
    return bin.dirName() == QLatin1String("bin") &&
           QFileInfo(bin.absoluteFilePath(QStringLiteral("../share/vestibulomat"))).isDir();
}

QString DomyslnyKatalogZapisu(const QString &katalogProgramu)
{
    if (!KopiaZainstalowana(katalogProgramu) && moznaPisac(katalogProgramu))
        return katalogProgramu;
    // On a desktop without the usual folders (a minimal installation) the
    // documents folder may not exist; it is not made for the user.
    const QString dokumenty = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString katalog =
        !dokumenty.isEmpty() && QFileInfo(dokumenty).isDir() ? dokumenty : QDir::homePath();
    return katalog.endsWith(u'/') ? katalog : katalog + u'/';
}

int BladKataloguZapisu(const QString &katalog)
{
    const QByteArray sciezka = QFile::encodeName(katalog);
    struct stat st
    {
    };
    if (::stat(sciezka.constData(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    // A new file needs write and search permission on the folder; access()
    // also reports a read-only file system, also for root.
    if (::access(sciezka.constData(), W_OK | X_OK) != 0)
        return errno;
    return 0;
}
