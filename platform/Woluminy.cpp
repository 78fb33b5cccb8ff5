#include "Woluminy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace {

// The mount point field escapes blanks, tabs, line feeds and backslashes
// as three octal digits ("\040").
QByteArray bezUcieczek(const QByteArray &pole)
{
    QByteArray wynik;
    wynik.reserve(pole.size());
    for (qsizetype i = 0; i < pole.size(); ++i) {
        if (pole[i] == '\\' && i + 3 < pole.size()) {
            bool ok = false;
            const int kod = pole.mid(i + 1, 3).toInt(&ok, 8);
            if (ok && kod < 256) {
                wynik.append(char(kod));
                i += 3;
                continue;
            }
        }
        wynik.append(pole[i]);
    }
    return wynik;
}

// Labels in /dev/disk/by-label escape blanks and the like as "\x20".
QByteArray bezUcieczekEtykiety(const QByteArray &nazwa)
{
    QByteArray wynik;
    for (qsizetype i = 0; i < nazwa.size(); ++i) {
        if (nazwa[i] == '\\' && i + 3 < nazwa.size() && nazwa[i + 1] == 'x') {
            bool ok = false;
            const int kod = nazwa.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                wynik.append(char(kod));
                i += 3;
                continue;
            }
        }
        wynik.append(nazwa[i]);
    }
    return wynik;
}

bool pseudo(const QByteArray &typ, const QString &punkt)
{
    static const QList<QByteArray> typy = {
        "proc",   "sysfs",    "devtmpfs",    "devpts",         "tmpfs",     "ramfs",
        "cgroup", "cgroup2",  "securityfs",  "debugfs",        "tracefs",   "pstore",
        "bpf",    "mqueue",   "hugetlbfs",   "configfs",       "fusectl",   "binfmt_misc",
        "autofs", "efivarfs", "rpc_pipefs",  "nsfs",           "selinuxfs", "squashfs",
        "nfsd",   "overlay",  "fuse.portal", "fuse.gvfsd-fuse"};
    if (typy.contains(typ))
        return true;
    for (const char *systemowy : {"/proc", "/sys", "/dev", "/run", "/snap"}) {
        const QString s = QLatin1String(systemowy);
        if (punkt == s || punkt.startsWith(s + u'/'))
            return !punkt.startsWith(QLatin1String("/run/media/"));
    }
    return false;
}

bool sieciowy(const QByteArray &typ)
{
    static const QList<QByteArray> typy = {"nfs",   "nfs4",  "cifs",   "smb3", "smbfs",
                                           "sshfs", "9p",    "afs",    "ceph", "glusterfs",
                                           "davfs", "ncpfs", "lustre", "gfs2", "ocfs2"};
    // A FUSE file system is a program that may stop answering just the same.
    return typy.contains(typ) || typ.startsWith("fuse");
}

} // namespace

QList<Wolumin> WoluminyZMountinfo(const QByteArray &zawartosc)
{
    // A line: id, parent, major:minor, root, mount point, options, optional
    // fields, "-", type, source, super options.
    QList<Wolumin> woluminy;
    const QList<QByteArray> wiersze = zawartosc.split('\n');
    for (const QByteArray &wiersz : wiersze) {
        const QList<QByteArray> pola = wiersz.split(' ');
        const qsizetype kreska = pola.indexOf("-");
        if (pola.size() < 5 || kreska < 6 || kreska + 2 >= pola.size())
            continue;
        Wolumin w;
        w.punkt = QFile::decodeName(bezUcieczek(pola[4]));
        w.typ = pola[kreska + 1];
        w.zrodlo = QString::fromUtf8(bezUcieczek(pola[kreska + 2]));
        w.sieciowy = sieciowy(w.typ);
        if (!w.punkt.startsWith(u'/'))
            continue;
        if (w.punkt != QLatin1String("/") && pseudo(w.typ, w.punkt))
            continue;
        // A later mount on the same point hides the earlier one.
        woluminy.erase(std::remove_if(woluminy.begin(), woluminy.end(),
                                      [&](const Wolumin &v) { return v.punkt == w.punkt; }),
                       woluminy.end());
        woluminy.append(w);
    }
    std::stable_sort(woluminy.begin(), woluminy.end(), [](const Wolumin &a, const Wolumin &b) {
        const bool aKorzen = a.punkt == QLatin1String("/");
        const bool bKorzen = b.punkt == QLatin1String("/");
        if (aKorzen != bKorzen)
            return aKorzen;
        return QString::compare(a.punkt, b.punkt, Qt::CaseInsensitive) < 0;
    });
    return woluminy;
}

