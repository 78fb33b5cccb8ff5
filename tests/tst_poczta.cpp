// Mail hand-off through xdg-email, and the mail command of the main window.

#include "Poczta.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A stand-in xdg-email in its own directory, put alone on PATH. It records
// its arguments, NUL-separated, and ends with the given exit code.
class ZastepczyXdgEmail
{
public:
    explicit ZastepczyXdgEmail(const QString &polecenia)
    {
        staryPath = qgetenv("PATH");
        const QString skrypt = katalog.filePath(QStringLiteral("xdg-email"));
        QFile plik(skrypt);
        if (plik.open(QIODevice::WriteOnly)) {
            plik.write("#!/bin/sh\nprintf '%s\\0' \"$@\" > '" + zapis().toUtf8() + "'\n" +
                       polecenia.toUtf8() + "\n");
            plik.close();
        }
        plik.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", katalog.path().toLocal8Bit());
    }
    ~ZastepczyXdgEmail() { qputenv("PATH", staryPath); }

    QString zapis() const { return katalog.filePath(QStringLiteral("argumenty")); }

    QStringList argumenty() const
    {
        QFile plik(zapis());
        if (!plik.open(QIODevice::ReadOnly))
            return {};
        QStringList wynik;
        const QList<QByteArray> czesci = plik.readAll().split('\0');
        for (qsizetype i = 0; i + 1 < czesci.size(); ++i)
            wynik << QString::fromUtf8(czesci.at(i));
        return wynik;
    }

private:
    QTemporaryDir katalog;
    QByteArray staryPath;
};

WiadomoscPoczty Wiadomosc(const QString &adres)
{
    return {u"Obiekt: sala nr 2, Okres: 03-05-01 03-05-31"_qs, u"W załączeniu raporty.."_qs, adres,
            u"/tmp/temp/salaNr2_03-05-01_03-05-31.txt"_qs, u"salaNr2_03-05-01_03-05-31.txt"_qs};
}

} // namespace

class TestPoczta : public QObject
{
    Q_OBJECT

private slots:
    void argumenty_data();
    void argumenty();
    void wynikProgramuPoczty_data();
    void wynikProgramuPoczty();
    void brakProgramuPoczty();
    void programWciazDzialaToPrzekazanie();
    void usuwanieStarychZalacznikow();
};

void TestPoczta::argumenty_data()
{
    QTest::addColumn<QString>("adres");
    QTest::addColumn<QStringList>("koniec");

    QTest::newRow("plain address")
        << u"biuro@example.org"_qs << QStringList{u"biuro@example.org"_qs};
    QTest::newRow("address read as an option is passed as a URL")
        << u"--help@example.org"_qs << QStringList{u"mailto:--help@example.org"_qs};
    QTest::newRow("URL-special characters are escaped")
        << u"-a?b&c@x"_qs << QStringList{u"mailto:-a%3Fb%26c@x"_qs};
    QTest::newRow("empty address leaves the recipient to the user") << QString() << QStringList();
}

void TestPoczta::argumenty()
{
    QFETCH(QString, adres);
    QFETCH(QStringList, koniec);
    const WiadomoscPoczty w = Wiadomosc(adres);
    const QStringList oczekiwane =
        QStringList{u"--utf8"_qs,   u"--subject"_qs,    w.temat, u"--body"_qs, w.tresc,
                    u"--attach"_qs, w.sciezkaZalacznika} +
        koniec;
    QCOMPARE(ArgumentyPoczty(w), oczekiwane);
}

void TestPoczta::wynikProgramuPoczty_data()
{
    QTest::addColumn<QString>("polecenia");
    QTest::addColumn<int>("wynik");

    QTest::newRow("handed over") << u"exit 0"_qs << 0;
    QTest::newRow("client refused") << u"exit 3"_qs << 3;
    QTest::newRow("action failed") << u"exit 5"_qs << 5;
    QTest::newRow("killed by a signal") << u"kill -9 $$"_qs << int(PocztaBladUruchomienia);
}

void TestPoczta::wynikProgramuPoczty()
{
    QFETCH(QString, polecenia);
    QFETCH(int, wynik);
    ZastepczyXdgEmail xdg(polecenia);
    const WiadomoscPoczty w = Wiadomosc(u"biuro@example.org"_qs);

    QCOMPARE(WyslijPoczte(w), wynik);
    // The texts arrive unchanged, Polish letters included, without a shell.
    QCOMPARE(xdg.argumenty(), ArgumentyPoczty(w));
}

void TestPoczta::brakProgramuPoczty()
{
    QTemporaryDir pusty;
    const QByteArray staryPath = qgetenv("PATH");
    qputenv("PATH", pusty.path().toLocal8Bit());
    const int wynik = WyslijPoczte(Wiadomosc(u"a@b"_qs));
    qputenv("PATH", staryPath);
    QCOMPARE(wynik, int(PocztaBrakProgramu));
}

void TestPoczta::programWciazDzialaToPrzekazanie()
{
    // A client that keeps xdg-email waiting has the message: handed over.
    ZastepczyXdgEmail xdg(u"exec /bin/sleep 30 <&- >&- 2>&-"_qs);
    const int stary = CzasOczekiwaniaPoczty();
    UstawCzasOczekiwaniaPoczty(100);
    const int wynik = WyslijPoczte(Wiadomosc(u"a@b"_qs));
    UstawCzasOczekiwaniaPoczty(stary);
    QCOMPARE(wynik, int(PocztaPrzekazana));
}

void TestPoczta::usuwanieStarychZalacznikow()
{
    QTemporaryDir temp;
    QDir katalog(temp.path());
    for (const char *nazwa : {"a_1_2.txt", ".ukryty.txt", "inny.dat"}) {
        QFile plik(katalog.filePath(QString::fromLatin1(nazwa)));
        QVERIFY(plik.open(QIODevice::WriteOnly));
    }
    QVERIFY(katalog.mkdir(u"folder.txt"_qs));

    UsunStareZalaczniki(temp.path());

    QCOMPARE(katalog.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{u"folder.txt"_qs, u"inny.dat"_qs}));
    // A folder that does not exist yet is no error.
    UsunStareZalaczniki(katalog.filePath(u"brak"_qs));
}

QTEST_MAIN(TestPoczta)
#include "tst_poczta.moc"
