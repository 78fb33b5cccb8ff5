#include "Dziennik.h"

#include "BezpiecznyZapis.h"
#include "Bledy.h"
#include "FolderWlasny.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Chunks gather in memory for a quarter of a second before one write().
constexpr auto kOdstepZapisu = 250ms;
// Written bytes reach the disk at the latest this long after the last flush;
// with the quarter second of gathering, a power cut costs under two seconds.
constexpr auto kOdstepSynchronizacji = 1500ms;
// More than this waiting is written at once: at the line's 9600 bit/s it
// never happens, on a fast line it bounds the memory the journal takes.
constexpr qsizetype kNajwiecejWPamieci = 1 << 20;
// Copies of the program that can each keep a journal at the same time.
constexpr int kSloty = 8;
// Kept journals older than this are removed at start-up.
constexpr int kDniPrzechowania = 30;
// A damaged header is looked for this far into the file.
constexpr qsizetype kNajdluzszyNaglowek = 4096;

const QByteArray kMagia = QByteArrayLiteral("VESTIBULOMAT-DZIENNIK 1\n");
const QString kWzorZachowanego = QStringLiteral("niezapisany_*.txt");

QByteArray Zakoduj(const QString &wartosc)
{
    QByteArray b = wartosc.toUtf8();
    b.replace('\\', "\\\\").replace('\n', "\\n").replace('\r', "\\r");
    return b;
}

QString Odkoduj(const QByteArray &b)
{
    QByteArray wynik;
    for (qsizetype i = 0; i < b.size(); ++i) {
        if (b[i] == '\\' && i + 1 < b.size()) {
            const char c = b[++i];
            wynik += c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        } else {
            wynik += b[i];
        }
    }
    return QString::fromUtf8(wynik);
}

// Writes all of the chunks in order, as few writev() calls as the system
// allows, going on after a short write; a write that takes nothing is a full
// disk. False with errno set.
bool ZapiszWszystko(int fd, const QList<QByteArray> &kawalki)
{
    std::vector<iovec> wektor;
    wektor.reserve(std::size_t(kawalki.size()));
    for (const QByteArray &k : kawalki) {
        if (!k.isEmpty())
            wektor.push_back({const_cast<char *>(k.constData()), std::size_t(k.size())});
    }
    std::size_t i = 0;
    while (i < wektor.size()) {
        const int ile = int(std::min<std::size_t>(wektor.size() - i, IOV_MAX));
        const ssize_t n = ::writev(fd, wektor.data() + i, ile);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        // Past the pieces written whole, into the one written in part.
        std::size_t zapisane = std::size_t(n);
        while (i < wektor.size() && zapisane >= wektor[i].iov_len)
            zapisane -= wektor[i++].iov_len;
        if (i < wektor.size()) {
            wektor[i].iov_base = static_cast<char *>(wektor[i].iov_base) + zapisane;
            wektor[i].iov_len -= zapisane;
        }
    }
    return true;
}

