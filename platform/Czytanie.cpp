#include "Czytanie.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Czytanie {

QString RodzajPliku(mode_t tryb)
{
    if (S_ISFIFO(tryb))
        return QStringLiteral("kolejka FIFO");
    if (S_ISCHR(tryb) || S_ISBLK(tryb))
        return QStringLiteral("urządzenie");
    if (S_ISSOCK(tryb))
        return QStringLiteral("gniazdo");
    if (S_ISDIR(tryb))
        return QStringLiteral("folder");
    if (S_ISLNK(tryb))
        return QStringLiteral("dowiązanie");
    return QStringLiteral("plik specjalny");
}

namespace {

QString Mib(qint64 bajty)
{
    return QString::number(double(bajty) / double(1 << 20), 'f', bajty % (1 << 20) ? 1 : 0);
}

[[noreturn]] void NieZwykly(const QString &sciezka, mode_t tryb)
{
    throw BladCzytania(
        sciezka, BladCzytania::Przyczyna::NieZwyklyPlik, EINVAL,
        QStringLiteral("Plik \"%1\" nie jest zwykłym plikiem (to %2), więc program "
                       "go nie odczytuje. Zastąp go zwykłym plikiem albo usuń")
            .arg(sciezka, RodzajPliku(tryb)),
        QStringLiteral("Plik: %1\nst_mode: 0%2").arg(sciezka).arg(qulonglong(tryb), 0, 8));
}

[[noreturn]] void ZaDuzy(const QString &sciezka, qint64 rozmiar, qint64 granica)
{
    throw BladCzytania(sciezka, BladCzytania::Przyczyna::ZaDuzy, EFBIG,
                       QStringLiteral("Plik \"%1\" jest za duży (ponad %2 MiB), więc program go "
                                      "nie odczytuje. Zastąp go właściwym plikiem albo usuń")
                           .arg(sciezka, Mib(granica)),
                       QStringLiteral("Plik: %1\nRozmiar: %2 bajtów, najwyżej %3")
                           .arg(sciezka)
                           .arg(rozmiar)
                           .arg(granica));
}

[[noreturn]] void Systemowy(const QString &sciezka, const char *czynnosc, int kod)
{
    if (kod == ELOOP)
        throw BladCzytania(sciezka, BladCzytania::Przyczyna::Dowiazanie, ELOOP,
                           QStringLiteral("Plik \"%1\" jest dowiązaniem, a program nie odczytuje "
                                          "tego pliku przez dowiązanie. Usuń dowiązanie")
                               .arg(sciezka),
                           QStringLiteral("Plik: %1\n%2: %3")
                               .arg(sciezka, QLatin1String(czynnosc), SzczegolyBleduSystemu(kod)));
    throw BladCzytania(
        sciezka, BladCzytania::Przyczyna::System, kod,
        QStringLiteral("Nie można odczytać pliku \"%1\" (%2)").arg(sciezka, OpisBleduSystemu(kod)),
        QStringLiteral("Plik: %1\n%2: %3")
            .arg(sciezka, QLatin1String(czynnosc), SzczegolyBleduSystemu(kod)));
}

struct Deskryptor
{
    int fd = -1;
    ~Deskryptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

BladCzytania::BladCzytania(const QString &plik, Przyczyna przyczyna, int kod, const QString &tekst,
                           const QString &szczegoly)
    : std::runtime_error(tekst.toStdString())
    , m_plik(plik)
    , m_przyczyna(przyczyna)
    , m_kod(kod)
    , m_tekst(tekst)
    , m_szczegoly(szczegoly)
{}

std::optional<Plik> Czytaj(const QString &sciezka, qint64 granica, Dowiazanie dowiazanie,
                           qint64 ile)
{
    const QByteArray nazwa = QFile::encodeName(sciezka);
    const bool podazaj = dowiazanie == Dowiazanie::Podazaj;
    // A look before the open: a device is never opened (opening some does
    // something), and a link that is refused is named as such.
    struct stat st;
    if ((podazaj ? ::stat(nazwa.constData(), &st) : ::lstat(nazwa.constData(), &st)) != 0) {
        if (errno == ENOENT)
            return std::nullopt;
        Systemowy(sciezka, podazaj ? "stat" : "lstat", errno);
    }
    if (S_ISLNK(st.st_mode))
        Systemowy(sciezka, "lstat", ELOOP);
    if (!S_ISREG(st.st_mode))
        NieZwykly(sciezka, st.st_mode);

    // Something else may be put in its place after the look: the open never
    // waits (a FIFO), and the descriptor is checked again.
    Deskryptor d;
    d.fd = ::open(nazwa.constData(),
                  O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (podazaj ? 0 : O_NOFOLLOW));
    if (d.fd < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        Systemowy(sciezka, "open", errno);
    }
    if (::fstat(d.fd, &st) != 0)
        Systemowy(sciezka, "fstat", errno);
    if (!S_ISREG(st.st_mode))
        NieZwykly(sciezka, st.st_mode);
    if (st.st_size > granica)
        ZaDuzy(sciezka, st.st_size, granica);

    Plik p;
    p.rozmiar = st.st_size;
    p.zmiana =
        QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec).addMSecs(st.st_mtim.tv_nsec / 1000000);
    // A file that grows while it is read is still held to its bound: one
    // byte past it is enough to tell.
    const qint64 najwiecej = ile >= 0 ? std::min(ile, granica) : granica + 1;
    p.dane.resize(qsizetype(std::min<qint64>(najwiecej, st.st_size)));
    qint64 przeczytane = 0;
    for (;;) {
        if (przeczytane == p.dane.size()) {
            if (przeczytane >= najwiecej)
                break;
            p.dane.resize(qsizetype(std::min<qint64>(najwiecej, przeczytane + 65536)));
        }
        const ssize_t n =
            ::read(d.fd, p.dane.data() + przeczytane, std::size_t(p.dane.size() - przeczytane));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            Systemowy(sciezka, "read", errno);
        if (n == 0)
            break;
        przeczytane += n;
    }
    p.dane.resize(qsizetype(przeczytane));
    if (ile < 0 && przeczytane > granica)
        ZaDuzy(sciezka, przeczytane, granica);
    return p;
}

} // namespace Czytanie
