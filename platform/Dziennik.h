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
// Files in the per-user state folder (KatalogStanu()), for each journal a
// name of its own, RDZEN = raport-yyyyMMdd-HHmmss-XXXXXXXX (the start of the
// download and a random part; the lock file is made with O_EXCL, so two
// copies never pick the same):
//   RDZEN.blokada   held (flock) by the copy that writes the journal, for as
//                   long as it runs; a lock file is never the journal itself,
//                   which is replaced by renaming a new file over it
//   RDZEN.dziennik  the journal, whole as far as it reached the disk
//   RDZEN.niepelny  a journal that could not be written whole (a full disk):
//                   marked by a rename, which needs no new room
//   niezapisany_yyyy-MM-dd_HH-mm-ss.txt
//                   a journal the user chose not to restore, named after the
//                   start of its download; removed 30 days after it was set
//                   aside
// Journals whose lock is free were left by copies that ended; any number of
// them wait, and none takes anything a new copy needs. The names of earlier
// versions (raport-1.dziennik ... raport-8.dziennik, locked by
// raport-N.blokada) follow the same rule and are offered as well.

#include "Czytanie.h"

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
#include <vector>

struct NaglowekDziennika
{
    QString obiekt;     // the object name at the start of the download
    QString port;       // the serial port
    QDateTime poczatek; // local time of the first received chunk
    // Written by an unattended run ("vestibulomat --pobierz"), whose next
    // runs deliver it to the save folder themselves.
    bool bezOkna = false;
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

// A journal left behind, as its header tells it; the body is read only when
// the user chooses to restore it.
struct OpisDziennika
{
    QString sciezka;
    NaglowekDziennika naglowek;
    bool niepelny = false; // it could not be written whole
};

// The largest journal read back: the largest report behind a header.
inline constexpr qint64 NajwiekszyDziennik = Czytanie::NajwiekszyRaport + (qint64(64) << 10);

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

    // Start-up: the journals earlier runs left behind, oldest first, each
    // held (locked) by this object until it is restored, set aside or let go,
    // so that no other copy offers it at the same time. Kept files older than
    // 30 days, journals without any report bytes, leftovers of unfinished
    // replacements and lock files of no journal are removed first. A journal
    // that is not a regular file (a FIFO, a link) is never opened: it is not
    // offered, and its refusal is in odrzucone.
    std::vector<OpisDziennika>
    Pozostawione(std::vector<Czytanie::BladCzytania> *odrzucone = nullptr);
    // One of them becomes this copy's journal, its bytes read back. Throws
    // Czytanie::BladCzytania when it cannot be read.
    ZawartoscDziennika Przywroc(const OpisDziennika &opis);
    // One of them is set aside, as Zachowaj() does with this copy's own.
    void Odloz(const OpisDziennika &opis);
    // The rest wait for the next start.
    void ZwolnijPozostawione();

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

    // What the disk holds for the report.
    enum class Stan {
        Brak,     // no journal (none was needed, or none could be written)
        Caly,     // the whole report, flushed
        Niepelny, // a part of it, marked as such
    };
    // Writes what is pending, flushes it and ends the thread; the journal
    // stays. Then tells what the disk holds.
    Stan Domknij();

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
    void Odblokuj();
    void Przejmij(const OpisDziennika &opis);
    void Przytnij();
    void Zatrzymaj(bool dopisz);
    QString Oznacz(const QString &sciezka);

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
    void Pracuj(QString cel, QString stara, QByteArray naglowek);
    // The descriptor of the new journal cel, -1 after reporting a failure
    // (utworzony: cel holds a part of it). stara: the journal it replaces.
    int UtworzNaDysku(const QString &cel, const QString &stara, const QByteArray &naglowek,
                      Dysk &dysk, bool &utworzony);
    Partia CzekajNaDane(bool niezsynchronizowane);
    // False after reporting a failure.
    bool ZapiszPartie(int fd, const QString &sciezka, const Partia &p, Dysk &dysk);
    void BladWatku(const QString &powod, const QString &szczegoly);
    // Sends bladZapisu, queued to the owner's thread; powod is Polish.
    void Zglos(const QString &powod, const QString &szczegoly);

    QString m_katalog;
    QString m_rdzen;       // path of this copy's files without the suffix
    int m_blokada = -1;    // fd of RDZEN.blokada, held
    int m_bladBlokady = 0; // errno when no lock file could be made
    // The journal on the disk, empty when there is none. Changed only by the
    // thread while it runs, and read by the owner when it has ended.
    QString m_sciezka;
    QList<std::pair<QString, int>> m_obce; // left behind, held: rdzen and fd
    NaglowekDziennika m_naglowek;          // of this copy's journal
    bool m_nieudany = false;               // this journal failed; reported already

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
