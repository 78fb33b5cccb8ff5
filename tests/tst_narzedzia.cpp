// Text, version and Windows-1250 helpers.

#include "Narzedzia.h"

#include "Bledy.h"
#include "Komunikaty.h"
#include "Pomocnicze.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <unistd.h>

namespace {

// What a row of the message table calls.
enum Wywolanie { Komunikat, Blad, Pytanie, WyjatekOpisany, WyjatekZwykly };

// Standard error goes into a file of its own while this lives.
class PrzechwycenieStderr
{
public:
    PrzechwycenieStderr()
    {
        if (!m_plik.open())
            return;
        std::fflush(stderr);
        m_stary = ::dup(STDERR_FILENO);
        if (m_stary >= 0)
            ::dup2(m_plik.handle(), STDERR_FILENO);
    }
    ~PrzechwycenieStderr() { Zakoncz(); }
    PrzechwycenieStderr(const PrzechwycenieStderr &) = delete;
    PrzechwycenieStderr &operator=(const PrzechwycenieStderr &) = delete;

    bool Ok() const { return m_stary >= 0; }
    // Puts standard error back and gives what was written to it.
    QByteArray Zakoncz()
    {
        if (m_stary < 0)
            return QByteArray();
        std::fflush(stderr);
        ::dup2(m_stary, STDERR_FILENO);
        ::close(m_stary);
        m_stary = -1;
        return CzytajPlik(m_plik.fileName());
    }

private:
    QTemporaryFile m_plik;
    int m_stary = -1;
};

} // namespace

class TstNarzedzia : public QObject
{
    Q_OBJECT

private slots:
    void wytnijPole_data();
    void wytnijPole();
    void zamienTekst_data();
    void zamienTekst();
    void zamienTekstKonczySieGdyZamianaTworzyWzorzecBezKonca();
    void tekstWersji_data();
    void tekstWersji();
    void wersjaPlikuTylkoWlasnegoProgramu();
    void polskieLiteryCp1250_data();
    void polskieLiteryCp1250();
    void kazdyBajtWracaBezZmian();
    void znakSpozaCp1250();
    void opisyBledowSystemu_data();
    void opisyBledowSystemu();
    void komunikatyBezOknaIdaNaStderr_data();
    void komunikatyBezOknaIdaNaStderr();
};

void TstNarzedzia::wytnijPole_data()
{
    QTest::addColumn<QByteArray>("tekst");
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<int>("wystapienie");
    QTest::addColumn<QByteArray>("koniec");
    QTest::addColumn<QByteArray>("wynik");

    QTest::newRow("first separator, rest of line")
        << QByteArray("a:b:c") << QByteArray(":") << 1 << QByteArray() << QByteArray("b:c");
    QTest::newRow("second separator")
        << QByteArray("a:b:c") << QByteArray(":") << 2 << QByteArray() << QByteArray("c");
    QTest::newRow("end mark stops the field")
        << QByteArray("a:b:c") << QByteArray(":") << 1 << QByteArray(":") << QByteArray("b");
    QTest::newRow("occurrence beyond the count")
        << QByteArray("a:b:c") << QByteArray(":") << 3 << QByteArray() << QByteArray();
    QTest::newRow("separator in last position")
        << QByteArray("a:b:") << QByteArray(":") << 2 << QByteArray() << QByteArray();
    QTest::newRow("end mark right after separator")
        << QByteArray("a::b") << QByteArray(":") << 1 << QByteArray(":") << QByteArray();
    QTest::newRow("end mark absent: rest of line")
        << QByteArray("a:bc") << QByteArray(":") << 1 << QByteArray(";") << QByteArray("bc");
    QTest::newRow("empty separator up to end mark")
        << QByteArray("abc") << QByteArray() << 0 << QByteArray("b") << QByteArray("a");
    QTest::newRow("empty separator whole text")
        << QByteArray("abc") << QByteArray() << 0 << QByteArray() << QByteArray("abc");
    QTest::newRow("two-character separator never matches")
        << QByteArray("a:b") << QByteArray("::") << 1 << QByteArray() << QByteArray();
    QTest::newRow("blank after separator kept")
        << QByteArray("x: 12") << QByteArray(":") << 1 << QByteArray() << QByteArray(" 12");
    QTest::newRow("empty text") << QByteArray() << QByteArray(":") << 1 << QByteArray(":")
                                << QByteArray();
    QTest::newRow("line without separator") << QByteArray("Odwiedziny w dniu 2024/01/02")
                                            << QByteArray(":") << 1 << QByteArray() << QByteArray();
    QTest::newRow("occurrence zero")
        << QByteArray("a:b") << QByteArray(":") << 0 << QByteArray() << QByteArray();
    QTest::newRow("negative occurrence")
        << QByteArray("a:b") << QByteArray(":") << -1 << QByteArray() << QByteArray();
    QTest::newRow("two-character end mark never matches")
        << QByteArray("a:b;;c") << QByteArray(":") << 1 << QByteArray(";;") << QByteArray("b;;c");
    QTest::newRow("windows-1250 bytes kept") << QByteArray("Dzie\xf1: \xb9\xea") << QByteArray(":")
                                             << 1 << QByteArray() << QByteArray(" \xb9\xea");
    QTest::newRow("single character after separator")
        << QByteArray("a:b") << QByteArray(":") << 1 << QByteArray() << QByteArray("b");
}

