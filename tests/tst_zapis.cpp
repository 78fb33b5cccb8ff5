// Saving a report: byte-exact files, safe replacement, the attachment and its
// copy, the save dialog; and the save command of the main window.

#include "Zapis.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

namespace {

QByteArray Zawartosc(const QString &sciezka)
{
    QFile plik(sciezka);
    return plik.open(QIODevice::ReadOnly) ? plik.readAll() : QByteArray("<missing>");
}

void Utworz(const QString &sciezka, const QByteArray &dane)
{
    QFile plik(sciezka);
    QVERIFY(plik.open(QIODevice::WriteOnly));
    plik.write(dane);
}

// Files may not grow beyond a few bytes while this lives: a write past the
// limit fails even for root, which permission bits would not stop.
class LimitRozmiaruPliku
{
public:
    explicit LimitRozmiaruPliku(rlim_t bajty)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &stary);
        rlimit nowy = stary;
        nowy.rlim_cur = bajty;
        setrlimit(RLIMIT_FSIZE, &nowy);
    }
    ~LimitRozmiaruPliku() { setrlimit(RLIMIT_FSIZE, &stary); }

private:
    rlimit stary{};
};

} // namespace

class TestZapis : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void zapisBajtPoBajcie_data();
    void zapisBajtPoBajcie();
    void zapisZastepujeIstniejacyPlik();
    void nieudanyZapis_data();
    void nieudanyZapis();
    void nieudanyZapisZostawiaStaryPlik();
    void kopia_data();
    void kopia();
    void zalacznikTworzyKatalogTemp();
    void zalacznikNieDoZapisania();
    void dialogZapisu();

private:
    QTemporaryDir katalog;
};

void TestZapis::init()
{
    QVERIFY(katalog.isValid());
}

void TestZapis::zapisBajtPoBajcie_data()
{
    QTest::addColumn<QByteArray>("dane");

    QTest::newRow("empty report gives an empty file") << QByteArray();
    QTest::newRow("no line break at the end") << QByteArray("Odwiedziny w dniu: 03/05/01\r\n12");
    QTest::newRow("NUL bytes") << QByteArray("a\0b\0\r\n", 6);
    QTest::newRow("Windows-1250 letters") << QByteArray("\xb9\xe6\xea\xb3\xf1\xf3\x9c\x9f\xbf\xa5");
    QTest::newRow("bare CR and LF") << QByteArray("a\rb\nc\r");
    QTest::newRow("looks like a byte-order mark") << QByteArray("\xef\xbb\xbfx");
}

void TestZapis::zapisBajtPoBajcie()
{
    QFETCH(QByteArray, dane);
    const QString sciezka = katalog.filePath(u"raport.txt"_qs);
    ZapiszRaport(sciezka, dane);
    QCOMPARE(Zawartosc(sciezka), dane);
}

void TestZapis::zapisZastepujeIstniejacyPlik()
{
    const QString sciezka = katalog.filePath(u"stary.txt"_qs);
    Utworz(sciezka, "a much longer old report\r\n");
    ZapiszRaport(sciezka, "new");
    QCOMPARE(Zawartosc(sciezka), QByteArray("new"));
}

void TestZapis::nieudanyZapis_data()
{
    QTest::addColumn<QString>("sciezka");
    QTest::addColumn<QString>("blad");

    const QString podPlikiem = katalog.filePath(u"plik/raport.txt"_qs);
    QTest::newRow("directory that is a file")
        << podPlikiem << u"Cannot create file "_qs + podPlikiem;
    const QString brak = katalog.filePath(u"brak/raport.txt"_qs);
    QTest::newRow("missing directory") << brak << u"Cannot create file "_qs + brak;
    QTest::newRow("name of a directory")
        << katalog.path() << u"Cannot create file "_qs + katalog.path();
    QTest::newRow("device that is full") << u"/dev/full"_qs << u"Stream write error"_qs;
}

void TestZapis::nieudanyZapis()
{
    QFETCH(QString, sciezka);
    QFETCH(QString, blad);
    Utworz(katalog.filePath(u"plik"_qs), "x");
    try {
        ZapiszRaport(sciezka, "report");
        QFAIL("the save should have failed");
    } catch (const EZapisPliku &e) {
        QCOMPARE(QString::fromUtf8(e.what()), blad);
    }
}

