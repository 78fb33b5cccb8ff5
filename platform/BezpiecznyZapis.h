#pragma once

// The one way the program writes a file: the settings file, the journal, a
// saved report, its "Zawsze" copy and the mail attachment all go through here.
//
// A file is written to a new sibling (created with O_EXCL), written whole,
// synced, renamed over the old name, and then the folder is synced, so a
// power cut leaves either the old file or the new one, never half of it.
// When the folder takes no new file or refuses the renaming (EACCES, EPERM,
// EROFS, EXDEV, EBUSY: a read-only share, a bind-mounted file) but the file
// itself may be written, it is rewritten in place; room for the whole new
// content is reserved first, so a full disk or a quota fails before the old
// content is touched. A replaced file keeps its mode; a new one gets the mode
// its caller passes, less the umask, as open(2) gives it.
//
// The sibling is ".NAME.RANDOM.tmp". What an interrupted write left (a lost
// connection to a share) is removed by a later write into the same folder:
// such siblings that are the user's own regular files, older than an hour.
//
// Names. A name the program made up itself (the "Zawsze" copy, the
// attachment, a download's file) may lie in a folder others can write: a
// link, a FIFO, a socket or a device found under it is left alone and the
// write is refused, so nothing planted can redirect the report or hang the
// program. Nothing is opened just to look at it (opening a serial device
// changes its modem lines). A name the user picked follows links, as an
// editor does, except a link in a sticky world-writable folder owned by
// someone other than the user and the folder's owner; a FIFO or device the
// user picked is written in place without blocking on a missing reader.
//
// Every failure is an EZapisPliku with the errno and the step that failed;
// the saves of a report and everything above them throw it on unchanged.

#include "Bledy.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <stdexcept>
#include <sys/types.h>

namespace BezpiecznyZapis {

// The step that failed; NazwaKroku gives the system call for the details.
enum class Krok {
    Sprawdzenie,            // lstat: what is under the name
    Utworzenie,             // open
    Rezerwacja,             // fallocate: room for an in-place write
    Zapis,                  // write
    Skrocenie,              // ftruncate
    Synchronizacja,         // fsync of the file
    Zamkniecie,             // close
    ZmianaNazwy,            // rename
    SynchronizacjaKatalogu, // fsync of the folder
    Odczyt,                 // read
};
QString NazwaKroku(Krok krok);

} // namespace BezpiecznyZapis

// A file that could not be created or written, with the errno and the step
// that failed. what() is the failed call for the details and the journal's
// warnings: "rename /path: errno 18: EXDEV (Invalid cross-device link)".
// The user reads in Polish which file, why and what to do; the details hold
// "Cannot create file <path>" or "Stream write error" and the failed call.
class EZapisPliku : public std::runtime_error, public OpisanyBlad
{
public:
    // sciezka is where the call failed, kod its errno. powod replaces the
    // system's reason ("pod tą nazwą jest dowiązanie" says more than ELOOP);
    // wywolanie replaces the failed call in what() when no single call
    // failed (no free name left).
    EZapisPliku(BezpiecznyZapis::Krok krok, const QString &sciezka, int kod,
                const QString &powod = QString(), const QString &wywolanie = QString());

    BezpiecznyZapis::Krok KrokBledu() const { return m_krok; }
    int Kod() const { return m_kod; }
    // The file as the user named it, which the message shows: the writer
    // sets the name it was asked to write (a picked link, not its target; the
    // file, not the folder that failed to sync). Until then, where the call
    // failed.
    const QString &Plik() const { return m_plik; }
    void UstawPlik(const QString &plik) { m_plik = plik; }
    // Why, in Polish: the reason given, else the system's Polish description
    // ("brak uprawnień", "nieoczekiwany błąd systemu" for a rare errno);
    // empty only when there is no errno either.
    QString Powod() const;
    // The failed call, what() as text.
    QString Wywolanie() const;
    // "Nie można utworzyć pliku "X": brak uprawnień. Wybierz folder, w
    // którym możesz zapisywać".
    QString TekstUzytkownika() const override;
    // "Cannot create file X" or "Stream write error" with "Plik: X", then
    // the failed call: the same file as the user's text, and where it failed.
    QString Szczegoly() const override;

private:
    BezpiecznyZapis::Krok m_krok;
    QString m_plik;
    int m_kod;
    QString m_powod;
};