void TstNarzedzia::wytnijPole()
{
    QFETCH(QByteArray, tekst);
    QFETCH(QByteArray, separator);
    QFETCH(int, wystapienie);
    QFETCH(QByteArray, koniec);
    QFETCH(QByteArray, wynik);

    QCOMPARE(WytnijPole(tekst, separator, wystapienie, koniec), wynik);
    // The decoded form cuts the same field.
    QCOMPARE(WytnijPole(ZCp1250(tekst), ZCp1250(separator), wystapienie, ZCp1250(koniec)),
             ZCp1250(wynik));
}

void TstNarzedzia::zamienTekst_data()
{
    QTest::addColumn<QByteArray>("tekst");
    QTest::addColumn<QByteArray>("wzorzec");
    QTest::addColumn<QByteArray>("zamiana");
    QTest::addColumn<QByteArray>("wynik");

    QTest::newRow("occurrence formed by a replacement is replaced too")
        << QByteArray("abb") << QByteArray("ab") << QByteArray("a") << QByteArray("a");
    QTest::newRow("nested occurrences removed")
        << QByteArray("aabb") << QByteArray("ab") << QByteArray() << QByteArray();
    QTest::newRow("empty pattern: unchanged")
        << QByteArray("a/b") << QByteArray() << QByteArray("-") << QByteArray("a/b");
    QTest::newRow("no occurrence: unchanged")
        << QByteArray("abc") << QByteArray("/") << QByteArray("-") << QByteArray("abc");
    QTest::newRow("neighbouring slashes")
        << QByteArray("a//b") << QByteArray("/") << QByteArray("-") << QByteArray("a--b");
    QTest::newRow("date") << QByteArray(" 2024/01/31") << QByteArray("/") << QByteArray("-")
                          << QByteArray(" 2024-01-31");
    QTest::newRow("empty text") << QByteArray() << QByteArray("/") << QByteArray("-")
                                << QByteArray();
    QTest::newRow("replacement holding the pattern: one pass")
        << QByteArray("a/b/") << QByteArray("/") << QByteArray("//") << QByteArray("a//b//");
    QTest::newRow("replacement equal to the pattern")
        << QByteArray("a/b") << QByteArray("/") << QByteArray("/") << QByteArray("a/b");
    QTest::newRow("occurrence straddling the replacement start")
        << QByteArray("aabab") << QByteArray("ab") << QByteArray("b") << QByteArray("bb");
    // 40 000 replacements: every "ab" turned round until all "b" lead.
    QTest::newRow("long text turned round completely")
        << QByteArray(200, 'a') + QByteArray(200, 'b') << QByteArray("ab") << QByteArray("ba")
        << QByteArray(200, 'b') + QByteArray(200, 'a');
    QTest::newRow("longer replacement: one pass")
        << QByteArray("aab") << QByteArray("ab") << QByteArray("bba") << QByteArray("abba");
}