int OtworzBlokade(const QString &sciezka)
{
    return ::open(QFile::encodeName(sciezka).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

} // namespace

QByteArray ZapiszNaglowek(const NaglowekDziennika &n)
{
    return kMagia + "obiekt: " + Zakoduj(n.obiekt) + "\nport: " + Zakoduj(n.port) +
           "\npoczatek: " + n.poczatek.toString(Qt::ISODate).toLatin1() + "\n\n";
}

ZawartoscDziennika CzytajDziennik(const QByteArray &plik, const QDateTime &czasPliku)
{
    ZawartoscDziennika z;
    const qsizetype koniec = plik.indexOf("\n\n");
    QByteArray naglowek;
    if (plik.startsWith(kMagia) || kMagia.startsWith(plik)) {
        // A file cut inside its header holds no report bytes.
        naglowek = koniec < 0 ? plik : plik.left(koniec + 1);
        if (koniec >= 0)
            z.bajty = plik.mid(koniec + 2);
    } else if (koniec >= 0 && koniec < kNajdluzszyNaglowek) {
        naglowek = plik.left(koniec + 1);
        z.bajty = plik.mid(koniec + 2);
    } else {
        z.bajty = plik;
    }
    for (const QByteArray &linia : naglowek.split('\n')) {
        const qsizetype dwukropek = linia.indexOf(": ");
        if (dwukropek < 0)
            continue;
        const QByteArray klucz = linia.left(dwukropek);
        const QByteArray wartosc = linia.mid(dwukropek + 2);
        if (klucz == "obiekt")
            z.naglowek.obiekt = Odkoduj(wartosc);
        else if (klucz == "port")
            z.naglowek.port = Odkoduj(wartosc);
        else if (klucz == "poczatek")
            z.naglowek.poczatek = QDateTime::fromString(QString::fromLatin1(wartosc), Qt::ISODate);
    }
    if (!z.naglowek.poczatek.isValid())
        z.naglowek.poczatek = czasPliku;
    return z;
}

TDziennik::TDziennik(const QString &katalog, QObject *parent)
    : QObject(parent)
    , m_katalog(katalog)
{}

TDziennik::~TDziennik()
{
    Zatrzymaj(true);
    if (m_blokada >= 0)
        ::close(m_blokada);
}

QString TDziennik::SciezkaDziennika(int slot) const
{
    return m_katalog + QStringLiteral("/raport-%1.dziennik").arg(slot);
}

QString TDziennik::SciezkaBlokady(int slot) const
{
    return m_katalog + QStringLiteral("/raport-%1.blokada").arg(slot);
}

bool TDziennik::Zablokuj()
{
    if (m_slot > 0)
        return true;
    if (const FolderWlasny folder = UtworzFolderWlasny(m_katalog); !folder.Gotowy()) {
        m_bladBlokady = folder.blad;
        return false;
    }
    for (int n = 1; n <= kSloty; ++n) {
        const int fd = OtworzBlokade(SciezkaBlokady(n));
        if (fd < 0) {
            m_bladBlokady = errno;
            return false;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            m_slot = n;
            m_blokada = fd;
            return true;
        }
        const int kod = errno;
        ::close(fd);
        if (kod != EWOULDBLOCK) {
            m_bladBlokady = kod;
            return false;
        }
    }
    m_bladBlokady = EWOULDBLOCK;
    return false;
}

void TDziennik::Przytnij()
{
    const QDateTime granica = QDateTime::currentDateTime().addDays(-kDniPrzechowania);
    const QFileInfoList pliki =
        QDir(m_katalog).entryInfoList({kWzorZachowanego}, QDir::Files | QDir::Hidden);
    for (const QFileInfo &plik : pliki) {
        if (plik.lastModified() < granica)
            QFile::remove(plik.filePath());
    }
}

std::optional<ZawartoscDziennika> TDziennik::Pozostawiony()
{
    if (!Zablokuj())
        return std::nullopt;
    Przytnij();
    const QString nasz = SciezkaDziennika(m_slot);
    UsunNiedokonczone();

    // A copy that ran in another slot and ended without dealing with its
    // report: its lock is free, so its journal becomes ours.
    for (int n = 1; n <= kSloty && !QFileInfo::exists(nasz); ++n) {
        if (n == m_slot || !QFileInfo::exists(SciezkaDziennika(n)))
            continue;
        const int fd = OtworzBlokade(SciezkaBlokady(n));
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            try {
                BezpiecznyZapis::NadajNazwe(SciezkaDziennika(n), nasz);
            } catch (const EZapisPliku &e) {
                // It stays in its slot and is offered to the next start.
                qWarning("%s", e.what());
            }
        }
        ::close(fd);
    }

    QFile plik(nasz);
    if (!plik.open(QIODevice::ReadOnly))
        return std::nullopt;
    ZawartoscDziennika z = CzytajDziennik(plik.readAll(), QFileInfo(plik).lastModified());
    plik.close();
    if (z.bajty.isEmpty()) {
        plik.remove();
        return std::nullopt;
    }
    m_naglowek = z.naglowek;
    return z;
}

