#include "BezpiecznyZapis.h"

#include "Bledy.h"
#include "Czytanie.h"
#include "FolderWlasny.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace BezpiecznyZapis {

namespace {

// Closes the descriptor unless it was handed on.
struct Deskryptor
{
    int fd = -1;
    ~Deskryptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int Oddaj()
    {
        const int f = fd;
        fd = -1;
        return f;
    }
};

std::mutex &mutexObserwatora()
{
    static std::mutex m;
    return m;
}

Obserwator &obserwator()
{
    static Obserwator o;
    return o;
}

void Zglos(Zdarzenie zdarzenie, const QString &sciezka)
{
    std::lock_guard l(mutexObserwatora());
    if (obserwator())
        obserwator()(zdarzenie, sciezka);
}

QByteArray Kod(const QString &sciezka)
{
    return QFile::encodeName(sciezka);
}

QString Katalog(const QString &sciezka)
{
    const qsizetype ukosnik = sciezka.lastIndexOf(u'/');
    if (ukosnik < 0)
        return QStringLiteral(".");
    return ukosnik == 0 ? QStringLiteral("/") : sciezka.left(ukosnik);
}

QString NazwaWKatalogu(const QString &sciezka)
{
    return sciezka.mid(sciezka.lastIndexOf(u'/') + 1);
}

[[noreturn]] void Rzuc(Krok krok, const QString &sciezka, int kod, const QString &powod = {})
{
    throw EZapisPliku(krok, sciezka, kod, powod);
}

QString PowodDowiazania()
{
    return QStringLiteral("pod tą nazwą jest dowiązanie");
}

QString PowodNieZwyklego(const QString &sciezka)
{
    return QStringLiteral("„%1” nie jest zwykłym plikiem").arg(NazwaWKatalogu(sciezka));
}

// Errors after which a file that may itself be written is rewritten in
// place: the folder refuses the new sibling or the renaming.
bool FolderOdmawia(int kod)
{
    return kod == EACCES || kod == EPERM || kod == EROFS || kod == EXDEV || kod == EBUSY;
}

// Writes all of dane at the descriptor's position. A write() that takes
// nothing of a non-empty buffer makes no progress: taken as a full disk,
// not retried for ever. False with kod set.
bool ZapiszWszystko(int fd, QByteArrayView dane, int &kod)
{
    const char *p = dane.data();
    qsizetype zostalo = dane.size();
    while (zostalo > 0) {
        const ssize_t n = ::write(fd, p, size_t(zostalo));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            kod = n < 0 ? errno : ENOSPC;
            return false;
        }
        p += n;
        zostalo -= n;
    }
    return true;
}