void TstNarzedzia::zamienTekst()
{
    QFETCH(QByteArray, tekst);
    QFETCH(QByteArray, wzorzec);
    QFETCH(QByteArray, zamiana);
    QFETCH(QByteArray, wynik);

    QCOMPARE(ZamienTekst(tekst, wzorzec, zamiana), wynik);
    QCOMPARE(ZamienTekst(ZCp1250(tekst), ZCp1250(wzorzec), ZCp1250(zamiana)), ZCp1250(wynik));
}

void TstNarzedzia::zamienTekstKonczySieGdyZamianaTworzyWzorzecBezKonca()
{
    // "ba" -> "aabb" never contains "ba" itself, yet every replacement forms
    // a new "ba" with the "b" before it: the search from the start would
    // never end. The call must return (with the one-pass result).
    const QByteArray wynik = ZamienTekst(QByteArray("bba"), QByteArray("ba"), QByteArray("aabb"));
    QCOMPARE(wynik, QByteArray("baabb"));
}

void TstNarzedzia::tekstWersji_data()
{
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("d");
    QTest::addColumn<QString>("tekst");
    QTest::newRow("zeros") << 0 << 0 << 0 << 0 << QStringLiteral("0.0.0.0");
    QTest::newRow("ordinary") << 1 << 2 << 0 << 15 << QStringLiteral("1.2.0.15");
    QTest::newRow("many digits, no leading zeros")
        << 10 << 0 << 200 << 35 << QStringLiteral("10.0.200.35");
    QTest::newRow("largest") << 65535 << 65535 << 65535 << 65535
                             << QStringLiteral("65535.65535.65535.65535");
}

void TstNarzedzia::tekstWersji()
{
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, c);
    QFETCH(int, d);
    QFETCH(QString, tekst);
    QCOMPARE(TekstWersji(quint16(a), quint16(b), quint16(c), quint16(d)), tekst);
}

void TstNarzedzia::wersjaPlikuTylkoWlasnegoProgramu()
{
    const QString wlasny = QCoreApplication::applicationFilePath();
    QCOMPARE(WersjaPliku(wlasny), WersjaProgramu());
    QCOMPARE(WersjaProgramu().count(u'.'), 3);

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    // The same executable reached through a link is still ours.
    const QString link = tmp.filePath(QStringLiteral("link"));
    QVERIFY(QFile::link(wlasny, link));
    QCOMPARE(WersjaPliku(link), WersjaProgramu());
    // A copy is another file and carries no version.
    const QString kopia = tmp.filePath(QStringLiteral("kopia"));
    QVERIFY(QFile::copy(wlasny, kopia));
    QCOMPARE(WersjaPliku(kopia), QString());
    QCOMPARE(WersjaPliku(tmp.filePath(QStringLiteral("brak"))), QString());
    QCOMPARE(WersjaPliku(QString()), QString());
}

void TstNarzedzia::polskieLiteryCp1250_data()
{
    QTest::addColumn<QByteArray>("bajty");
    QTest::addColumn<QString>("tekst");
    QTest::newRow("small letters")
        << QByteArray("\xb9\xea\xb3\x9c\xbf\x9f\xe6\xf1\xf3") << QStringLiteral("ąęłśżźćńó");
    QTest::newRow("capitals") << QByteArray("\xa5\xca\xa3\x8c\xaf\x8f\xc6\xd1\xd3")
                              << QStringLiteral("ĄĘŁŚŻŹĆŃÓ");
    QTest::newRow("punctuation") << QByteArray("\x80\x84\x96\x93\x94") << QStringLiteral("€„–“”");
    QTest::newRow("ascii and nul")
        << QByteArray("a\0b\r\n", 5) << QStringView(u"a\0b\r\n", 5).toString();
}

void TstNarzedzia::polskieLiteryCp1250()
{
    QFETCH(QByteArray, bajty);
    QFETCH(QString, tekst);
    QCOMPARE(ZCp1250(bajty), tekst);
    QCOMPARE(DoCp1250(tekst), bajty);
    QVERIFY(PasujeDoCp1250(tekst));
}

