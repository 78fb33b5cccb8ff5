#pragma once

// A desktop notification (org.freedesktop.Notifications on the user's
// session bus), for a failure that happened with nobody at the screen.

#include <QString>

// Sends one notification and waits for the notification service's answer
// for at most limitMs. True when the service took it. Without a session bus
// nothing is tried and it returns at once. Needs a QCoreApplication.
bool Powiadom(const QString &podsumowanie, const QString &tresc, int limitMs = 2000);
