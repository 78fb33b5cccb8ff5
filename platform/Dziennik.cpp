#include "Dziennik.h"

#include "BezpiecznyZapis.h"
#include "Bledy.h"
#include "FolderWlasny.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

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
// Kept journals older than this are removed at start-up.
constexpr int kDniPrzechowania = 30;
// A damaged header is looked for this far into the file.
constexpr qsizetype kNajdluzszyNaglowek = 4096;
// A journal left behind is read this far for its header: a whole header
// holds at most an object name of 1023 characters, written out.
constexpr qint64 kPoczatekDoNaglowka = 16384;

const QByteArray kMagia = QByteArrayLiteral("VESTIBULOMAT-DZIENNIK 1\n");
const QString kWzorZachowanego = QStringLiteral("niezapisany_*.txt");
const QString kDziennik = QStringLiteral(".dziennik");
const QString kNiepelny = QStringLiteral(".niepelny");
const QString kBlokada = QStringLiteral(".blokada");

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

// A lock file that exists: its descriptor, held, or -1 when it is not there
// or another copy holds it. Taken only while the name still is this file: a
// copy that removes a lock file holds it while it does.
int WezBlokade(const QString &sciezka, bool utworz)
{
    const QByteArray nazwa = QFile::encodeName(sciezka);
    // Nothing but a regular file is taken for a lock: a FIFO or a device
    // under the name is opened without waiting and let go.
    const int fd = ::open(
        nazwa.constData(),
        O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (utworz ? O_CREAT : 0), 0600);
    if (fd < 0)
        return -1;
    struct stat przez, pod;
    if (::fstat(fd, &przez) != 0 || !S_ISREG(przez.st_mode) ||
        ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::lstat(nazwa.constData(), &pod) != 0 ||
        przez.st_ino != pod.st_ino || przez.st_dev != pod.st_dev) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool Istnieje(const QString &sciezka)
{
    struct stat st;
    return ::lstat(QFile::encodeName(sciezka).constData(), &st) == 0;
}

// The path without its suffix.
QString Rdzen(const QString &sciezka)
{
    return sciezka.left(sciezka.lastIndexOf(u'.'));
}

} // namespace

QByteArray ZapiszNaglowek(const NaglowekDziennika &n)
{
    return kMagia + "obiekt: " + Zakoduj(n.obiekt) + "\nport: " + Zakoduj(n.port) +
           "\npoczatek: " + n.poczatek.toString(Qt::ISODate).toLatin1() +
           (n.bezOkna ? "\nzrodlo: pobieranie bez okna" : "") + "\n\n";
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
        else if (klucz == "zrodlo")
            z.naglowek.bezOkna = wartosc == "pobieranie bez okna";
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
    ZwolnijPozostawione();
    // A journal stays for the next start, with its lock file; without one
    // the lock file goes.
    if (m_blokada >= 0 && (m_sciezka.isEmpty() || !Istnieje(m_sciezka)))
        Odblokuj();
    else if (m_blokada >= 0)
        ::close(m_blokada);
}

bool TDziennik::Zablokuj()
{
    if (m_blokada >= 0)
        return true;
    if (const FolderWlasny folder = UtworzFolderWlasny(m_katalog); !folder.Gotowy()) {
        m_bladBlokady = folder.blad;
        return false;
    }
    const QString czas = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int proba = 0; proba < 100; ++proba) {
        const QString rdzen =
            m_katalog + QStringLiteral("/raport-") + czas + u'-' +
            QString::number(QRandomGenerator::system()->generate(), 16).rightJustified(8, u'0');
        const QByteArray nazwa = QFile::encodeName(rdzen + kBlokada);
        const int fd =
            ::open(nazwa.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0) {
            m_bladBlokady = errno;
            return false;
        }
        ::close(fd);
        // Another copy clearing lock files of no journal may have taken it
        // between the two steps: then the next name.
        m_blokada = WezBlokade(rdzen + kBlokada, false);
        if (m_blokada >= 0) {
            m_rdzen = rdzen;
            return true;
        }
    }
    m_bladBlokady = EEXIST;
    return false;
}