void TstNarzedzia::kazdyBajtWracaBezZmian()
{
    QByteArray wszystkie;
    for (int b = 0; b < 256; ++b)
        wszystkie.append(char(b));
    const QString tekst = ZCp1250(wszystkie);
    QCOMPARE(tekst.size(), 256);
    QCOMPARE(DoCp1250(tekst), wszystkie);
}

void TstNarzedzia::znakSpozaCp1250()
{
    const QString tekst = QStringLiteral("a日b😀c");
    QVERIFY(!PasujeDoCp1250(tekst));
    QCOMPARE(DoCp1250(tekst), QByteArray("a?b?c"));
}

void TstNarzedzia::opisyBledowSystemu_data()
{
    QTest::addColumn<int>("kod");
    QTest::addColumn<QString>("opis"); // empty: no Polish text, the system's own
    QTest::addColumn<QString>("szczegoly");

    QTest::newRow("no permission") << EACCES << u"brak uprawnień"_qs << u"errno 13: EACCES"_qs;
    QTest::newRow("operation not permitted")
        << EPERM << u"brak uprawnień"_qs << u"errno 1: EPERM"_qs;
    QTest::newRow("read-only file system")
        << EROFS << u"system plików jest tylko do odczytu"_qs << u"errno 30: EROFS"_qs;
    QTest::newRow("no space left")
        << ENOSPC << u"brak miejsca na dysku"_qs << u"errno 28: ENOSPC"_qs;
    QTest::newRow("quota exceeded")
        << EDQUOT << u"przekroczony przydział miejsca na dysku"_qs << u"errno 122: EDQUOT"_qs;
    QTest::newRow("no such file or folder")
        << ENOENT << u"nie ma takiego pliku ani folderu"_qs << u"errno 2: ENOENT"_qs;
    QTest::newRow("not a folder") << ENOTDIR << u"to nie jest folder"_qs << u"errno 20: ENOTDIR"_qs;
    QTest::newRow("is a folder") << EISDIR << u"to jest folder"_qs << u"errno 21: EISDIR"_qs;
    QTest::newRow("file name too long")
        << ENAMETOOLONG << u"za długa nazwa pliku"_qs << u"errno 36: ENAMETOOLONG"_qs;
    QTest::newRow("input/output error") << EIO << u"błąd wejścia/wyjścia"_qs << u"errno 5: EIO"_qs;
    QTest::newRow("network folder: connection gone")
        << ENOTCONN << u"połączenie z folderem sieciowym zostało zerwane"_qs
        << u"errno 107: ENOTCONN"_qs;
    QTest::newRow("network folder: changed on the server")
        << ESTALE << u"folder sieciowy został zmieniony na serwerze; zamontuj go ponownie"_qs
        << u"errno 116: ESTALE"_qs;
    QTest::newRow("network folder: server down")
        << EHOSTDOWN << u"serwer folderu sieciowego nie odpowiada"_qs << u"errno 112: EHOSTDOWN"_qs;
    QTest::newRow("network folder: server unreachable")
        << EHOSTUNREACH << u"serwer folderu sieciowego nie odpowiada"_qs
        << u"errno 113: EHOSTUNREACH"_qs;
    QTest::newRow("network folder: timed out")
        << ETIMEDOUT << u"serwer folderu sieciowego nie odpowiada"_qs
        << u"errno 110: ETIMEDOUT"_qs;
    QTest::newRow("rare: a Polish word, the system's text in the details")
        << EXDEV << QString() << u"errno 18: EXDEV (Invalid cross-device link)"_qs;
}

void TstNarzedzia::opisyBledowSystemu()
{
    QFETCH(int, kod);
    QFETCH(QString, opis);
    QFETCH(QString, szczegoly);
    QCOMPARE(PolskiOpisBleduSystemu(kod), !opis.isEmpty());
    if (!opis.isEmpty())
        QCOMPARE(OpisBleduSystemu(kod), opis);
    else
        QCOMPARE(OpisBleduSystemu(kod), u"nieoczekiwany błąd systemu"_qs);
    QVERIFY2(SzczegolyBleduSystemu(kod).startsWith(szczegoly),
             qPrintable(SzczegolyBleduSystemu(kod)));
}