QString SystemPlikow(const QString &katalog, const QString &plikMontowan)
{
    struct stat st
    {
    };
    const QByteArray nazwa = QFile::encodeName(katalog);
    if (::stat(nazwa.constData(), &st) != 0)
        return QString();
    char *prawdziwa = ::realpath(nazwa.constData(), nullptr);
    const QString sciezka = prawdziwa ? QFile::decodeName(prawdziwa) : katalog;
    std::free(prawdziwa);
    const QByteArray urzadzenie =
        QByteArray::number(major(st.st_dev)) + ':' + QByteArray::number(minor(st.st_dev));

    QFile plik(plikMontowan);
    if (!plik.open(QIODevice::ReadOnly))
        return QString();
    QString wynik;
    qsizetype najdluzszy = -1;
    for (const QByteArray &wiersz : plik.readAll().split('\n')) {
        const QList<QByteArray> pola = wiersz.split(' ');
        const qsizetype kreska = pola.indexOf("-");
        if (pola.size() < 5 || kreska < 6 || kreska + 2 >= pola.size() || pola[2] != urzadzenie)
            continue;
        const QString punkt = QFile::decodeName(bezUcieczek(pola[4]));
        const bool zawiera =
            punkt == QLatin1String("/") || sciezka == punkt || sciezka.startsWith(punkt + u'/');
        // A later mount on the same point hides the earlier one.
        if (zawiera && punkt.size() >= najdluzszy) {
            najdluzszy = punkt.size();
            wynik = QString::fromUtf8(pola[kreska + 1]) + u' ' +
                    QString::fromUtf8(bezUcieczek(pola[kreska + 2]));
        }
    }
    return wynik;
}

QList<Wolumin> WczytajWoluminy(const QString &plikMontowan)
{
    // Read as a file, never with statfs: a dead network share cannot stop
    // the caller.
    QFile plik(plikMontowan);
    QByteArray zawartosc;
    if (plik.open(QIODevice::ReadOnly))
        zawartosc = plik.readAll();
    QList<Wolumin> woluminy = WoluminyZMountinfo(zawartosc);
    if (woluminy.isEmpty())
        woluminy.append(Wolumin{QStringLiteral("/"), QString(), QByteArray(), false});
    return woluminy;
}

QString WoluminSciezki(const QList<Wolumin> &woluminy, const QString &sciezka)
{
    QString najlepszy;
    for (const Wolumin &w : woluminy) {
        const bool zawiera = w.punkt == QLatin1String("/") || sciezka == w.punkt ||
                             sciezka.startsWith(w.punkt + u'/');
        if (zawiera && w.punkt.size() > najlepszy.size())
            najlepszy = w.punkt;
    }
    return najlepszy;
}

QHash<QString, QString> EtykietyWoluminow(const QString &katalogEtykiet)
{
    QHash<QString, QString> wynik;
    const QDir katalog(katalogEtykiet);
    const QFileInfoList linki = katalog.entryInfoList(QDir::Files | QDir::System);
    for (const QFileInfo &link : linki) {
        const QString nazwa =
            QString::fromUtf8(bezUcieczekEtykiety(QFile::encodeName(link.fileName())));
        wynik.insert(link.canonicalFilePath(), nazwa);
    }
    return wynik;
}

bool MoznaWejsc(const QString &punkt)
{
    const QByteArray nazwa = QFile::encodeName(punkt);
    struct stat st;
    return ::stat(nazwa.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(nazwa.constData(), X_OK) == 0;
}

bool WoluminOdpowiada(const QString &punkt, const SprawdzanieWoluminu &sprawdzanie)
{
    const SprawdzanieWoluminu sprawdz = sprawdzanie ? sprawdzanie : MoznaWejsc;
    auto obietnica = std::make_shared<std::promise<bool>>();
    std::future<bool> wynik = obietnica->get_future();
    std::thread([obietnica, sprawdz, punkt] {
        bool ok = false;
        try {
            ok = sprawdz(punkt);
        } catch (...) {
        }
        obietnica->set_value(ok);
    }).detach();
    return wynik.wait_for(std::chrono::seconds(1)) == std::future_status::ready && wynik.get();
}
