#pragma once

// Follows adapters being plugged in and pulled out, without opening any port
// and without the udev daemon (a site PC may have none).
//
// The kernel creates and removes the device nodes in /dev itself (devtmpfs),
// and udev, where it runs, adds the /dev/serial/by-id links a moment later.
// Both are watched with inotify: /dev for nodes, /dev/serial/by-id while it
// exists (it comes with the first adapter and goes with the last, so the
// watch is re-armed as it does). sysfs never raises inotify events, so it is
// read again only when /dev says something changed.
//
// The watch costs nothing while nothing changes: the window thread sleeps on
// the inotify descriptor with its other events, with no timer running. It is
// armed only while something waits for a port (the configuration dialog, a
// lost device) and dropped again when nothing does.

#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

class TObserwatorPortow : public QObject
{
    Q_OBJECT
public:
    // devRoot: where the device nodes live; tests give a made-up folder.
    explicit TObserwatorPortow(QObject *parent = nullptr, const QString &devRoot = QString());
    ~TObserwatorPortow() override;

    // Where watchers made without a folder of their own look: /dev, or a
    // made-up tree that tests set (an empty text restores /dev).
    static QString DefaultDevRoot();
    static void SetDefaultDevRoot(const QString &root);

    QString DevRoot() const;

    // Starts and stops the watch. Several users may wait at once (the dialog
    // and a lost device): each Start needs its Stop, and the watch ends with
    // the last one.
    void Start();
    void Stop();
    bool Active() const { return m_users > 0; }

signals:
    // Something under /dev that may be a port came or went. Bursts (a node,
    // then its links, then its permissions) arrive as one signal.
    void zmiana();

private:
    void Arm();
    void Disarm();
    void ArmById();
    void ReadEvents();

    QString m_devRoot;
    int m_users = 0;
    int m_fd = -1;
    int m_devWatch = -1;
    int m_serialWatch = -1; // /dev/serial, to learn when by-id appears
    int m_byIdWatch = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_gather; // collects one burst of events into one signal
};