void TstNarzedzia::komunikatyBezOknaIdaNaStderr_data()
{
    QTest::addColumn<int>("wywolanie");
    QTest::addColumn<QString>("tekst");
    QTest::addColumn<QString>("szczegoly");
    QTest::addColumn<QByteArray>("wypisane");
    QTest::addColumn<bool>("wynik"); // the answer, or whether the guarded body ended well

    QTest::newRow("message alone") << int(Komunikat) << u"Zapisano raport."_qs << QString()
                                   << QByteArray("Zapisano raport.\n") << false;
    QTest::newRow("message, then its technical line")
        << int(Komunikat) << u"Nie można zapisać dziennika."_qs << u"errno 28: ENOSPC"_qs
        << QByteArray("Nie można zapisać dziennika.\nerrno 28: ENOSPC\n") << false;
    QTest::newRow("error gets its full stop")
        << int(Blad) << u"Błąd podczas połączenia"_qs << u"errno 16: EBUSY"_qs
        << QByteArray("Błąd podczas połączenia.\nerrno 16: EBUSY\n") << false;
    QTest::newRow("error with its own full stop keeps one")
        << int(Blad) << u"Brak portu."_qs << QString() << QByteArray("Brak portu.\n") << false;
    QTest::newRow("line breaks inside stay one line")
        << int(Komunikat) << u"Plik:\r\na\nb\rc"_qs << u"x\ny"_qs
        << QByteArray("Plik:; a; b c\nx; y\n") << false;
    QTest::newRow("control characters from a device never reach the terminal")
        << int(Komunikat) << u"Raport 2026/12/01\x1b[2J\x1b]0;x\x07\x7f\x9b koniec"_qs
        << u"a\x1b[0m\0b"_qs << QByteArray("Raport 2026/12/01?[2J?]0;x??? koniec\na?[0m?b\n")
        << false;
    QTest::newRow("question is written and answered No")
        << int(Pytanie) << u"Czy chcesz zapisać dane?"_qs << QString()
        << QByteArray("Czy chcesz zapisać dane?\n") << false;
    QTest::newRow("guarded error: Polish text, then details")
        << int(WyjatekOpisany) << u"Port jest zajęty"_qs << u"errno 11: EAGAIN"_qs
        << QByteArray("Port jest zajęty.\nerrno 11: EAGAIN\n") << false;
    QTest::newRow("guarded plain exception")
        << int(WyjatekZwykly) << u"Stream write error"_qs << QString()
        << QByteArray("Stream write error.\n") << false;
}

void TstNarzedzia::komunikatyBezOknaIdaNaStderr()
{
    QFETCH(int, wywolanie);
    QFETCH(QString, tekst);
    QFETCH(QString, szczegoly);
    QFETCH(QByteArray, wypisane);
    QFETCH(bool, wynik);

    // No sink installed and no display: nothing may open a box; each message
    // is a line on standard error as the command line writes it.
    PrzechwycenieStderr przechwycenie;
    QVERIFY(przechwycenie.Ok());
    bool odpowiedz = false;
    switch (wywolanie) {
    case Komunikat:
        Komunikaty::Komunikat(tekst, szczegoly);
        break;
    case Blad:
        Komunikaty::PokazBlad(tekst, szczegoly);
        break;
    case Pytanie:
        odpowiedz = Komunikaty::Pytanie(tekst);
        break;
    case WyjatekOpisany:
        odpowiedz = Komunikaty::Chron([&] { throw BladProgramu(tekst, szczegoly); });
        break;
    case WyjatekZwykly:
        odpowiedz = Komunikaty::Chron([&] { throw std::runtime_error(tekst.toStdString()); });
        break;
    }
    QCOMPARE(przechwycenie.Zakoncz(), wypisane);
    QCOMPARE(odpowiedz, wynik);
}

QTEST_GUILESS_MAIN(TstNarzedzia)
#include "tst_narzedzia.moc"
