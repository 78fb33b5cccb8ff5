#include "Miejsca.h"

#include "BezpiecznyZapis.h"
#include "FolderWlasny.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <grp.h>
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

// Whether something of another user's is under the name (a link counts as
// its own owner's).
bool innegoUzytkownika(const QString &sciezka)
{
    struct stat st;
    return ::lstat(QFile::encodeName(sciezka).constData(), &st) == 0 && st.st_uid != ::geteuid();
}

// A portable copy keeps its files beside itself where it may; an installed
// copy never writes into its installation, even when run by root. A file or
// folder there that another user owns is read but never written: the
// per-user place is used instead, as for a folder that cannot be written.
bool obokProgramuWolno(const QString &katalogProgramu, const QString &sciezka)
{
    return !KopiaZainstalowana(katalogProgramu) && moznaPisac(sciezka) &&
           !innegoUzytkownika(sciezka);
}

QString uzytkownika()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Vestibulomat/") + nazwaPliku;
}

QString nazwaGrupy(gid_t gid)
{
    if (const group *g = ::getgrgid(gid); g && g->gr_name && *g->gr_name)
        return QString::fromLocal8Bit(g->gr_name);
    return QStringLiteral("GID %1").arg(gid);
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
    // A file another user controls was not read; it is not written into
    // either, but replaced by a fresh one of the user's own.
    if (!PowodNieufnosci(wlasny).isEmpty())
        BezpiecznyZapis::Usun(wlasny);
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

QString PowodNieufnosci(const QString &plikUstawien)
{
    const QString wlasny = uzytkownika();
    if (QFileInfo(plikUstawien).absoluteFilePath() != QFileInfo(wlasny).absoluteFilePath())
        return {};
    // The folder's own check comes first: one of another user's is not
    // read at all (PlikUstawienDoOdczytu).
    const QByteArray nazwa = QFile::encodeName(wlasny);
    struct stat st;
    if (::lstat(nazwa.constData(), &st) != 0)
        return {};
    const uid_t ja = ::geteuid();
    // A link the user made (a dotfile kept elsewhere) is judged by the file
    // it leads to; another user's link could lead anywhere.
    if (S_ISLNK(st.st_mode) && st.st_uid == ja && ::stat(nazwa.constData(), &st) != 0)
        return {};
    QString kto;
    QString szczegol;
    // Root may change every file anyway; a file of root's is trusted as
    // OpenSSH trusts it.
    if (st.st_uid != ja && st.st_uid != 0) {
        kto = NazwaUzytkownika(st.st_uid);
    } else if (S_ISREG(st.st_mode) && (st.st_mode & (S_IWGRP | S_IWOTH))) {
        // The user's own file loses the others' write bits, as a write
        // would leave it; one that cannot be narrowed is not used.
        if (st.st_uid == ja &&
            ::chmod(nazwa.constData(), st.st_mode & 07777 & ~mode_t(S_IWGRP | S_IWOTH)) == 0)
            return {};
        kto = st.st_mode & S_IWOTH ? QStringLiteral("każdy użytkownik")
                                   : QStringLiteral("grupa %1").arg(nazwaGrupy(st.st_gid));
    } else {
        return {};
    }
    return QStringLiteral("Zły właściciel albo uprawnienia pliku ustawień „%1”: może go zmieniać "
                          "inny użytkownik (%2). Program używa ustawień domyślnych")
        .arg(plikUstawien, kto);
}

QString SzczegolyNieufnosci(const QString &plikUstawien)
{
    struct stat st;
    if (::stat(QFile::encodeName(plikUstawien).constData(), &st) != 0)
        return {};
    return QStringLiteral("Plik: %1\nOwner: uid %2, gid %3, mode 0%4; user: uid %5")
        .arg(plikUstawien)
        .arg(st.st_uid)
        .arg(st.st_gid)
        .arg(st.st_mode & 07777, 0, 8)
        .arg(::geteuid());
}

QList<FolderWlasny> ObceFolderyProgramu(const QString &katalogProgramu)
{
    struct Folder
    {
        QString sciezka;
        int wlasnych;
    };
    QList<Folder> foldery;
    if (!obokProgramuWolno(katalogProgramu, obokProgramu(katalogProgramu)))
        foldery.append({QFileInfo(uzytkownika()).absolutePath(), 1});
    const QString temp = KatalogTymczasowy(katalogProgramu);
    foldery.append({temp, temp == katalogProgramu + QStringLiteral("temp") ? 1 : 2});
    foldery.append({KatalogStanu(), 1});
    QList<FolderWlasny> obce;
    for (const Folder &f : std::as_const(foldery))
        if (const FolderWlasny w = SprawdzFolderWlasny(f.sciezka, f.wlasnych); w.obcy)
            obce.append(w);
    return obce;
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
