#pragma once

// Runs a check in a forked child of the test, for what must not touch the
// test process itself: a private mount namespace, an ordinary user's
// privileges, a file-size limit, or a call that might block for ever.

#include <QString>

#include <functional>

struct WynikPotomka
{
    bool naCzas = false; // ended by itself within the time limit
    bool ok = false;     // and returned normally
    QString tekst;       // what the check returned
};

// Runs sprawdzenie in a child and returns its text. A child still running
// after limitMs is killed (naCzas false): a hang shows as a failure, not as
// a test that never ends. With jakoNobody the child first drops root's
// privileges (when it has them) to the user nobody.
WynikPotomka UruchomWPotomku(const std::function<QString()> &sprawdzenie, int limitMs = 5000,
                             bool jakoNobody = false);

// A private mount namespace for the calling child, mounts not shared with
// the rest of the system. False when not root or the kernel refuses it.
bool WlasnePunktyMontowania();