void TDziennik::Rozpocznij(const NaglowekDziennika &naglowek, const QByteArray &dotychczas,
                           const QByteArray &ostatniKawalek)
{
    Zatrzymaj(true);
    m_nieudany = false;
    if (!Zablokuj()) {
        m_nieudany = true;
        if (m_bladBlokady == EWOULDBLOCK)
            Zglos(QStringLiteral("działa zbyt wiele kopii programu naraz"),
                  QStringLiteral("Folder: %1\nEvery journal slot (%2) is locked by a running copy.")
                      .arg(m_katalog)
                      .arg(kSloty));
        else
            Zglos(OpisBleduSystemu(m_bladBlokady), QStringLiteral("Plik: ") + SciezkaBlokady(1) +
                                                       u'\n' +
                                                       SzczegolyBleduSystemu(m_bladBlokady));
        return;
    }
    m_naglowek = naglowek;
    m_bladWatku = false;
    m_koniec = false;
    m_synchronizuj = false;
    m_dopiszNaKoniec = false;
    // Not the owner's growing buffer itself: sharing it would make the owner
    // copy all of it at its next append. When the report so far is just the
    // chunk that came last (the usual start), that chunk is shared instead.
    const bool tylkoKawalek =
        ostatniKawalek.size() == dotychczas.size() && ostatniKawalek == dotychczas;
    m_oczekujace = {tylkoKawalek ? ostatniKawalek
                                 : QByteArray(dotychczas.constData(), dotychczas.size())};
    m_oczekujaceBajty = dotychczas.size();
    m_watek =
        std::thread(&TDziennik::Pracuj, this, SciezkaDziennika(m_slot), ZapiszNaglowek(naglowek));
}

void TDziennik::Dopisz(const QByteArray &kawalek)
{
    if (kawalek.isEmpty() || !m_watek.joinable() || m_bladWatku.load(std::memory_order_relaxed))
        return;
    bool budz;
    {
        std::lock_guard l(m_mutex);
        const qsizetype bylo = m_oczekujaceBajty;
        m_oczekujace.append(kawalek);
        m_oczekujaceBajty += kawalek.size();
        budz = bylo == 0 || (bylo < kNajwiecejWPamieci && m_oczekujaceBajty >= kNajwiecejWPamieci);
    }
    // The thread sleeps without a time-out while nothing is pending, and
    // gathers for a quarter second unless much is waiting.
    if (budz)
        m_cv.notify_one();
}

void TDziennik::KoniecTransmisji()
{
    if (!m_watek.joinable())
        return;
    {
        std::lock_guard l(m_mutex);
        m_synchronizuj = true;
    }
    m_cv.notify_one();
}

void TDziennik::Zatrzymaj(bool dopisz)
{
    if (!m_watek.joinable())
        return;
    {
        std::lock_guard l(m_mutex);
        m_koniec = true;
        m_dopiszNaKoniec = dopisz;
    }
    m_cv.notify_one();
    m_watek.join();
    m_oczekujace.clear();
    m_oczekujaceBajty = 0;
}

void TDziennik::Usun()
{
    Zatrzymaj(false);
    m_nieudany = false;
    if (m_slot == 0)
        return;
    BezpiecznyZapis::Usun(SciezkaDziennika(m_slot));
}

void TDziennik::UsunNiedokonczone()
{
    // A journal being replaced when the program ended; the old one is whole.
    const QString wzor = QStringLiteral(".raport-%1.dziennik.*.tmp").arg(m_slot);
    const QFileInfoList pliki =
        QDir(m_katalog).entryInfoList({wzor, QStringLiteral("raport-%1.dziennik.nowy").arg(m_slot)},
                                      QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &plik : pliki)
        BezpiecznyZapis::Usun(plik.filePath());
}

