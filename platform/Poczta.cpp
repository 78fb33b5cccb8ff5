#include "Poczta.h"

#include "FolderWlasny.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <algorithm>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int &czasOczekiwania()
{
    static int ms = 2000;
    return ms;
}

// A send folder's name: the date and time of the send, with "_2", "_3" ...
// for further sends within the same second.
const QString formatWysylki = QStringLiteral("yyyy-MM-dd_HH-mm-ss");

bool toKatalogWysylki(const QString &nazwa)
{
    static const QRegularExpression wzor(
        QStringLiteral(R"(^\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d(_\d+)?$)"));
    return wzor.match(nazwa).hasMatch();
}

// The path as xdg-email hands it on: links resolved. The part that does not
// exist yet is taken as written.
QString rzeczywistaSciezka(const QString &sciezka)
{
    QString istniejaca = QDir::cleanPath(QFileInfo(sciezka).absoluteFilePath());
    QString reszta;
    while (!QFileInfo::exists(istniejaca)) {
        const qsizetype ukosnik = istniejaca.lastIndexOf(u'/');
        if (ukosnik <= 0)
            return sciezka;
        reszta = istniejaca.mid(ukosnik) + reszta;
        istniejaca.truncate(ukosnik);
    }
    return QFileInfo(istniejaca).canonicalFilePath() + reszta;
}

bool sciezkaDochodzi(const QString &sciezka)
{
    return std::none_of(sciezka.cbegin(), sciezka.cend(), ZnakPsujeSciezkeZalacznika);
}

struct KatalogZalacznikow
{
    QString sciezka;
    bool wspolny; // inside the system's temporary folder, which all users share
    int wlasnych; // how many folders at its end are the program's own
};

// The folders that may hold attachments, in the order they are tried.
QList<KatalogZalacznikow> katalogiZalacznikow(const QString &katalogTemp)
{
    const QString podreczny =
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
        QStringLiteral("/Vestibulomat/temp");
    QList<KatalogZalacznikow> katalogi{{katalogTemp, false, katalogTemp == podreczny ? 2 : 1},
                                       {podreczny, false, 2}};
    const QString wlasny = QStringLiteral("/vestibulomat-") + QString::number(::geteuid());
    for (const QString &wspolny : {QDir::tempPath(), QStringLiteral("/tmp")}) {
        if (katalogi.constLast().sciezka != wspolny + wlasny)
            katalogi.append({wspolny + wlasny, true, 1});
    }
    return katalogi;
}