// A regular file under the name that belongs to another user: it is neither
// replaced nor rewritten, whatever the permissions would allow (root's
// included), since the only copy of a report would then be someone else's
// to change or remove. Step Sprawdzenie, EPERM. The user reads "Plik „X”
// należy do innego użytkownika (nobody) i nie może zostać zastąpiony. Zapisz
// raport pod inną nazwą".
class EPlikObcy : public EZapisPliku
{
public:
    EPlikObcy(const QString &sciezka, uid_t wlasciciel);
    uid_t Wlasciciel() const { return m_wlasciciel; }
    QString TekstUzytkownika() const override;
    QString Szczegoly() const override;

private:
    uid_t m_wlasciciel;
};

namespace BezpiecznyZapis {

enum class Nazwa {
    Wygenerowana, // made up by the program: nothing but a regular file is written through it
    Wybrana,      // picked by the user: links followed, pipes and devices written in place
};

struct Opcje
{
    Nazwa nazwa = Nazwa::Wygenerowana;
    // The mode of a new file, less the umask: 0666 for a report, 0600 for
    // the settings copy and attachments.
    mode_t trybNowego = 0666;
    // Create only: EZapisPliku with EEXIST (step Sprawdzenie, ZmianaNazwy or
    // Utworzenie) when anything at all is under the name, which is then left
    // alone. For a caller that picks the next free name (" (2)", " (3)" ...).
    // The sibling takes the name by renameat2(RENAME_NOREPLACE), or a hard
    // link where the flag is missing; a file system with neither (FUSE,
    // SMB, an SFTP server without hard links) gets the name itself created
    // with O_EXCL and written whole, so that a reader there may see part of
    // it until it is written.
    bool tylkoNowy = false;
    // A file that replaces nothing is neither synced nor its folder: the
    // caller syncs both later (SynchronizujFolder). For the journal, which
    // syncs what it appends every second and a half anyway; a file that
    // replaces another is always synced before it takes the other's place.
    bool pozniejszaSynchronizacjaNowego = false;
};

// Writes dane under sciezka as described at the top. Throws EZapisPliku; an
// existing file is then as it was, or (in place, after the reservation)
// whole with the new content up to the step that failed.
void Zapisz(const QString &sciezka, QByteArrayView dane, const Opcje &opcje = {});

// The same, leaving the written file open for appending: returns its
// descriptor (O_WRONLY, positioned at the end), which the caller closes.
// Not for a FIFO or device (EINVAL).
int ZapiszIOtworz(const QString &sciezka, QByteArrayView dane, const Opcje &opcje = {});

// What CzytajZwyklyPlik found under a name.
enum class Zastano {
    Brak,       // nothing
    ZwyklyPlik, // a regular file, read into dane
    Rozny,      // a regular file that cannot hold the bytes looked for: not read
    Inny,       // a link, FIFO, socket, device or folder: not opened
};

// Reads a regular file by the rule for made-up names: a link is not
// followed and a FIFO or device is never opened. At most the largest report
// (Czytanie::NajwiekszyRaport) is read; a larger file is refused.
//
// With rozmiar (the size of the bytes a caller looks for, as the
// identical-bytes check does) a file is read only when it is the user's own
// and of exactly that size; any other is Rozny after one lstat, so a planted
// file of any size costs nothing. Throws EZapisPliku when a regular file
// cannot be read (step Odczyt, EFBIG over the bound).
Zastano CzytajZwyklyPlik(const QString &sciezka, QByteArray &dane, qint64 rozmiar = -1);

// Syncs the folder that holds sciezka, so that a new name in it survives a
// power cut. Throws EZapisPliku (step SynchronizacjaKatalogu). plik, a descriptor of
// the file, syncs its file system instead when the folder cannot be read.
void SynchronizujFolder(const QString &sciezka, int plik = -1);

// Gives the file stara the name nowa, which must be free (EZapisPliku with EEXIST
// otherwise), and syncs the folder. On a file system with neither way of
// naming without replacing, EZapisPliku with EOPNOTSUPP and a reason that
// says so.
void NadajNazwe(const QString &stara, const QString &nowa);

// Removes the file sciezka (not through a link). True when it was there and
// is gone now.
bool Usun(const QString &sciezka);

// What the writer did, in order, for tests that check that one thing
// reached the disk before another went.
enum class Zdarzenie {
    PlikZsynchronizowany,         // the path of the file, under its final name
    KatalogZsynchronizowany,      // the folder's path
    SystemPlikowZsynchronizowany, // the folder's path, synced through syncfs()
    Usuniety,                     // the removed file's path
};
using Obserwator = std::function<void(Zdarzenie zdarzenie, const QString &sciezka)>;
// Installs the observer (an empty one removes it). It may be called from
// any thread, one call at a time.
void UstawObserwatora(Obserwator obserwator);

} // namespace BezpiecznyZapis