void TDziennik::Zachowaj()
{
    Zatrzymaj(true);
    m_nieudany = false;
    if (m_slot == 0)
        return;
    const QString sciezka = SciezkaDziennika(m_slot);
    if (!QFileInfo::exists(sciezka))
        return;
    const QDateTime czas =
        m_naglowek.poczatek.isValid() ? m_naglowek.poczatek : QDateTime::currentDateTime();
    const QString baza = m_katalog + QStringLiteral("/niezapisany_") +
                         czas.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    // The first free name: a journal set aside never replaces another.
    for (int n = 1;; ++n) {
        const QString cel =
            n == 1 ? baza + QStringLiteral(".txt") : baza + QStringLiteral("_%1.txt").arg(n);
        try {
            BezpiecznyZapis::NadajNazwe(sciezka, cel);
            // The 30 days count from now, not from the download.
            ::utimes(QFile::encodeName(cel).constData(), nullptr);
            return;
        } catch (const EZapisPliku &e) {
            if (e.Kod() == EEXIST && n < 1000)
                continue;
            throw BladProgramu(
                QStringLiteral("Nie można odłożyć niezapisanego raportu (%1). Skopiuj plik %2 "
                               "w bezpieczne miejsce, zanim odbierzesz następny raport")
                    .arg(OpisBleduSystemu(e.Kod()), sciezka),
                e.Wywolanie());
        }
    }
}

void TDziennik::Zglos(const QString &powod, const QString &szczegoly)
{
    const QString tekst =
        QStringLiteral("Nie można zapisywać zapasowej kopii odbieranego raportu (%1). Odbiór "
                       "trwa dalej, ale po awarii raportu nie da się odzyskać: zapisz go albo "
                       "wyślij, gdy tylko nadejdzie")
            .arg(powod);
    QMetaObject::invokeMethod(
        this, [this, tekst, szczegoly] { emit bladZapisu(tekst, szczegoly); },
        Qt::QueuedConnection);
}

void TDziennik::BladWatku(const QString &powod, const QString &szczegoly)
{
    m_bladWatku = true;
    Zglos(powod, szczegoly);
}

int TDziennik::UtworzNaDysku(const QString &sciezka, const QByteArray &naglowek, Dysk &dysk)
{
    QList<QByteArray> kawalki;
    {
        std::lock_guard l(m_mutex);
        kawalki.swap(m_oczekujace);
        m_oczekujaceBajty = 0;
    }
    // The new journal takes the place of an older one (a restored report)
    // only once it holds the whole report so far, synced. With no older one
    // it is synced with the first flush, as everything appended later: the
    // first chunk costs no wait for the disk.
    struct stat st;
    const bool nowy = ::lstat(QFile::encodeName(sciezka).constData(), &st) != 0 && errno == ENOENT;
    // A new journal is the header, then the chunks appended as they will be
    // later; one that replaces another is written whole first.
    QByteArray dane = naglowek;
    if (!nowy) {
        for (const QByteArray &k : std::as_const(kawalki))
            dane += k;
        kawalki.clear();
    }
    try {
        BezpiecznyZapis::Opcje opcje{BezpiecznyZapis::Nazwa::Wygenerowana, 0600, false};
        opcje.pozniejszaSynchronizacjaNowego = nowy;
        const int fd = BezpiecznyZapis::ZapiszIOtworz(sciezka, dane, opcje);
        if (!kawalki.isEmpty() && !ZapiszWszystko(fd, kawalki)) {
            const int kod = errno;
            ::close(fd);
            BladWatku(OpisBleduSystemu(kod),
                      QStringLiteral("Plik: ") + sciezka + u'\n' + SzczegolyBleduSystemu(kod));
            return -1;
        }
        ++m_zapisy;
        if (nowy)
            dysk.niezsynchronizowane = dysk.folderNiezsynchronizowany = true;
        else
            ++m_synchronizacje;
        return fd;
    } catch (const EZapisPliku &e) {
        BladWatku(e.Powod().isEmpty() ? OpisBleduSystemu(e.Kod()) : e.Powod(),
                  QStringLiteral("Plik: ") + sciezka + u'\n' + e.Wywolanie());
        return -1;
    }
}

