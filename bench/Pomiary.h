#pragma once

// What the benchmark reads about its own process: clocks, CPU time, memory
// and the threads' context switches, all from the kernel's counters so that
// a figure taken in one run holds on a busy machine.

#include <QList>
#include <QString>

namespace bench {

// CLOCK_MONOTONIC in nanoseconds: the same clock in every process.
qint64 TerazNs();

// User plus system CPU time of the whole process (all threads), seconds.
double CzasCpuS();

// Resident set now and its peak (VmRSS, VmHWM), in KiB.
qint64 RssKb();
qint64 SzczytRssKb();

// Resets the peak to the current resident set (clear_refs "5"); false where
// the kernel does not allow it.
bool ZerujSzczytRss();

// Seconds since the kernel started this process (start time from
// /proc/self/stat against CLOCK_BOOTTIME; 1/CLK_TCK resolution).
double SekundyOdStartuProcesu();

struct Watek
{
    int tid = 0;
    QString nazwa;
    qint64 dobrowolne = 0; // voluntary context switches: the thread went to sleep
    qint64 wymuszone = 0;  // involuntary ones: preempted
    double cpuS = 0;
};

// Every thread of this process.
QList<Watek> Watki();

} // namespace bench