void TDziennik::Odblokuj()
{
    if (m_blokada < 0)
        return;
    // Removed while held, so that no copy takes it in between.
    ::unlink(QFile::encodeName(m_rdzen + kBlokada).constData());
    ::close(m_blokada);
    m_blokada = -1;
    m_rdzen.clear();
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

std::vector<OpisDziennika> TDziennik::Pozostawione(std::vector<Czytanie::BladCzytania> *odrzucone)
{
    std::vector<OpisDziennika> wynik;
    // A folder of another user's is not looked into: whatever lies there
    // could have been planted (the window says so at start-up).
    if (!QFileInfo(m_katalog).isDir() || !SprawdzFolderWlasny(m_katalog).Gotowy())
        return wynik;
    Przytnij();
    const QDir katalog(m_katalog);
    const QDir::Filters filtr =
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    const QStringList dzienniki = katalog.entryList(
        {QStringLiteral("raport-*") + kDziennik, QStringLiteral("raport-*") + kNiepelny}, filtr,
        QDir::Name);
    for (const QString &nazwa : dzienniki) {
        const QString sciezka = katalog.filePath(nazwa);
        const QString rdzen = Rdzen(sciezka);
        if (rdzen == m_rdzen)
            continue;
        int fd = -1;
        for (const auto &[r, f] : std::as_const(m_obce))
            if (r == rdzen)
                fd = f;
        if (fd < 0) {
            // Held by a running copy: its own.
            fd = WezBlokade(rdzen + kBlokada, true);
            if (fd < 0)
                continue;
            m_obce.append({rdzen, fd});
        }
        // What an unfinished replacement left; the journal itself is whole.
        for (const QString &resztka :
             katalog.entryList({u'.' + QFileInfo(rdzen).fileName() + QStringLiteral(".*.tmp"),
                                QFileInfo(rdzen).fileName() + QStringLiteral(".dziennik.nowy")},
                               QDir::Files | QDir::Hidden | QDir::System))
            BezpiecznyZapis::Usun(katalog.filePath(resztka));
        try {
            const std::optional<Czytanie::Plik> p = Czytanie::Czytaj(
                sciezka, NajwiekszyDziennik, Czytanie::Dowiazanie::Odrzuc, kPoczatekDoNaglowka);
            if (!p)
                continue;
            const ZawartoscDziennika z = CzytajDziennik(p->dane, p->zmiana);
            const qint64 poNaglowku = p->dane.size() - z.bajty.size();
            if (p->rozmiar <= poNaglowku) {
                // Not a byte of a report: nothing to offer.
                BezpiecznyZapis::Usun(sciezka);
                continue;
            }
            wynik.push_back({sciezka, z.naglowek, nazwa.endsWith(kNiepelny)});
        } catch (const Czytanie::BladCzytania &e) {
            if (odrzucone)
                odrzucone->push_back(e);
        }
    }
    // Lock files of no journal: a copy that ended with its report dealt
    // with, or that was killed before its first chunk.
    for (const QString &nazwa :
         katalog.entryList({QStringLiteral("raport-*") + kBlokada}, QDir::Files | QDir::Hidden)) {
        const QString rdzen = Rdzen(katalog.filePath(nazwa));
        if (rdzen == m_rdzen || Istnieje(rdzen + kDziennik) || Istnieje(rdzen + kNiepelny))
            continue;
        bool nasza = false;
        for (const auto &o : std::as_const(m_obce))
            nasza = nasza || o.first == rdzen;
        if (nasza)
            continue;
        const int fd = WezBlokade(rdzen + kBlokada, false);
        if (fd >= 0) {
            ::unlink(QFile::encodeName(rdzen + kBlokada).constData());
            ::close(fd);
        }
    }
    std::stable_sort(wynik.begin(), wynik.end(),
                     [](const OpisDziennika &a, const OpisDziennika &b) {
                         return a.naglowek.poczatek < b.naglowek.poczatek;
                     });
    return wynik;
}

void TDziennik::Przejmij(const OpisDziennika &opis)
{
    Zatrzymaj(true);
    const QString rdzen = Rdzen(opis.sciezka);
    qsizetype i = 0;
    while (i < m_obce.size() && m_obce[i].first != rdzen)
        ++i;
    if (i == m_obce.size())
        throw BladProgramu(QStringLiteral("Tego raportu nie można już przywrócić: zajęła się nim "
                                          "inna kopia programu"),
                           QStringLiteral("Plik: ") + opis.sciezka);
    // This copy's own lock, of no journal yet, goes.
    if (m_blokada >= 0 && (m_sciezka.isEmpty() || !Istnieje(m_sciezka)))
        Odblokuj();
    else if (m_blokada >= 0)
        ::close(m_blokada);
    m_rdzen = rdzen;
    m_blokada = m_obce[i].second;
    m_obce.removeAt(i);
    m_sciezka = opis.sciezka;
    m_naglowek = opis.naglowek;
    m_nieudany = false;
}

ZawartoscDziennika TDziennik::Przywroc(const OpisDziennika &opis)
{
    Przejmij(opis);
    const std::optional<Czytanie::Plik> p =
        Czytanie::Czytaj(opis.sciezka, NajwiekszyDziennik, Czytanie::Dowiazanie::Odrzuc);
    if (!p)
        return {opis.naglowek, {}};
    ZawartoscDziennika z = CzytajDziennik(p->dane, p->zmiana);
    m_naglowek = z.naglowek;
    return z;
}

void TDziennik::Odloz(const OpisDziennika &opis)
{
    // Through an object of its own: this copy's journal stays as it is.
    TDziennik obcy(m_katalog);
    const QString rdzen = Rdzen(opis.sciezka);
    for (qsizetype i = 0; i < m_obce.size(); ++i)
        if (m_obce[i].first == rdzen)
            obcy.m_obce.append(m_obce.takeAt(i));
    obcy.Przejmij(opis);
    obcy.Zachowaj();
}

void TDziennik::ZwolnijPozostawione()
{
    for (const auto &[rdzen, fd] : std::as_const(m_obce)) {
        if (!Istnieje(rdzen + kDziennik) && !Istnieje(rdzen + kNiepelny))
            ::unlink(QFile::encodeName(rdzen + kBlokada).constData());
        ::close(fd);
    }
    m_obce.clear();
}

TDziennik::Stan TDziennik::Domknij()
{
    Zatrzymaj(true);
    if (m_sciezka.isEmpty() || !Istnieje(m_sciezka))
        return Stan::Brak;
    return m_sciezka.endsWith(kNiepelny) ? Stan::Niepelny : Stan::Caly;
}

void TDziennik::Rozpocznij(const NaglowekDziennika &naglowek, const QByteArray &dotychczas,
                           const QByteArray &ostatniKawalek)
{
    Zatrzymaj(true);
    m_nieudany = false;
    if (!Zablokuj()) {
        m_nieudany = true;
        Zglos(OpisBleduSystemu(m_bladBlokady), QStringLiteral("Folder: ") + m_katalog + u'\n' +
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
    m_watek = std::thread(&TDziennik::Pracuj, this, m_rdzen + kDziennik, m_sciezka,
                          ZapiszNaglowek(naglowek));
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
    if (!m_sciezka.isEmpty())
        BezpiecznyZapis::Usun(m_sciezka);
    m_sciezka.clear();
    Odblokuj();
}

void TDziennik::Zachowaj()
{
    Zatrzymaj(true);
    m_nieudany = false;
    if (m_sciezka.isEmpty() || !Istnieje(m_sciezka)) {
        m_sciezka.clear();
        Odblokuj();
        return;
    }
    const QString sciezka = m_sciezka;
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
            ::utimensat(AT_FDCWD, QFile::encodeName(cel).constData(), nullptr, AT_SYMLINK_NOFOLLOW);
            m_sciezka.clear();
            Odblokuj();
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

QString TDziennik::Oznacz(const QString &sciezka)
{
    // On the journal thread, after a failed write: what the file holds is a
    // part of the report. A rename takes no new room on a full disk; a
    // journal that cannot even be marked is not kept as if it were whole.
    if (sciezka.isEmpty() || !Istnieje(sciezka))
        return QString();
    const QString niepelny = m_rdzen + kNiepelny;
    if (sciezka == niepelny)
        return niepelny;
    if (::rename(QFile::encodeName(sciezka).constData(), QFile::encodeName(niepelny).constData()) ==
        0) {
        try {
            BezpiecznyZapis::SynchronizujFolder(niepelny);
        } catch (const EZapisPliku &) {
            // The mark is made; only its durability is what the disk gives.
        }
        return niepelny;
    }
    BezpiecznyZapis::Usun(sciezka);
    return QString();
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

int TDziennik::UtworzNaDysku(const QString &sciezka, const QString &stara,
                             const QByteArray &naglowek, Dysk &dysk, bool &utworzony)
{
    utworzony = false;
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
    const bool nowy = !Istnieje(sciezka) && (stara.isEmpty() || !Istnieje(stara));
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
        utworzony = true;
        // The journal it replaces under another name (one marked incomplete,
        // or of an earlier version) goes once the new one is synced.
        if (!nowy && !stara.isEmpty() && stara != sciezka)
            BezpiecznyZapis::Usun(stara);
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
                BezpiecznyZapis::SynchronizujFolder(sciezka, fd);
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

void TDziennik::Pracuj(QString cel, QString stara, QByteArray naglowek)
{
    // Named, so that it is told apart from the serial event thread (in
    // top, in a debugger, and in tests that check the port's thread ends).
    pthread_setname_np(pthread_self(), "vm-dziennik");
    Dysk dysk{std::chrono::steady_clock::now()};
    bool utworzony = false;
    const int fd = UtworzNaDysku(cel, stara, naglowek, dysk, utworzony);
    if (fd < 0) {
        m_sciezka = Oznacz(utworzony ? cel : stara);
        return;
    }
    m_sciezka = cel;
    for (;;) {
        const Partia p = CzekajNaDane(dysk.niezsynchronizowane);
        if (!ZapiszPartie(fd, cel, p, dysk)) {
            ::close(fd);
            m_sciezka = Oznacz(cel);
            return;
        }
        if (p.koniec)
            break;
    }
    ::close(fd);
}
