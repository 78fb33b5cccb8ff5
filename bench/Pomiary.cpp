#include "Pomiary.h"

#include <QDir>
#include <QFile>

#include <ctime>
#include <sys/resource.h>
#include <unistd.h>

namespace bench {

namespace {

QByteArray CzytajPlik(const QString &sciezka)
{
    QFile f(sciezka);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// A "Key:   value kB" line of a /proc status file.
qint64 PoleStatusu(const QByteArray &status, const QByteArray &klucz)
{
    for (const QByteArray &linia : status.split('\n')) {
        if (linia.startsWith(QByteArray(klucz + ':'))) {
            QByteArray w = linia.mid(klucz.size() + 1).trimmed();
            const int spacja = w.indexOf(' ');
            if (spacja >= 0)
                w.truncate(spacja);
            return w.toLongLong();
        }
    }
    return -1;
}

// Fields of a /proc stat line after the command name, which may itself hold
// blanks and parentheses: field 3 (state) is index 0.
QList<QByteArray> PolaStat(const QByteArray &stat)
{
    const int koniecNazwy = stat.lastIndexOf(')');
    if (koniecNazwy < 0)
        return {};
    return stat.mid(koniecNazwy + 2).trimmed().split(' ');
}

} // namespace

qint64 TerazNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

double CzasCpuS()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

qint64 RssKb()
{
    return PoleStatusu(CzytajPlik(QStringLiteral("/proc/self/status")), "VmRSS");
}

qint64 SzczytRssKb()
{
    return PoleStatusu(CzytajPlik(QStringLiteral("/proc/self/status")), "VmHWM");
}

bool ZerujSzczytRss()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (!f.open(QIODevice::WriteOnly))
        return false;
    return f.write("5") == 1;
}

double SekundyOdStartuProcesu()
{
    const QList<QByteArray> pola = PolaStat(CzytajPlik(QStringLiteral("/proc/self/stat")));
    if (pola.size() < 20)
        return -1;
    const double start = pola[19].toDouble() / double(sysconf(_SC_CLK_TCK)); // field 22
    timespec t{};
    clock_gettime(CLOCK_BOOTTIME, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9 - start;
}

QList<Watek> Watki()
{
    QList<Watek> wynik;
    const double tick = double(sysconf(_SC_CLK_TCK));
    const QDir zadania(QStringLiteral("/proc/self/task"));
    for (const QString &tid : zadania.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString katalog = zadania.filePath(tid);
        Watek w;
        w.tid = tid.toInt();
        w.nazwa = QString::fromUtf8(CzytajPlik(katalog + QStringLiteral("/comm")).trimmed());
        const QByteArray status = CzytajPlik(katalog + QStringLiteral("/status"));
        w.dobrowolne = PoleStatusu(status, "voluntary_ctxt_switches");
        w.wymuszone = PoleStatusu(status, "nonvoluntary_ctxt_switches");
        const QList<QByteArray> pola = PolaStat(CzytajPlik(katalog + QStringLiteral("/stat")));
        if (pola.size() > 12)
            w.cpuS = (pola[11].toDouble() + pola[12].toDouble()) / tick; // utime, stime
        wynik.append(w);
    }
    return wynik;
}

} // namespace bench
