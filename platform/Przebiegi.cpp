#include "Przebiegi.h"

#include "BezpiecznyZapis.h"
#include "Bledy.h"
#include "Czytanie.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <unistd.h>

namespace {

// A hundred runs with their messages fit many times over.
constexpr qint64 kNajwiekszyRekord = 1024 * 1024;

QString SciezkaRekordu(const QString &katalog)
{
    return katalog + QStringLiteral("/przebiegi.json");
}

QString Czas(const QDateTime &t)
{
    return t.isValid() ? t.toString(Qt::ISODate) : QString();
}

QJsonObject NaJson(const Przebieg &p)
{
    QJsonObject o;
    o.insert(QStringLiteral("poczatek"), Czas(p.poczatek));
    o.insert(QStringLiteral("koniec"), Czas(p.koniec));
    o.insert(QStringLiteral("kod"), p.kod);
    o.insert(QStringLiteral("komunikat"), p.komunikat);
    o.insert(QStringLiteral("plik"), p.plik);
    o.insert(QStringLiteral("katalog"), p.katalog);
    o.insert(QStringLiteral("system"), p.systemPlikow);
    return o;
}

Przebieg ZJson(const QJsonObject &o)
{
    Przebieg p;
    p.poczatek = QDateTime::fromString(o.value(QStringLiteral("poczatek")).toString(), Qt::ISODate);
    p.koniec = QDateTime::fromString(o.value(QStringLiteral("koniec")).toString(), Qt::ISODate);
    p.kod = o.value(QStringLiteral("kod")).toInt(-1);
    p.komunikat = o.value(QStringLiteral("komunikat")).toString();
    p.plik = o.value(QStringLiteral("plik")).toString();
    p.katalog = o.value(QStringLiteral("katalog")).toString();
    p.systemPlikow = o.value(QStringLiteral("system")).toString();
    return p;
}

// The record is the program's own file in the user's own folder: never
// followed through a link, never a FIFO, never more than the bound.
QByteArray CzytajPlik(const QString &sciezka)
{
    try {
        const std::optional<Czytanie::Plik> p =
            Czytanie::Czytaj(sciezka, kNajwiekszyRekord, Czytanie::Dowiazanie::Odrzuc);
        return p ? p->dane : QByteArray();
    } catch (const Czytanie::BladCzytania &e) {
        throw BladProgramu(e.TekstUzytkownika(), e.Szczegoly());
    }
}

QList<Przebieg> Odczytaj(const QString &sciezka)
{
    QList<Przebieg> wynik;
    const QJsonArray tablica = QJsonDocument::fromJson(CzytajPlik(sciezka)).array();
    for (const QJsonValue &w : tablica)
        if (w.isObject())
            wynik.append(ZJson(w.toObject()));
    return wynik;
}

// Held for a read, append and write, so two runs never drop each other's line.
class Blokada
{
public:
    explicit Blokada(const QString &katalog)
    {
        const QByteArray nazwa = QFile::encodeName(katalog + QStringLiteral("/przebiegi.blokada"));
        m_fd = ::open(nazwa.constData(),
                      O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
        if (m_fd >= 0)
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~Blokada()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Blokada(const Blokada &) = delete;
    Blokada &operator=(const Blokada &) = delete;

private:
    int m_fd = -1;
};

} // namespace

QList<Przebieg> CzytajPrzebiegi(const QString &katalogStanu)
{
    return Odczytaj(SciezkaRekordu(katalogStanu));
}

void DopiszPrzebieg(const QString &katalogStanu, const Przebieg &p)
{
    const QString sciezka = SciezkaRekordu(katalogStanu);
    const Blokada blokada(katalogStanu);
    QList<Przebieg> przebiegi;
    try {
        przebiegi = Odczytaj(sciezka);
    } catch (const BladProgramu &) {
        // A record that cannot be read is replaced: the new run counts more.
    }
    przebiegi.append(p);
    while (przebiegi.size() > kNajwiecejPrzebiegow)
        przebiegi.removeFirst();
    QJsonArray tablica;
    for (const Przebieg &q : przebiegi)
        tablica.append(NaJson(q));
    BezpiecznyZapis::Opcje opcje;
    opcje.trybNowego = 0600;
    try {
        BezpiecznyZapis::Zapisz(sciezka, QJsonDocument(tablica).toJson(QJsonDocument::Indented),
                                opcje);
    } catch (const EZapisPliku &e) {
        throw BladProgramu(
            QStringLiteral("Nie można zapisać przebiegu pobierania bez okna w „%1” (%2).")
                .arg(sciezka, e.Powod()),
            e.Szczegoly());
    }
}