// A folder in the shared temporary folder is used only when it is this
// user's own real folder (not a link) that nobody else may enter.
bool wlasnyFolder(const struct stat &st)
{
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

// A folder of the user's own: others may not swap the attachment in it.
bool utworzKatalog(const QString &sciezka)
{
    const QByteArray nazwa = QFile::encodeName(sciezka);
    // The umask may have taken some of the user's own bits.
    return ::mkdir(nazwa.constData(), 0700) == 0 && ::chmod(nazwa.constData(), 0700) == 0;
}

// The program's own folders are made the user's alone; one of another
// user's is not used.
bool wlasnyKatalog(const KatalogZalacznikow &katalog)
{
    if (!katalog.wspolny)
        return !UtworzFolderWlasny(katalog.sciezka, katalog.wlasnych).obcy;
    const QByteArray nazwa = QFile::encodeName(katalog.sciezka);
    utworzKatalog(katalog.sciezka);
    struct stat st;
    return ::lstat(nazwa.constData(), &st) == 0 && wlasnyFolder(st);
}

// Calls co for each entry of the open folder, by name.
template <typename F> void dlaKazdego(int katalog, F co)
{
    DIR *d = ::fdopendir(::openat(katalog, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!d)
        return;
    while (const dirent *wpis = ::readdir(d)) {
        const QByteArray nazwa(wpis->d_name);
        if (nazwa != "." && nazwa != "..")
            co(nazwa);
    }
    ::closedir(d);
}

// Removes the program's own old files directly in the open folder: regular
// *.txt files, never a link or what it points to.
void usunStarePliki(int katalog, qint64 granica)
{
    dlaKazdego(katalog, [&](const QByteArray &nazwa) {
        struct stat st;
        if (nazwa.endsWith(".txt") &&
            ::fstatat(katalog, nazwa.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_mtime < granica)
            ::unlinkat(katalog, nazwa.constData(), 0);
    });
}

// Blanks and control characters around an address do not count: the
// address is handed over without them.
QString przytnij(const QString &tekst)
{
    qsizetype poczatek = 0, koniec = tekst.size();
    while (poczatek < koniec && tekst.at(poczatek).unicode() <= 32)
        ++poczatek;
    while (koniec > poczatek && tekst.at(koniec - 1).unicode() <= 32)
        --koniec;
    return tekst.mid(poczatek, koniec - poczatek);
}

} // namespace

void UstawCzasOczekiwaniaPoczty(int milisekundy)
{
    czasOczekiwania() = milisekundy;
}

int CzasOczekiwaniaPoczty()
{
    return czasOczekiwania();
}

QStringList ArgumentyPoczty(const WiadomoscPoczty &wiadomosc)
{
    QStringList argumenty{QStringLiteral("--utf8"),
                          QStringLiteral("--subject"),
                          wiadomosc.temat,
                          QStringLiteral("--body"),
                          wiadomosc.tresc,
                          QStringLiteral("--attach"),
                          wiadomosc.sciezkaZalacznika};
    // With no address the client opens the message with an empty recipient
    // field and the user fills it in.
    if (const QString adres = przytnij(wiadomosc.adres); !adres.isEmpty()) {
        argumenty << QStringLiteral("mailto:") +
                         QString::fromLatin1(QUrl::toPercentEncoding(adres, "@"));
    }
    return argumenty;
}

QString PowodBleduAdresu(const QString &wpisany)
{
    const QString adres = przytnij(wpisany);
    if (adres.isEmpty())
        return {};
    if (adres.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
        return QStringLiteral("Adres nie może zaczynać się od „mailto:”");
    // The way to the client reads these as its own syntax: URL parameters,
    // percent escapes, quotes of a command line, a list of recipients.
    static const QString zakazane = QStringLiteral("?&%*'\"`\\<>,;");
    for (const QChar znak : adres) {
        const QChar::Category rodzaj = znak.category();
        if (rodzaj == QChar::Other_Control || rodzaj == QChar::Other_Format)
            return QStringLiteral("Adres zawiera znak sterujący");
        if (znak.isSpace())
            return QStringLiteral("Adres zawiera odstęp");
        if (zakazane.contains(znak))
            return QStringLiteral("Adres zawiera niedozwolony znak „%1”").arg(znak);
    }
    const qsizetype malpa = adres.indexOf(u'@');
    if (malpa < 0)
        return QStringLiteral("Brak znaku „@”");
    if (adres.indexOf(u'@', malpa + 1) >= 0)
        return QStringLiteral("Adres zawiera więcej niż jeden znak „@”");
    if (malpa == 0)
        return QStringLiteral("Brak nazwy przed znakiem „@”");
    const QString domena = adres.mid(malpa + 1);
    if (domena.isEmpty())
        return QStringLiteral("Brak domeny po znaku „@”");
    if (domena.startsWith(u'.') || domena.endsWith(u'.') || domena.contains(QLatin1String("..")))
        return QStringLiteral("Domena „%1” jest niepełna").arg(domena);
    return {};
}

QString KomunikatBleduAdresu(const QString &adres)
{
    const QString powod = PowodBleduAdresu(adres);
    if (powod.isEmpty())
        return {};
    return QStringLiteral("Adres e-mail „%1” jest nieprawidłowy: wpisz jeden adres w postaci "
                          "nazwa@domena. %2.")
        .arg(przytnij(adres), powod);
}

int WyslijPoczte(const WiadomoscPoczty &wiadomosc, QObject *kontekst, KoniecPoczty poKoncu)
{
    // Checked here as well, so that no caller can hand raw text over.
    if (!PowodBleduAdresu(wiadomosc.adres).isEmpty())
        return PocztaZlyAdres;
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    if (program.isEmpty())
        return PocztaBrakProgramu;
    // Not parented and not deleted while running, not even when the program
    // ends: destroying a QProcess kills its child, and xdg-email may be
    // waiting for the client in which the user is still writing.
    auto *proces = new QProcess;
    proces->setProgram(program);
    proces->setArguments(ArgumentyPoczty(wiadomosc));
    proces->setStandardInputFile(QProcess::nullDevice());
    proces->setProcessChannelMode(QProcess::ForwardedChannels);
    // A session of its own: a hang-up or Ctrl+C in the terminal this program
    // was started from does not reach xdg-email and the client it waits for.
    proces->setChildProcessModifier([] { ::setsid(); });

    QEventLoop petla;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &petla, &QEventLoop::quit);
    QObject::connect(proces, &QProcess::finished, &petla, &QEventLoop::quit);
    QObject::connect(proces, &QProcess::errorOccurred, &petla, [&petla](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            petla.quit();
    });

    proces->start();
    limit.start(czasOczekiwania());
    // Painting, timers and serial events go on; clicks wait, so the command
    // cannot be started a second time while this one is waiting.
    if (proces->state() != QProcess::NotRunning)
        petla.exec(QEventLoop::ExcludeUserInputEvents);

    if (proces->state() != QProcess::NotRunning) {
        // Still busy: the client has the message. Let the process finish on
        // its own and clean up after it; a failure it reports later still
        // reaches the caller.
        QObject::disconnect(proces, nullptr, &petla, nullptr);
        if (poKoncu) {
            QObject::connect(proces, &QProcess::finished, kontekst ? kontekst : proces,
                             [poKoncu](int kod, QProcess::ExitStatus stan) {
                                 poKoncu(stan == QProcess::NormalExit ? kod : 128 + kod);
                             });
        }
        QObject::connect(proces, &QProcess::finished, proces, &QObject::deleteLater);
        return PocztaWToku;
    }

    int wynik = PocztaBladUruchomienia;
    if (proces->error() != QProcess::FailedToStart && proces->exitStatus() == QProcess::NormalExit)
        wynik = proces->exitCode();
    proces->deleteLater();
    return wynik;
}

bool ZnakPsujeSciezkeZalacznika(QChar znak)
{
    return znak == u',' || znak == u'\'' || znak == u'\\' || znak == u'\n';
}

QString NazwaZalacznika(const QString &nazwaRaportu)
{
    QString nazwa = nazwaRaportu;
    for (QChar &znak : nazwa) {
        if (ZnakPsujeSciezkeZalacznika(znak))
            znak = u'-';
    }
    return nazwa;
}

QString NowyKatalogWysylki(const QString &katalogTemp)
{
    const QList<KatalogZalacznikow> katalogi = katalogiZalacznikow(katalogTemp);
    QString katalog;
    for (const KatalogZalacznikow &kandydat : katalogi) {
        if (sciezkaDochodzi(rzeczywistaSciezka(kandydat.sciezka)) && wlasnyKatalog(kandydat)) {
            katalog = kandydat.sciezka;
            break;
        }
    }
    // Without a better choice the program's own folder is used: its
    // attachment then reaches the client cut, as it would without this.
    // Never one of another user's.
    if (katalog.isEmpty()) {
        katalog = katalogTemp;
        if (const FolderWlasny folder = UtworzFolderWlasny(katalog, katalogi.constFirst().wlasnych);
            folder.obcy)
            throw EFolderWlasny(folder);
    }

    const QString znacznik = QDateTime::currentDateTime().toString(formatWysylki);
    const QString pierwszy = katalog + u'/' + znacznik;
    // mkdir fails on an existing folder, so a folder made here is this
    // send's alone, even for two sends within one second.
    for (int numer = 1; numer < 1000; ++numer) {
        const QString sciezka = numer == 1 ? pierwszy : pierwszy + u'_' + QString::number(numer);
        if (utworzKatalog(sciezka))
            return sciezka;
        if (errno != EEXIST)
            break;
    }
    return pierwszy;
}

void UsunStareZalaczniki(const QString &katalogTemp)
{
    if (katalogTemp.isEmpty())
        return;
    const qint64 granica = QDateTime::currentDateTime().addDays(-7).toSecsSinceEpoch();
    for (const KatalogZalacznikow &kandydat : katalogiZalacznikow(katalogTemp)) {
        // Folders are opened without following a link, and everything in
        // them is reached from the open folder: a link swapped in meanwhile
        // leads nowhere.
        const int katalog = ::open(QFile::encodeName(kandydat.sciezka).constData(),
                                   O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (katalog < 0)
            continue;
        struct stat st;
        if (::fstat(katalog, &st) == 0 && st.st_uid == ::geteuid() &&
            (!kandydat.wspolny || wlasnyFolder(st))) {
            usunStarePliki(katalog, granica);
            dlaKazdego(katalog, [&](const QByteArray &nazwa) {
                if (!toKatalogWysylki(QString::fromLatin1(nazwa)))
                    return;
                const int wysylka = ::openat(katalog, nazwa.constData(),
                                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (wysylka < 0)
                    return;
                usunStarePliki(wysylka, granica);
                ::close(wysylka);
                // Only an empty folder goes; one with a younger file stays.
                ::unlinkat(katalog, nazwa.constData(), AT_REMOVEDIR);
            });
        }
        ::close(katalog);
    }
}