void TestZapis::nieudanyZapisZostawiaStaryPlik()
{
    QVERIFY(QDir(katalog.path()).mkpath(u"osobny"_qs));
    const QString sciezka = katalog.filePath(u"osobny/stary.txt"_qs);
    Utworz(sciezka, "old report");
    {
        LimitRozmiaruPliku limit(16);
        QVERIFY_THROWS_EXCEPTION(EZapisPliku, ZapiszRaport(sciezka, QByteArray(4096, 'x')));
    }
    QCOMPARE(Zawartosc(sciezka), QByteArray("old report"));
    // No half-written sibling is left behind either.
    QCOMPARE(QDir(katalog.filePath(u"osobny"_qs)).entryList(QDir::Files),
             QStringList{u"stary.txt"_qs});
}

void TestZapis::kopia_data()
{
    QTest::addColumn<QString>("cel");
    QTest::addColumn<bool>("udana");

    QTest::newRow("new file") << u"kopia.txt"_qs << true;
    QTest::newRow("replaces an existing file") << u"istniejacy.txt"_qs << true;
    QTest::newRow("directory that is a file") << u"istniejacy.txt/kopia.txt"_qs << false;
    QTest::newRow("missing directory") << u"brak/kopia.txt"_qs << false;
}

void TestZapis::kopia()
{
    QFETCH(QString, cel);
    QFETCH(bool, udana);
    const QByteArray dane("report\0\xb9", 8);
    const QString zrodlo = katalog.filePath(u"zrodlo.txt"_qs);
    Utworz(zrodlo, dane);
    Utworz(katalog.filePath(u"istniejacy.txt"_qs), "old");

    QCOMPARE(KopiujRaport(zrodlo, katalog.filePath(cel)), udana);
    if (udana)
        QCOMPARE(Zawartosc(katalog.filePath(cel)), dane);
    QVERIFY(!KopiujRaport(katalog.filePath(u"brak.txt"_qs), katalog.filePath(u"x.txt"_qs)));
}

void TestZapis::zalacznikTworzyKatalogTemp()
{
    const QString temp = katalog.filePath(u"temp"_qs);
    QVERIFY(!QFile::exists(temp));
    const QString sciezka = ZapiszZalacznik(temp, u"sala_1_2.txt"_qs, "abc");
    QCOMPARE(sciezka, temp + u"/sala_1_2.txt"_qs);
    QCOMPARE(Zawartosc(sciezka), QByteArray("abc"));
    // The next send finds the folder and replaces a leftover of the same name.
    ZapiszZalacznik(temp, u"sala_1_2.txt"_qs, "de");
    QCOMPARE(Zawartosc(sciezka), QByteArray("de"));
}

void TestZapis::zalacznikNieDoZapisania()
{
    Utworz(katalog.filePath(u"plik"_qs), "x");
    const QString temp = katalog.filePath(u"plik/temp"_qs);
    try {
        ZapiszZalacznik(temp, u"a.txt"_qs, "abc");
        QFAIL("the attachment should not have been written");
    } catch (const EZapisPliku &e) {
        QCOMPARE(QString::fromUtf8(e.what()), u"Cannot create file "_qs + temp + u"/a.txt"_qs);
    }
}

void TestZapis::dialogZapisu()
{
    Utworz(katalog.filePath(u"istniejacy.txt"_qs), "old");
    const auto dialog = std::make_unique<QFileDialog>();
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    PrzygotujDialogZapisu(dialog.get());
    dialog->setDirectory(katalog.path());
    dialog->selectFile(u"sala_1_2.txt"_qs);

    QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
    QCOMPARE(dialog->nameFilters(), QStringList{u"Pliki tekstowe (*.txt)"_qs});
    QCOMPARE(dialog->directory().absolutePath(), QDir(katalog.path()).absolutePath());
    QCOMPARE(dialog->selectedFiles(), QStringList{katalog.filePath(u"sala_1_2.txt"_qs)});

    // A name typed without an extension gets ".txt".
    dialog->open();
    dialog->selectFile(u"raport"_qs);
    static_cast<QDialog *>(dialog.get())->accept();
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(dialog->selectedFiles(), QStringList{katalog.filePath(u"raport.txt"_qs)});

    // An existing file is taken without an overwrite question (which would
    // leave the dialog open).
    dialog->open();
    dialog->selectFile(u"istniejacy.txt"_qs);
    static_cast<QDialog *>(dialog.get())->accept();
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->selectedFiles(), QStringList{katalog.filePath(u"istniejacy.txt"_qs)});
}

QTEST_MAIN(TestZapis)
#include "tst_zapis.moc"
