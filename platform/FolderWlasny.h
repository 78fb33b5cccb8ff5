#pragma once

// The folders the program keeps its own files in (the per-user settings, the
// attachments, the journal's state folder) are the user's alone.
//
// Every folder made here, the base folders on the way included (~/.config,
// ~/.cache, ~/.local, ~/.local/state, as the XDG base-directory rules ask),
// is 0700 whatever the umask. The program's own folders at the end of the
// path ("Vestibulomat", its "temp") are checked also when they exist: one
// that group or others may write and that the user owns is narrowed to 0700;
// one that another user owns, or a link that another user made, is not used,
// since whoever owns it could swap, plant or remove the files in it. Base
// folders that exist are left as they are: they are not the program's.

#include "Bledy.h"

#include <QString>

#include <sys/types.h>

struct FolderWlasny
{
    // 0 when the folder is there and the user's own; else the errno of the
    // step that failed (EPERM for a folder of another user).
    int blad = 0;
    // The folder that failed: the path asked for or one on the way to it.
    QString sciezka;
    // The other user, when the folder is refused as theirs.
    bool obcy = false;
    uid_t wlasciciel = 0;

    bool Gotowy() const { return blad == 0; }
    // What the user reads: for another user's folder the refusal naming it
    // and its owner; otherwise why the folder could not be made.
    QString Komunikat() const;
    // The technical line: the step, the path, the errno or the owner's uid.
    QString Szczegoly() const;
};

// Makes sure the folder sciezka exists as the user's own. Its last wlasnych
// components are the program's own folders (1 for ".../Vestibulomat", 2 for
// ".../Vestibulomat/temp"); what lies above them is only made when missing.
FolderWlasny UtworzFolderWlasny(const QString &sciezka, int wlasnych = 1);

// The same check without making anything: a folder that is not there is
// ready (blad 0) and stays missing.
FolderWlasny SprawdzFolderWlasny(const QString &sciezka, int wlasnych = 1);

// A folder of the program's that cannot be used, as an exception for a
// caller that must stop there (writing the per-user settings).
class EFolderWlasny : public BladProgramu
{
public:
    explicit EFolderWlasny(const FolderWlasny &wynik);
    const FolderWlasny &Wynik() const { return m_wynik; }

private:
    FolderWlasny m_wynik;
};

// The name of a user for a message: the login name, else "UID n".
QString NazwaUzytkownika(uid_t uid);
