#include "FolderWlasny.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <cerrno>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FolderWlasny nieudany(int kod, const QString &sciezka)
{
    FolderWlasny w;
    w.blad = kod;
    w.sciezka = sciezka;
    return w;
}

FolderWlasny obcy(const QString &sciezka, uid_t wlasciciel)
{
    FolderWlasny w = nieudany(EPERM, sciezka);
    w.obcy = true;
    w.wlasciciel = wlasciciel;
    return w;
}

// Checks one of the program's own folders that exists; a missing one is
// ENOENT. A link is followed only when the user made it: one of another
// user's could lead anywhere.
FolderWlasny sprawdzWlasny(const QString &sciezka)
{
    const QByteArray nazwa = QFile::encodeName(sciezka);
    struct stat st;
    if (::lstat(nazwa.constData(), &st) != 0)
        return nieudany(errno, sciezka);
    if (S_ISLNK(st.st_mode)) {
        if (st.st_uid != ::geteuid())
            return obcy(sciezka, st.st_uid);
        if (::stat(nazwa.constData(), &st) != 0)
            return nieudany(errno, sciezka);
    }
    if (!S_ISDIR(st.st_mode))
        return nieudany(ENOTDIR, sciezka);
    if (st.st_uid != ::geteuid())
        return obcy(sciezka, st.st_uid);
    // Others could swap or plant the files in it: from now on only the user.
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) && ::chmod(nazwa.constData(), 0700) != 0)
        return nieudany(errno, sciezka);
    return {};
}

FolderWlasny przejdz(const QString &sciezka, int wlasnych, bool utworz)
{
    const QStringList czesci =
        QDir::cleanPath(QDir(sciezka).absolutePath()).split(u'/', Qt::SkipEmptyParts);
    QString biezaca;
    for (qsizetype i = 0; i < czesci.size(); ++i) {
        biezaca += u'/' + czesci[i];
        const bool wlasny = i >= czesci.size() - wlasnych;
        if (utworz) {
            const QByteArray nazwa = QFile::encodeName(biezaca);
            if (::mkdir(nazwa.constData(), 0700) == 0) {
                // The umask may have taken some of the user's own bits.
                if (::chmod(nazwa.constData(), 0700) != 0)
                    return nieudany(errno, biezaca);
                continue;
            }
            if (errno != EEXIST)
                return nieudany(errno, biezaca);
        }
        if (!wlasny)
            continue;
        const FolderWlasny w = sprawdzWlasny(biezaca);
        if (!utworz && w.blad == ENOENT)
            return {};
        if (!w.Gotowy())
            return w;
    }
    return {};
}

} // namespace

QString FolderWlasny::Komunikat() const
{
    if (Gotowy())
        return {};
    if (obcy)
        return QStringLiteral("Folder „%1” należy do innego użytkownika (%2); program go nie "
                              "używa. Poproś administratora o usunięcie tego folderu")
            .arg(sciezka, NazwaUzytkownika(wlasciciel));
    return QStringLiteral("Nie można utworzyć folderu „%1” (%2)")
        .arg(sciezka, OpisBleduSystemu(blad));
}

QString FolderWlasny::Szczegoly() const
{
    if (Gotowy())
        return {};
    if (obcy)
        return QStringLiteral("Folder: %1\nOwner: uid %2, not uid %3")
            .arg(sciezka)
            .arg(wlasciciel)
            .arg(::geteuid());
    return QStringLiteral("Folder: %1\n%2").arg(sciezka, SzczegolyBleduSystemu(blad));
}

FolderWlasny UtworzFolderWlasny(const QString &sciezka, int wlasnych)
{
    return przejdz(sciezka, wlasnych, true);
}

FolderWlasny SprawdzFolderWlasny(const QString &sciezka, int wlasnych)
{
    return przejdz(sciezka, wlasnych, false);
}

EFolderWlasny::EFolderWlasny(const FolderWlasny &wynik)
    : BladProgramu(wynik.Komunikat(), wynik.Szczegoly())
    , m_wynik(wynik)
{}

QString NazwaUzytkownika(uid_t uid)
{
    if (const passwd *p = ::getpwuid(uid); p && p->pw_name && *p->pw_name)
        return QString::fromLocal8Bit(p->pw_name);
    return QStringLiteral("UID %1").arg(uid);
}
