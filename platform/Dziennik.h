#pragma once

// The reception journal: a copy on disk of the report being received, kept
// until the report is saved or mailed. A download at 9600 bit/s takes
// minutes, and until the user deals with the report it exists only in the
// window; if the program is killed or the power goes, the journal brings it
// back at the next start.
//
// The received bytes are appended unchanged behind a short header of text
// lines (object, port, start of the download) and an empty line. A thread of
// its own writes them, at most four times a second (more often only when a
// line far faster than the device's has piled up a mebibyte), and flushes them to the
// disk (fdatasync) at the end of a transmission and at least every 1.5 s while
// bytes arrive; so a power cut costs at most the last two seconds of a report,
// and the window never waits for the disk while receiving.
//
// Files in the per-user state folder (KatalogStanu()):
//   raport-N.dziennik    the journal of the copy holding slot N
//   raport-N.blokada     held (flock) for as long as that copy runs, so two
//                        copies never share one journal
//   niezapisany_yyyy-MM-dd_HH-mm-ss.txt
//                        a journal the user chose not to restore, named after
//                        the start of its download; removed 30 days after
//                        it was set aside

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

struct NaglowekDziennika
{
    QString obiekt;     // the object name at the start of the download
    QString port;       // the serial port
    QDateTime poczatek; // local time of the first received chunk
};

// What a journal left behind holds.
struct ZawartoscDziennika
{
    NaglowekDziennika naglowek;
    QByteArray bajty; // the report bytes, exactly as far as they reached the disk
};

// The file format, for reading a journal back. A journal cut short restores
// what it holds; one whose header is damaged restores the bytes after the
// header's empty line (or the whole file when that line is gone too), and
// takes the time from the file. A missing object name stays empty.
ZawartoscDziennika CzytajDziennik(const QByteArray &plik, const QDateTime &czasPliku);
QByteArray ZapiszNaglowek(const NaglowekDziennika &naglowek);

class TDziennik : public QObject
{
    Q_OBJECT

public:
    // katalog: the state folder; nothing is touched until it is needed.
    explicit TDziennik(const QString &katalog, QObject *parent = nullptr);
    // Writes what is still pending, flushes it and leaves the journal in
    // place: a report that was not dealt with is offered at the next start.
    ~TDziennik() override;

    QString Katalog() const { return m_katalog; }

    // Start-up: the journal an earlier run left behind, in this copy's slot
    // or in a slot no running copy holds (it is moved into ours). Kept files
    // older than 30 days are removed first. Empty when there is none; a
    // journal without any report bytes is removed quietly.
    std::optional<ZawartoscDziennika> Pozostawiony();

    // Whether a journal is being kept for the report in the window (also
    // when writing it failed: a download is not retried chunk by chunk).
    bool Prowadzony() const { return m_watek.joinable() || m_nieudany; }

    // The first chunk of a report (or the first after it was saved): a new
    // journal holding naglowek and the whole report so far. It replaces the
    // journal in place only once the new one is on the disk. ostatniKawalek:
    // the chunk just received, kept shared when it is all of dotychczas.
    void Rozpocznij(const NaglowekDziennika &naglowek, const QByteArray &dotychczas,
                    const QByteArray &ostatniKawalek = QByteArray());
    // Every further chunk. The chunk is kept (shared, not copied) until the
    // thread has written it.
    void Dopisz(const QByteArray &kawalek);
    // The transmission ended: flush to the disk now, not within 1.5 s.
    void KoniecTransmisji();

    // The report is safe (saved, mailed) or the user gave it up: the journal
    // goes.
    void Usun();
    // The report leaves the window without being saved (the user cancelled
    // the save he asked for, or said "Nie" to restoring it): the journal is
    // set aside under the date of its download. Throws BladProgramu when it
    // cannot be renamed; the journal then stays where it is.
    void Zachowaj();

    // Counters since construction, for the benchmark: write() calls and
    // fdatasync() calls of the journal thread.
    int Zapisy() const { return m_zapisy.load(); }
    int Synchronizacje() const { return m_synchronizacje.load(); }

signals:
    // The journal cannot be written; sent once per journal, on the thread
    // that owns this object. tekst is Polish for the user, szczegoly the
    // file and the system's error.
    void bladZapisu(const QString &tekst, const QString &szczegoly);

private:
    bool Zablokuj();
    QString SciezkaDziennika(int slot) const;
    QString SciezkaBlokady(int slot) const;
    void Przytnij();
    void Zatrzymaj(bool dopisz);
    void UsunNiedokonczone();

    // The journal thread, step by step: the journal created with what came
    // so far, then batches of chunks waited for, written and flushed.
    struct Partia
    {
        QList<QByteArray> dane;
        bool koniec = false;       // the thread is to end after this batch
        bool pisz = true;          // write it (not when the journal is going)
        bool synchronizuj = false; // flush now, not on the 1.5 s clock
    };
    struct Dysk
    {
        std::chrono::steady_clock::time_point ostatnia; // last flush
        bool niezsynchronizowane = false;
        bool folderNiezsynchronizowany = false; // the new journal's name
    };
    void Pracuj(QString sciezka, QByteArray naglowek);
    // The descriptor of the new journal, -1 after reporting a failure.
    int UtworzNaDysku(const QString &sciezka, const QByteArray &naglowek, Dysk &dysk);
    Partia CzekajNaDane(bool niezsynchronizowane);
    // False after reporting a failure.
    bool ZapiszPartie(int fd, const QString &sciezka, const Partia &p, Dysk &dysk);
    void BladWatku(const QString &powod, const QString &szczegoly);
    // Sends bladZapisu, queued to the owner's thread; powod is Polish.
    void Zglos(const QString &powod, const QString &szczegoly);

    QString m_katalog;
    int m_slot = 0;               // 1.. once the lock is held
    int m_blokada = -1;           // fd of the lock file
    int m_bladBlokady = 0;        // errno when no slot could be locked
    NaglowekDziennika m_naglowek; // of the journal in our slot
    bool m_nieudany = false;      // this journal failed; reported already

    std::thread m_watek;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    QList<QByteArray> m_oczekujace; // received, not yet written
    qsizetype m_oczekujaceBajty = 0;
    bool m_synchronizuj = false; // flush requested
    bool m_koniec = false;       // the thread is to end
    bool m_dopiszNaKoniec = false;
    std::atomic<bool> m_bladWatku{false};
    std::atomic<int> m_zapisy{0};
    std::atomic<int> m_synchronizacje{0};
};
