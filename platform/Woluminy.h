#pragma once

// The mounted file systems, as the folder chooser offers them: read from
// mountinfo without touching any of them, and probed off the calling thread,
// so that a network share whose server is down never stops the window.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>

// One mounted file system, as /proc/self/mountinfo lists it.
struct Wolumin
{
    QString punkt;         // the mount point
    QString zrodlo;        // the device or the share ("serwer:/eksport", "//serwer/dane")
    QByteArray typ;        // the file system type
    bool sieciowy = false; // may stop answering (network, FUSE): examined off the window thread
};

// The volumes to show, from the contents of a mountinfo file: the root
// first, then the others in the order of their mount points; pseudo file
// systems (proc, sysfs, tmpfs, ...) left out; where a mount point has been
// mounted over, the last file system. Reading the list touches none of the
// file systems, so a network share whose server is down cannot stop it.
QList<Wolumin> WoluminyZMountinfo(const QByteArray &zawartosc);

// The volumes of a mountinfo file, read as a file (never with statfs); the
// root alone when the file cannot be read or lists none.
QList<Wolumin>
WczytajWoluminy(const QString &plikMontowan = QStringLiteral("/proc/self/mountinfo"));

// The mount point of the listed file system that holds the path: the
// longest one that is a leading part of it. Pure text: nothing is asked of
// the file systems.
QString WoluminSciezki(const QList<Wolumin> &woluminy, const QString &sciezka);

// The file system that holds the folder katalog, as "TYP ŹRÓDŁO" from
// mountinfo ("fuse.sshfs centrala@serwer:/raporty", "cifs //serwer/raporty",
// "ext4 /dev/sda2"): the mount whose device is the folder's (stat), the
// innermost one where several are; empty when the folder cannot be looked at.
// An unmounted share's empty mount point lies on the local disk, so a
// changed answer tells that the share is gone.
QString SystemPlikow(const QString &katalog,
                     const QString &plikMontowan = QStringLiteral("/proc/self/mountinfo"));

// Volume labels by device, from the links in /dev/disk/by-label (a local
// listing that never waits on a network).
QHash<QString, QString>
EtykietyWoluminow(const QString &katalogEtykiet = QStringLiteral("/dev/disk/by-label"));

// Whether a volume can be entered (a directory with search permission). May
// block on a network share whose server is down.
bool MoznaWejsc(const QString &punkt);

using SprawdzanieWoluminu = std::function<bool(const QString &punkt)>;
// Runs the check (empty: MoznaWejsc) in a thread of its own and waits at
// most a second. A check that never comes back keeps its thread (it holds
// only its own copies) and the volume counts as unavailable.
bool WoluminOdpowiada(const QString &punkt, const SprawdzanieWoluminu &sprawdzanie = {});
