#include "Miejsca.h"

#include "BezpiecznyZapis.h"
#include "FolderWlasny.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>
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

// A portable copy keeps its files beside itself where it may; an installed
// copy never writes into its installation, even when run by root.
bool obokProgramuWolno(const QString &katalogProgramu, const QString &sciezka)
{
    return !KopiaZainstalowana(katalogProgramu) && moznaPisac(sciezka);
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
    if (obokProgramuWolno(katalogProgramu, obok))
        return obok;
    const QString wlasny = uzytkownika();
    // A folder of another user's is not used: its file could send the
    // reports anywhere.
    if (SprawdzFolderWlasny(QFileInfo(wlasny).absolutePath()).obcy)
        return obok;
    return QFileInfo::exists(wlasny) ? wlasny : obok;
}

QString PlikUstawienDoZapisu(const QString &katalogProgramu)
{
    const QString obok = obokProgramu(katalogProgramu);
    if (obokProgramuWolno(katalogProgramu, obok))
        return obok;
    const QString wlasny = uzytkownika();
    // A folder that cannot be made is told by the write that follows; one
    // of another user's is never written into.
    if (const FolderWlasny folder = UtworzFolderWlasny(QFileInfo(wlasny).absolutePath());
        folder.obcy)
        throw EFolderWlasny(folder);
    const QByteArray nazwa = QFile::encodeName(wlasny);
    struct stat st;
    if (::lstat(nazwa.constData(), &st) != 0) {
        // The copy is the user's alone, whatever the file beside the program
        // allowed: others could change the mail address in it. A file that
        // cannot be copied leaves the settings to be written anew.
        QByteArray dane;
        try {
            if (BezpiecznyZapis::CzytajZwyklyPlik(obok, dane) ==
                BezpiecznyZapis::Zastano::ZwyklyPlik)
                BezpiecznyZapis::Zapisz(wlasny, dane,
                                        {BezpiecznyZapis::Nazwa::Wygenerowana, 0600,
                                         /*tylkoNowy=*/true});
        } catch (const EZapisPliku &e) {
            qWarning("%s", e.what());
        }
    } else if (S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
               (st.st_mode & (S_IWGRP | S_IWOTH))) {
        // Written back without the others' write bits.
        ::chmod(nazwa.constData(), st.st_mode & 07777 & ~mode_t(S_IWGRP | S_IWOTH));
    }
    return wlasny;
}

QString KatalogTymczasowy(const QString &katalogProgramu)
{
    const QString obok = katalogProgramu + QStringLiteral("temp");
    if (obokProgramuWolno(katalogProgramu, obok))
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

QString KatalogStanu()
{
    // Qt 6.4 knows no state location; the XDG rule: an absolute
    // XDG_STATE_HOME, else ~/.local/state.
    QString baza = qEnvironmentVariable("XDG_STATE_HOME");
    if (baza.isEmpty() || QDir::isRelativePath(baza))
        baza = QDir::homePath() + QStringLiteral("/.local/state");
    return baza + QStringLiteral("/Vestibulomat");
}
