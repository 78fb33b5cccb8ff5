#pragma once

// Timer rules of the program. "Enabling" a timer that is already running
// leaves its countdown alone (QTimer::start() would restart it); a fresh
// countdown is asked for explicitly.

#include <QTimer>

// Starts the timer unless it is running already.
inline void WlaczZegar(QTimer *zegar)
{
    if (!zegar->isActive())
        zegar->start();
}

// Stops the timer.
inline void WylaczZegar(QTimer *zegar)
{
    zegar->stop();
}

// Starts a fresh countdown of the full interval, running or not.
inline void ZegarOdNowa(QTimer *zegar)
{
    zegar->stop();
    zegar->start();
}
