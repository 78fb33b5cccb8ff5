#pragma once

// A private session bus for a test (dbus-daemon --session) with a recording
// notification service on it, so a test sees what the program would show on
// a desktop without touching the user's own bus.

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

class MagistralaTestowa : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    MagistralaTestowa();
    ~MagistralaTestowa() override;

    // Whether the bus runs (dbus-daemon may be missing).
    bool Dziala() const { return !m_adres.isEmpty(); }
    // DBUS_SESSION_BUS_ADDRESS of the bus, for a child's environment.
    QString Adres() const { return m_adres; }
    // Registers the recording notification service on the bus.
    bool UruchomPowiadomienia();

    // Summary and body of every Notify call received, "summary\nbody".
    QStringList powiadomienia;

public slots:
    uint Notify(const QString &aplikacja, uint zastepuje, const QString &ikona,
                const QString &podsumowanie, const QString &tresc, const QStringList &akcje,
                const QVariantMap &wskazowki, int czas);

private:
    QProcess m_demon;
    QString m_adres;
    QString m_nazwaPolaczenia;
};