TDziennik::Partia TDziennik::CzekajNaDane(bool niezsynchronizowane)
{
    std::unique_lock l(m_mutex);
    if (!m_koniec && !m_synchronizuj) {
        // Nothing pending and everything on the disk: asleep until a chunk
        // comes. Then a quarter second of gathering, unless much is waiting.
        if (m_oczekujaceBajty == 0 && !niezsynchronizowane)
            m_cv.wait(l, [&] { return m_koniec || m_synchronizuj || m_oczekujaceBajty > 0; });
        if (!m_koniec && !m_synchronizuj)
            m_cv.wait_for(l, kOdstepZapisu, [&] {
                return m_koniec || m_synchronizuj || m_oczekujaceBajty >= kNajwiecejWPamieci;
            });
    }
    Partia p;
    p.dane.swap(m_oczekujace);
    m_oczekujaceBajty = 0;
    p.koniec = m_koniec;
    p.pisz = !m_koniec || m_dopiszNaKoniec;
    p.synchronizuj = m_synchronizuj || m_koniec;
    m_synchronizuj = false;
    return p;
}

bool TDziennik::ZapiszPartie(int fd, const QString &sciezka, const Partia &p, Dysk &dysk)
{
    if (!p.pisz)
        return true;
    if (!p.dane.isEmpty()) {
        if (!ZapiszWszystko(fd, p.dane)) {
            const int kod = errno;
            BladWatku(OpisBleduSystemu(kod),
                      QStringLiteral("Plik: ") + sciezka + u'\n' + SzczegolyBleduSystemu(kod));
            return false;
        }
        ++m_zapisy;
        dysk.niezsynchronizowane = true;
    }
    const auto teraz = std::chrono::steady_clock::now();
    if (dysk.niezsynchronizowane &&
        (p.synchronizuj || teraz - dysk.ostatnia >= kOdstepSynchronizacji)) {
        if (::fdatasync(fd) != 0) {
            const int kod = errno;
            BladWatku(OpisBleduSystemu(kod),
                      QStringLiteral("Plik: ") + sciezka + u'\n' + SzczegolyBleduSystemu(kod));
            return false;
        }
        if (dysk.folderNiezsynchronizowany) {
            try {
                BezpiecznyZapis::SynchronizujFolder(sciezka);
            } catch (const EZapisPliku &e) {
                BladWatku(OpisBleduSystemu(e.Kod()),
                          QStringLiteral("Plik: ") + sciezka + u'\n' + e.Wywolanie());
                return false;
            }
            dysk.folderNiezsynchronizowany = false;
        }
        ++m_synchronizacje;
        dysk.ostatnia = std::chrono::steady_clock::now();
        dysk.niezsynchronizowane = false;
    }
    return true;
}

void TDziennik::Pracuj(QString sciezka, QByteArray naglowek)
{
    // Named, so that it is told apart from the serial event thread (in
    // top, in a debugger, and in tests that check the port's thread ends).
    pthread_setname_np(pthread_self(), "vm-dziennik");
    Dysk dysk{std::chrono::steady_clock::now()};
    const int fd = UtworzNaDysku(sciezka, naglowek, dysk);
    if (fd < 0)
        return;
    for (;;) {
        const Partia p = CzekajNaDane(dysk.niezsynchronizowane);
        if (!ZapiszPartie(fd, sciezka, p, dysk) || p.koniec)
            break;
    }
    ::close(fd);
}