// plik: a descriptor of the file just named in the folder, or -1.
void SynchronizujKatalog(const QString &katalog, int plik = -1)
{
    Deskryptor d;
    d.fd = ::open(Kod(katalog).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A folder that may be written but not read (a 0300 drop box) cannot be
    // opened for its sync: the file's own descriptor syncs the whole file
    // system instead, which takes the new name with it.
    if (d.fd < 0 && errno == EACCES && plik >= 0) {
        if (::syncfs(plik) != 0)
            Rzuc(Krok::SynchronizacjaKatalogu, katalog, errno);
        Zglos(Zdarzenie::SystemPlikowZsynchronizowany, katalog);
        return;
    }
    if (d.fd < 0)
        Rzuc(Krok::SynchronizacjaKatalogu, katalog, errno);
    // Some file systems (a few network and FUSE ones) cannot sync a folder;
    // the renaming is then as durable as they make it.
    if (::fsync(d.fd) != 0 && errno != EINVAL && errno != EOPNOTSUPP)
        Rzuc(Krok::SynchronizacjaKatalogu, katalog, errno);
    Zglos(Zdarzenie::KatalogZsynchronizowany, katalog);
}

// A link in a sticky folder that everybody may write, owned by neither the
// user nor the folder's owner, may have been planted there; the kernel's
// protected_symlinks rule, applied whatever that setting says.
void SprawdzDowiazanieWeWspolnym(const QString &dowiazanie, const struct stat &st)
{
    struct stat folder;
    if (::stat(Kod(Katalog(dowiazanie)).constData(), &folder) != 0)
        Rzuc(Krok::Sprawdzenie, Katalog(dowiazanie), errno);
    const bool wspolny = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    if (wspolny && st.st_uid != ::geteuid() && st.st_uid != folder.st_uid)
        Rzuc(
            Krok::Sprawdzenie, dowiazanie, EACCES,
            QStringLiteral("pod tą nazwą jest dowiązanie innego użytkownika we wspólnym folderze"));
}

// The name a picked name stands for: links followed one by one, each
// checked as above. A dangling link gives the name it points to.
QString Rozwiaz(const QString &sciezka)
{
    QString cel = sciezka;
    for (int krok = 0; krok < 40; ++krok) {
        struct stat st;
        if (::lstat(Kod(cel).constData(), &st) != 0) {
            if (errno == ENOENT)
                return cel;
            Rzuc(Krok::Sprawdzenie, cel, errno);
        }
        if (!S_ISLNK(st.st_mode))
            return cel;
        SprawdzDowiazanieWeWspolnym(cel, st);
        QByteArray bufor(4096, Qt::Uninitialized);
        const ssize_t n = ::readlink(Kod(cel).constData(), bufor.data(), size_t(bufor.size()));
        if (n < 0)
            Rzuc(Krok::Sprawdzenie, cel, errno);
        const QString wskazany = QFile::decodeName(bufor.left(n));
        cel = wskazany.startsWith(u'/') ? wskazany : Katalog(cel) + u'/' + wskazany;
    }
    Rzuc(Krok::Sprawdzenie, sciezka, ELOOP);
}

// A FIFO or device the user picked: written where it is, opened without
// waiting for a reader, then blocking again so that all of it goes out.
void ZapiszSpecjalny(const QString &sciezka, QByteArrayView dane, const struct stat &st)
{
    Deskryptor d;
    d.fd =
        ::open(Kod(sciezka).constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (d.fd < 0) {
        const int kod = errno;
        if (kod == ENXIO && S_ISFIFO(st.st_mode))
            Rzuc(Krok::Utworzenie, sciezka, kod,
                 QStringLiteral("nikt nie odbiera danych z %1").arg(sciezka));
        if (kod == ENXIO)
            Rzuc(Krok::Utworzenie, sciezka, kod, PowodNieZwyklego(sciezka));
        Rzuc(Krok::Utworzenie, sciezka, kod);
    }
    const int flagi = ::fcntl(d.fd, F_GETFL);
    if (flagi < 0 || ::fcntl(d.fd, F_SETFL, flagi & ~O_NONBLOCK) != 0)
        Rzuc(Krok::Utworzenie, sciezka, errno);
    int kod = 0;
    if (!ZapiszWszystko(d.fd, dane, kod))
        Rzuc(Krok::Zapis, sciezka, kod);
    if (::close(d.Oddaj()) != 0)
        Rzuc(Krok::Zamkniecie, sciezka, errno);
}

// Rewrites an existing regular file where it is. Returns the descriptor
// when zostawOtwarty, else -1.
int ZapiszWMiejscu(const QString &sciezka, QByteArrayView dane, bool zostawOtwarty)
{
    Deskryptor d;
    // No O_TRUNC: the old content stays until the room is reserved.
    d.fd =
        ::open(Kod(sciezka).constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (d.fd < 0)
        Rzuc(Krok::Utworzenie, sciezka, errno, errno == ELOOP ? PowodDowiazania() : QString());
    struct stat st;
    if (::fstat(d.fd, &st) != 0)
        Rzuc(Krok::Sprawdzenie, sciezka, errno);
    // Something else took the name since it was looked at.
    if (!S_ISREG(st.st_mode))
        Rzuc(Krok::Sprawdzenie, sciezka, EEXIST, PowodNieZwyklego(sciezka));
    const int flagi = ::fcntl(d.fd, F_GETFL);
    if (flagi < 0 || ::fcntl(d.fd, F_SETFL, flagi & ~O_NONBLOCK) != 0)
        Rzuc(Krok::Utworzenie, sciezka, errno);
    // Without this a full disk would cut the old file short. A file system
    // that cannot reserve room (EOPNOTSUPP) is written without it.
    if (!dane.isEmpty() && ::fallocate(d.fd, 0, 0, off_t(dane.size())) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS)
        Rzuc(Krok::Rezerwacja, sciezka, errno);
    int kod = 0;
    if (!ZapiszWszystko(d.fd, dane, kod))
        Rzuc(Krok::Zapis, sciezka, kod);
    if (::ftruncate(d.fd, off_t(dane.size())) != 0)
        Rzuc(Krok::Skrocenie, sciezka, errno);
    if (::fsync(d.fd) != 0)
        Rzuc(Krok::Synchronizacja, sciezka, errno);
    Zglos(Zdarzenie::PlikZsynchronizowany, sciezka);
    if (zostawOtwarty)
        return d.Oddaj();
    if (::close(d.Oddaj()) != 0)
        Rzuc(Krok::Zamkniecie, sciezka, errno);
    return -1;
}

// The hidden sibling a file is written to before it takes its name:
// ".NAME.RANDOM.tmp", RANDOM a 32-bit number in base 36 (one to seven
// letters and digits). Sync clients are told to leave out ".*.tmp"; the
// clean-up below knows the program's own by this shape.
QByteArray NazwaTymczasowa(const QByteArray &poczatek)
{
    return poczatek + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
}

bool NazwaTymczasowaProgramu(QByteArrayView nazwa)
{
    const QByteArrayView koncowka(".tmp");
    if (!nazwa.startsWith('.') || !nazwa.endsWith(koncowka))
        return false;
    const QByteArrayView bez = nazwa.chopped(koncowka.size());
    const qsizetype kropka = bez.lastIndexOf('.');
    const QByteArrayView losowa = bez.sliced(kropka + 1);
    // Something of a name between the leading dot and the random part.
    if (kropka < 2 || losowa.isEmpty() || losowa.size() > 7)
        return false;
    for (const char c : losowa)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z')))
            return false;
    return true;
}

// What an interrupted write left in the folder (a lost connection to a
// share, a power cut): the program's hidden siblings that are the user's
// own regular files, older than an hour, so that a copy still writing one
// never loses it. Nothing else is touched, no link is followed, and a
// folder that cannot be read (a drop box) is left as it is. It never fails
// a save.
void UsunPozostalosci(const QString &katalog)
{
    const int fd = ::open(Kod(katalog).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    DIR *folder = ::fdopendir(fd);
    if (!folder) {
        ::close(fd);
        return;
    }
    const time_t granica = ::time(nullptr) - 3600;
    while (const dirent *wpis = ::readdir(folder)) {
        if (!NazwaTymczasowaProgramu(QByteArrayView(wpis->d_name)))
            continue;
        struct stat st;
        if (::fstatat(fd, wpis->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == ::geteuid() && st.st_mtime < granica)
            ::unlinkat(fd, wpis->d_name, 0);
    }
    ::closedir(folder);
}

// Unsupported rather than forbidden: what link() gives on a file system
// that has no hard links (EPERM on FUSE and an SFTP server without them,
// EOPNOTSUPP on SMB).
bool BrakDowiazan(int kod)
{
    return kod == EPERM || kod == EOPNOTSUPP || kod == ENOSYS || kod == EXDEV || kod == EINVAL;
}

QString PowodBrakuOperacji()
{
    return QStringLiteral(
        "system plików folderu nie obsługuje dowiązań twardych ani zmiany nazwy bez zastępowania");
}

// Moves tymczasowa to cel without replacing anything there. 0, or the
// errno; *wywolania (when given) then says which calls failed.
// brakOperacji is set when the file system has neither way: renameat2 said
// it has no such flag (EINVAL, ENOSYS), and link() refused the program's
// own fresh file, which no permission rule guards (the kernel's
// protected_hardlinks rule only guards the files of others), as unsupported.
// With dowiazana given, a hard link leaves the old name for the caller to
// remove (and sets it).
int NadajWolnaNazwe(const QByteArray &tymczasowa, const QByteArray &cel,
                    bool *brakOperacji = nullptr, QString *wywolania = nullptr,
                    bool *dowiazana = nullptr)
{
    if (::renameat2(AT_FDCWD, tymczasowa.constData(), AT_FDCWD, cel.constData(),
                    RENAME_NOREPLACE) == 0)
        return 0;
    const int kodZmiany = errno;
    if (kodZmiany != EINVAL && kodZmiany != ENOSYS)
        return kodZmiany;
    // A file system without the flag (NFS, FUSE): a hard link fails on an
    // existing name as well.
    if (::link(tymczasowa.constData(), cel.constData()) != 0) {
        const int kod = errno;
        if (brakOperacji)
            *brakOperacji = BrakDowiazan(kod);
        if (wywolania)
            *wywolania = QStringLiteral("renameat2 %1: %2; link %1: %3")
                             .arg(QFile::decodeName(cel), SzczegolyBleduSystemu(kodZmiany),
                                  SzczegolyBleduSystemu(kod));
        return kod;
    }
    if (dowiazana)
        *dowiazana = true;
    else
        ::unlink(tymczasowa.constData());
    return 0;
}

// The create-only save into a folder that has neither way of naming a file
// without replacing (NadajWolnaNazwe): the name itself is created with
// O_EXCL, so nothing there is ever replaced, and written whole. A reader
// may see part of it until it is written; a write that fails removes the
// file it created, which was nobody else's.
void ZapiszPodNowaNazwa(const QString &sciezka, QByteArrayView dane, const Opcje &opcje,
                        bool synchronizuj, int *otwarty)
{
    const QByteArray cel = Kod(sciezka);
    Deskryptor d;
    d.fd = ::open(cel.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  opcje.trybNowego);
    if (d.fd < 0)
        Rzuc(Krok::Utworzenie, sciezka, errno);
    Deskryptor doSynchronizacji;
    // Closed first, so that FUSE removes the name rather than hiding it.
    const auto porzuc = [&](Krok krok, int blad) {
        if (d.fd >= 0)
            ::close(d.Oddaj());
        if (doSynchronizacji.fd >= 0)
            ::close(doSynchronizacji.Oddaj());
        ::unlink(cel.constData());
        Rzuc(krok, sciezka, blad);
    };
    int kod = 0;
    if (!ZapiszWszystko(d.fd, dane, kod))
        porzuc(Krok::Zapis, kod);
    if (synchronizuj && ::fsync(d.fd) != 0)
        porzuc(Krok::Synchronizacja, errno);
    if (synchronizuj)
        doSynchronizacji.fd = ::dup(d.fd);
    // A network file system reports a write it could not deliver here.
    if (!otwarty && ::close(d.Oddaj()) != 0)
        porzuc(Krok::Zamkniecie, errno);
    if (synchronizuj) {
        Zglos(Zdarzenie::PlikZsynchronizowany, sciezka);
        SynchronizujKatalog(Katalog(sciezka), doSynchronizacji.fd);
    }
    if (otwarty)
        *otwarty = d.Oddaj();
}

enum class Wynik { Zapisany, FolderOdmowil };

// The atomic route. Returns FolderOdmowil with kod when the folder refuses
// the new file or the renaming; anything else throws.
Wynik ZapiszObok(const QString &sciezka, QByteArrayView dane, const mode_t *zachowanyTryb,
                 const Opcje &opcje, int &kod, int *otwarty)
{
    const QString katalog = Katalog(sciezka);
    UsunPozostalosci(katalog);
    // Hidden, and short enough beside a name of the longest length.
    const QByteArray poczatek = Kod(katalog) + "/." + Kod(NazwaWKatalogu(sciezka)).left(200) + '.';
    QByteArray tymczasowa;
    Deskryptor d;
    for (int proba = 0; proba < 16 && d.fd < 0; ++proba) {
        tymczasowa = NazwaTymczasowa(poczatek);
        d.fd = ::open(tymczasowa.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      opcje.trybNowego);
        if (d.fd < 0 && errno != EEXIST) {
            kod = errno;
            if (FolderOdmawia(kod))
                return Wynik::FolderOdmowil;
            Rzuc(Krok::Utworzenie, sciezka, kod);
        }
    }
    if (d.fd < 0)
        Rzuc(Krok::Utworzenie, sciezka, EEXIST);
    // Kept for the folder's sync, should the folder refuse to be opened.
    Deskryptor doSynchronizacji;
    // A name removed while a descriptor holds its file is, on FUSE, only
    // renamed to ".fuse_hiddenNNN" until the file is closed, and that stays
    // on a share whose connection goes meanwhile: the sibling is removed
    // with no descriptor of ours open on it, unless its caller keeps one.
    const auto usunTymczasowa = [&] {
        if (doSynchronizacji.fd >= 0)
            ::close(doSynchronizacji.Oddaj());
        ::unlink(tymczasowa.constData());
    };
    // The details name the sibling, where the call failed.
    const auto porzuc = [&](Krok krok, int blad) {
        if (d.fd >= 0)
            ::close(d.Oddaj());
        usunTymczasowa();
        Rzuc(krok, QFile::decodeName(tymczasowa), blad);
    };
    if (zachowanyTryb && ::fchmod(d.fd, *zachowanyTryb) != 0)
        porzuc(Krok::Utworzenie, errno);
    if (!ZapiszWszystko(d.fd, dane, kod))
        porzuc(Krok::Zapis, kod);
    const bool synchronizuj = zachowanyTryb || !opcje.pozniejszaSynchronizacjaNowego;
    if (synchronizuj && ::fsync(d.fd) != 0)
        porzuc(Krok::Synchronizacja, errno);
    if (synchronizuj)
        doSynchronizacji.fd = ::dup(d.fd);
    if (!otwarty && ::close(d.Oddaj()) != 0)
        porzuc(Krok::Zamkniecie, errno);

    const QByteArray cel = Kod(sciezka);
    int blad = 0;
    bool brakOperacji = false;
    bool dowiazana = false; // the sibling's name is a second link to the file now
    if (opcje.tylkoNowy)
        blad = NadajWolnaNazwe(tymczasowa, cel, &brakOperacji, nullptr, &dowiazana);
    else if (::rename(tymczasowa.constData(), cel.constData()) != 0)
        blad = errno;
    if (brakOperacji) {
        if (otwarty)
            ::close(d.Oddaj());
        usunTymczasowa();
        ZapiszPodNowaNazwa(sciezka, dane, opcje, synchronizuj, otwarty);
        return Wynik::Zapisany;
    }
    if (blad != 0) {
        usunTymczasowa();
        kod = blad;
        if (!opcje.tylkoNowy && FolderOdmawia(kod))
            return Wynik::FolderOdmowil;
        Rzuc(Krok::ZmianaNazwy, sciezka, kod);
    }
    if (synchronizuj) {
        Zglos(Zdarzenie::PlikZsynchronizowany, sciezka);
        try {
            SynchronizujKatalog(katalog, doSynchronizacji.fd);
        } catch (const EZapisPliku &) {
            if (dowiazana)
                usunTymczasowa();
            throw;
        }
    }
    if (dowiazana)
        usunTymczasowa();
    if (otwarty)
        *otwarty = d.Oddaj();
    return Wynik::Zapisany;
}

int ZapiszWszedzie(const QString &sciezka, QByteArrayView dane, const Opcje &opcje,
                   bool zostawOtwarty)
{
    const QString cel = opcje.nazwa == Nazwa::Wybrana ? Rozwiaz(sciezka) : sciezka;
    struct stat st;
    bool istnieje = true;
    if (::lstat(Kod(cel).constData(), &st) != 0) {
        if (errno != ENOENT)
            Rzuc(Krok::Sprawdzenie, cel, errno);
        istnieje = false;
    }
    if (istnieje) {
        if (opcje.tylkoNowy)
            Rzuc(Krok::Sprawdzenie, cel, EEXIST);
        if (S_ISLNK(st.st_mode))
            Rzuc(Krok::Sprawdzenie, cel, ELOOP, PowodDowiazania());
        if (S_ISDIR(st.st_mode))
            Rzuc(Krok::Sprawdzenie, cel, EISDIR);
        if (!S_ISREG(st.st_mode)) {
            if (opcje.nazwa == Nazwa::Wygenerowana)
                Rzuc(Krok::Sprawdzenie, cel, EEXIST, PowodNieZwyklego(cel));
            if (zostawOtwarty)
                Rzuc(Krok::Sprawdzenie, cel, EINVAL, PowodNieZwyklego(cel));
            ZapiszSpecjalny(cel, dane, st);
            return -1;
        }
        // Another user's file stays theirs: not replaced by a rename (root's
        // would succeed), not rewritten in place (where a sticky folder's
        // refusal of the rename would lead).
        if (st.st_uid != ::geteuid())
            throw EPlikObcy(cel, st.st_uid);
        // A file without any write permission is read-only for everybody,
        // root included: renaming a new file over it must not bypass that.
        if (!(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)))
            Rzuc(Krok::Sprawdzenie, cel, EACCES, QStringLiteral("plik jest tylko do odczytu"));
        if (::access(Kod(cel).constData(), W_OK) != 0)
            Rzuc(Krok::Sprawdzenie, cel, errno);
    }
    const mode_t tryb = st.st_mode & 07777;
    int kod = 0;
    int otwarty = -1;
    if (ZapiszObok(cel, dane, istnieje ? &tryb : nullptr, opcje, kod,
                   zostawOtwarty ? &otwarty : nullptr) == Wynik::Zapisany)
        return otwarty;
    if (!istnieje)
        Rzuc(Krok::Utworzenie, cel, kod);
    return ZapiszWMiejscu(cel, dane, zostawOtwarty);
}

} // namespace

QString NazwaKroku(Krok krok)
{
    switch (krok) {
    case Krok::Sprawdzenie:
        return QStringLiteral("lstat");
    case Krok::Utworzenie:
        return QStringLiteral("open");
    case Krok::Rezerwacja:
        return QStringLiteral("fallocate");
    case Krok::Zapis:
        return QStringLiteral("write");
    case Krok::Skrocenie:
        return QStringLiteral("ftruncate");
    case Krok::Synchronizacja:
    case Krok::SynchronizacjaKatalogu:
        return QStringLiteral("fsync");
    case Krok::Zamkniecie:
        return QStringLiteral("close");
    case Krok::ZmianaNazwy:
        return QStringLiteral("rename");
    case Krok::Odczyt:
        return QStringLiteral("read");
    }
    return QString();
}

void Zapisz(const QString &sciezka, QByteArrayView dane, const Opcje &opcje)
{
    try {
        ZapiszWszedzie(sciezka, dane, opcje, false);
    } catch (EZapisPliku &e) {
        e.UstawPlik(sciezka);
        throw;
    }
}

int ZapiszIOtworz(const QString &sciezka, QByteArrayView dane, const Opcje &opcje)
{
    try {
        return ZapiszWszedzie(sciezka, dane, opcje, true);
    } catch (EZapisPliku &e) {
        e.UstawPlik(sciezka);
        throw;
    }
}

void SynchronizujFolder(const QString &sciezka, int plik)
{
    SynchronizujKatalog(Katalog(sciezka), plik);
}

Zastano CzytajZwyklyPlik(const QString &sciezka, QByteArray &dane, qint64 rozmiar)
{
    struct stat st;
    if (::lstat(Kod(sciezka).constData(), &st) != 0) {
        if (errno == ENOENT)
            return Zastano::Brak;
        Rzuc(Krok::Sprawdzenie, sciezka, errno);
    }
    if (!S_ISREG(st.st_mode))
        return Zastano::Inny;
    // Only the user's own file of the same size can be the same report; the
    // look costs one lstat whatever was planted there.
    if (rozmiar >= 0 && (st.st_size != rozmiar || st.st_uid != ::geteuid()))
        return Zastano::Rozny;
    // The reader opens without waiting and checks the descriptor again, so
    // a FIFO or a link swapped in after the look is not read either.
    using Czytanie::BladCzytania;
    try {
        std::optional<Czytanie::Plik> p =
            Czytanie::Czytaj(sciezka, rozmiar >= 0 ? rozmiar : Czytanie::NajwiekszyRaport,
                             Czytanie::Dowiazanie::Odrzuc);
        if (!p)
            return Zastano::Brak;
        dane = std::move(p->dane);
        return Zastano::ZwyklyPlik;
    } catch (const BladCzytania &e) {
        switch (e.PrzyczynaBledu()) {
        case BladCzytania::Przyczyna::NieZwyklyPlik:
        case BladCzytania::Przyczyna::Dowiazanie:
            return Zastano::Inny;
        case BladCzytania::Przyczyna::ZaDuzy:
            if (rozmiar >= 0) // it grew meanwhile
                return Zastano::Rozny;
            break;
        case BladCzytania::Przyczyna::System:
            break;
        }
        throw EZapisPliku(Krok::Odczyt, sciezka, e.Kod(), QString(),
                          e.Szczegoly().section(u'\n', -1));
    }
}

void NadajNazwe(const QString &stara, const QString &nowa)
{
    bool brakOperacji = false;
    QString wywolania;
    if (const int kod = NadajWolnaNazwe(Kod(stara), Kod(nowa), &brakOperacji, &wywolania)) {
        // Not the user's permission, which link()'s EPERM would suggest.
        if (brakOperacji)
            throw EZapisPliku(Krok::ZmianaNazwy, nowa, EOPNOTSUPP, PowodBrakuOperacji(),
                              wywolania);
        Rzuc(Krok::ZmianaNazwy, nowa, kod);
    }
    SynchronizujKatalog(Katalog(nowa));
    if (Katalog(stara) != Katalog(nowa))
        SynchronizujKatalog(Katalog(stara));
}

bool Usun(const QString &sciezka)
{
    if (::unlink(Kod(sciezka).constData()) != 0)
        return false;
    Zglos(Zdarzenie::Usuniety, sciezka);
    return true;
}

void UstawObserwatora(Obserwator nowy)
{
    std::lock_guard l(mutexObserwatora());
    obserwator() = std::move(nowy);
}

} // namespace BezpiecznyZapis

namespace {

using BezpiecznyZapis::Krok;

// Looking at the name, opening, renaming and syncing the folder make the
// file exist under its name; the other steps write what is in it.
bool KrokUtworzenia(Krok krok)
{
    return krok == Krok::Sprawdzenie || krok == Krok::Utworzenie || krok == Krok::ZmianaNazwy ||
           krok == Krok::SynchronizacjaKatalogu;
}

// What the user can do about it, by the system's reason.
QString Wskazowka(bool utworzenie, int kod)
{
    switch (kod) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return QStringLiteral("Zwolnij miejsce na dysku lub wybierz inny folder");
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("Wybierz folder, w którym możesz zapisywać");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("Wybierz istniejący folder");
    case ENAMETOOLONG:
        return QStringLiteral("Wybierz krótszą nazwę pliku");
    case EISDIR:
        return QStringLiteral("Wybierz inną nazwę pliku");
    default:
        return utworzenie ? QStringLiteral("Wybierz inny folder lub inną nazwę pliku")
                          : QStringLiteral("Spróbuj ponownie lub wybierz inny folder");
    }
}

// "rename /path: errno 18: EXDEV (Invalid cross-device link)", unless the
// caller said what failed.
QString OpisWywolania(Krok krok, const QString &sciezka, int kod, const QString &podany)
{
    if (!podany.isEmpty())
        return podany;
    return BezpiecznyZapis::NazwaKroku(krok) + u' ' + sciezka + QStringLiteral(": ") +
           SzczegolyBleduSystemu(kod);
}

} // namespace

EZapisPliku::EZapisPliku(Krok krok, const QString &sciezka, int kod, const QString &powod,
                         const QString &wywolanie)
    : std::runtime_error(OpisWywolania(krok, sciezka, kod, wywolanie).toStdString())
    , m_krok(krok)
    , m_plik(sciezka)
    , m_kod(kod)
    , m_powod(powod)
{}

QString EZapisPliku::Powod() const
{
    if (!m_powod.isEmpty())
        return m_powod;
    return m_kod != 0 ? OpisBleduSystemu(m_kod) : QString();
}

QString EZapisPliku::Wywolanie() const
{
    return QString::fromStdString(what());
}

QString EZapisPliku::TekstUzytkownika() const
{
    const bool utworzenie = KrokUtworzenia(m_krok);
    QString tekst = utworzenie ? QStringLiteral("Nie można utworzyć pliku \"%1\"")
                               : QStringLiteral("Nie udało się zapisać pliku \"%1\"");
    tekst = tekst.arg(m_plik);
    if (const QString powod = Powod(); !powod.isEmpty())
        tekst += QStringLiteral(": ") + powod;
    return tekst + QStringLiteral(". ") + Wskazowka(utworzenie, m_kod);
}

QString EZapisPliku::Szczegoly() const
{
    // The file the user knows comes first; the failed call keeps its own
    // path, which may be another (the hidden sibling, a picked link's target).
    const QString pierwsza = KrokUtworzenia(m_krok)
                                 ? QStringLiteral("Cannot create file %1").arg(m_plik)
                                 : QStringLiteral("Stream write error\nPlik: ") + m_plik;
    return pierwsza + u'\n' + Wywolanie();
}

EPlikObcy::EPlikObcy(const QString &sciezka, uid_t wlasciciel)
    : EZapisPliku(Krok::Sprawdzenie, sciezka, EPERM,
                  QStringLiteral("plik należy do innego użytkownika (%1)")
                      .arg(NazwaUzytkownika(wlasciciel)),
                  QStringLiteral("lstat %1: owner uid %2, not uid %3")
                      .arg(sciezka)
                      .arg(wlasciciel)
                      .arg(::geteuid()))
    , m_wlasciciel(wlasciciel)
{}

QString EPlikObcy::TekstUzytkownika() const
{
    return QStringLiteral("Plik „%1” należy do innego użytkownika (%2) i nie może zostać "
                          "zastąpiony. Zapisz raport pod inną nazwą")
        .arg(Plik(), NazwaUzytkownika(m_wlasciciel));
}

QString EPlikObcy::Szczegoly() const
{
    return QStringLiteral("Cannot create file %1\n").arg(Plik()) + Wywolanie();
}
