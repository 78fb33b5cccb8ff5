// Saving a report: byte-exact files, safe replacement, the attachment and its
// copy, the save dialog; and the save command of the main window.

#include "Zapis.h"

#include "Cp1250.h"
#include "Komunikaty.h"
#include "OknaTestowe.h"
#include "Pomocnicze.h"
#include "RaportView.h"
#include "konfiguracja.h"
#include "main.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <optional>
#include <unistd.h>

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

} // namespace

class TestZapis : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void zapisBajtPoBajcie_data();
    void zapisBajtPoBajcie();
    void dialogZapisu();

    void zapisRaportuZOkna_data();
    void zapisRaportuZOkna();
    void anulowanieNicNieZmienia();
    void nadpisanieBezPytaniaIZapisPonowny();
    void nieudanyZapisZOkna_data();
    void nieudanyZapisZOkna();
    void zamkniecieZNieudanymZapisemZostawiaOkno();
    void katalogZapisuNiedostepny_data();
    void katalogZapisuNiedostepny();

private:
    QTemporaryDir katalog;
    std::unique_ptr<OknaTestowe> okna; // the program directory with the windows
    QList<Pudelko> pudelka;
    bool odpowiedzTak = true;
    // The save dialog: what it was offered, and the path it answers with.
    QString dialogKatalog, dialogNazwa, odpowiedzDialogu;
    int pokazaniaDialogu = 0;
};

void TestZapis::initTestCase()
{
    okna = std::make_unique<OknaTestowe>(
        [this](Komunikaty::Rodzaj rodzaj, const QString &tekst) {
            pudelka.append({rodzaj, tekst});
            return odpowiedzTak;
        },
        [this](const QString &k, const QString &n) {
            ++pokazaniaDialogu;
            dialogKatalog = k;
            dialogNazwa = n;
            return odpowiedzDialogu;
        });
    QVERIFY(okna->isValid());
}

void TestZapis::init()
{
    QVERIFY(katalog.isValid());
    pudelka.clear();
    odpowiedzTak = true;
    pokazaniaDialogu = 0;
    odpowiedzDialogu.clear();
    frmKonfiguracja->ediNazwa->setText(u"sala nr 2"_qs);
    frmKonfiguracja->ediKatalog->setText(katalog.path());
}

void TestZapis::cleanupTestCase()
{
    okna.reset();
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

void TestZapis::zapisRaportuZOkna_data()
{
    QTest::addColumn<QByteArray>("raport");

    QTest::newRow("lines ending in CR LF") << QByteArray("Odwiedziny w dniu: 03/05/01\r\n7\r\n");
    QTest::newRow("no line break at the end") << QByteArray("Odwiedziny w dniu: 03/05/01\r\n7");
    QTest::newRow("NUL byte") << QByteArray("a\0b\r\n", 5);
    QTest::newRow("Windows-1250 letters") << QByteArray("Sala \xb9\xe6\xea\xb3\x9c\x9f\xbf\r\n");
    QTest::newRow("empty report") << QByteArray();
    QTest::newRow("bare CR and LF") << QByteArray("a\rb\nc\r");
}

void TestZapis::zapisRaportuZOkna()
{
    QFETCH(QByteArray, raport);
    UmiescRaport(raport);
    const QString sciezka = katalog.filePath(u"wybrany.txt"_qs);
    odpowiedzDialogu = sciezka;

    frmMain->tobZapisz->click();

    QCOMPARE(pokazaniaDialogu, 1);
    QCOMPARE(dialogKatalog, katalog.path());
    QCOMPARE(dialogNazwa, u"salaNr2_03-05-01_03-05-31.txt"_qs);
    QCOMPARE(Zawartosc(sciezka), raport);
    QVERIFY(!frmMain->NiezapisaneDane);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobZapisz), int(obrZapisany));
    QVERIFY(frmMain->tobZapisz->isEnabled());
    QVERIFY(pudelka.isEmpty());
}

void TestZapis::anulowanieNicNieZmienia()
{
    UmiescRaport("report");
    const QStringList przed = QDir(katalog.path()).entryList(QDir::Files);

    frmMain->tobZapisz->click();

    QCOMPARE(pokazaniaDialogu, 1);
    QCOMPARE(QDir(katalog.path()).entryList(QDir::Files), przed);
    QVERIFY(frmMain->NiezapisaneDane);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobZapisz), int(obrZapisz));
    QVERIFY(pudelka.isEmpty());
}

void TestZapis::nadpisanieBezPytaniaIZapisPonowny()
{
    UmiescRaport("new report");
    const QString pierwszy = katalog.filePath(u"istniejacy.txt"_qs);
    Utworz(pierwszy, "an old and longer report");
    odpowiedzDialogu = pierwszy;
    frmMain->tobZapisz->click();
    QCOMPARE(Zawartosc(pierwszy), QByteArray("new report"));
    QVERIFY(pudelka.isEmpty()); // no overwrite question

    // Saved again under another name: both files, the flag stays cleared.
    const QString drugi = katalog.filePath(u"drugi.txt"_qs);
    odpowiedzDialogu = drugi;
    frmMain->tobZapisz->click();
    QCOMPARE(Zawartosc(drugi), QByteArray("new report"));
    QCOMPARE(Zawartosc(pierwszy), QByteArray("new report"));
    QVERIFY(!frmMain->NiezapisaneDane);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobZapisz), int(obrZapisany));
}

void TestZapis::nieudanyZapisZOkna_data()
{
    QTest::addColumn<QString>("cel");
    QTest::addColumn<bool>("limitRozmiaru");
    QTest::addColumn<QString>("blad");
    QTest::addColumn<QString>("szczegoly"); // the errno name in the box's details

    const auto nieMozna = [this](const QString &cel, const QString &reszta) -> QString {
        return u"Nie można utworzyć pliku \""_qs + katalog.filePath(cel) + u"\": "_qs + reszta;
    };
    const QString dlugaNazwa = QString(300, u'n') + u".txt"_qs;
    QTest::newRow("device that is full")
        << u"/dev/full"_qs << false
        << u"Nie udało się zapisać pliku \"/dev/full\": brak miejsca na dysku. "
           "Zwolnij miejsce na dysku lub wybierz inny folder."_qs
        << u"errno 28: ENOSPC"_qs;
    QTest::newRow("directory that is a file")
        << u"stary.txt/raport.txt"_qs << false
        << nieMozna(u"stary.txt/raport.txt"_qs,
                    u"to nie jest folder. Wybierz istniejący folder."_qs)
        << u"errno 20: ENOTDIR"_qs;
    QTest::newRow("missing directory")
        << u"brak/raport.txt"_qs << false
        << nieMozna(u"brak/raport.txt"_qs,
                    u"nie ma takiego pliku ani folderu. Wybierz istniejący folder."_qs)
        << u"errno 2: ENOENT"_qs;
    QTest::newRow("name of a directory")
        << u"okno"_qs << false
        << nieMozna(u"okno"_qs, u"to jest folder. Wybierz inną nazwę pliku."_qs)
        << u"errno 21: EISDIR"_qs;
    QTest::newRow("file name too long")
        << dlugaNazwa << false
        << nieMozna(dlugaNazwa, u"za długa nazwa pliku. Wybierz krótszą nazwę pliku."_qs)
        << u"errno 36: ENAMETOOLONG"_qs;
    QTest::newRow("size limit reached over an existing file")
        << u"stary.txt"_qs << true
        << u"Nie udało się zapisać pliku \""_qs + katalog.filePath(u"stary.txt"_qs) +
               u"\": plik jest za duży. Zwolnij miejsce na dysku lub wybierz inny folder."_qs
        << u"errno 27: EFBIG"_qs;
}

void TestZapis::nieudanyZapisZOkna()
{
    QFETCH(QString, cel);
    QFETCH(bool, limitRozmiaru);
    QFETCH(QString, blad);
    QFETCH(QString, szczegoly);
    QVERIFY(QDir(katalog.path()).mkpath(u"okno"_qs));
    const QString stary = katalog.filePath(u"stary.txt"_qs);
    Utworz(stary, "old");
    UmiescRaport(QByteArray(4096, 'r'));
    odpowiedzDialogu = cel.startsWith(u'/') ? cel : katalog.filePath(cel);
    const QStringList przed = QDir(katalog.path()).entryList(QDir::AllEntries);

    {
        std::optional<LimitRozmiaruPliku> limit;
        if (limitRozmiaru)
            limit.emplace(16, true);
        frmMain->tobZapisz->click();
    }

    QCOMPARE(pudelka.size(), 1);
    QCOMPARE(pudelka.at(0).rodzaj, Komunikaty::Rodzaj::Blad);
    QCOMPARE(pudelka.at(0).tekst, blad);
    QVERIFY2(Komunikaty::OstatnieSzczegoly().contains(szczegoly),
             qPrintable(Komunikaty::OstatnieSzczegoly()));
    QVERIFY(frmMain->NiezapisaneDane);
    QCOMPARE(TfrmMain::IndeksObrazka(frmMain->tobZapisz), int(obrZapisz));
    // The old file is intact and no half-written sibling is left behind.
    QCOMPARE(Zawartosc(stary), QByteArray("old"));
    QCOMPARE(QDir(katalog.path()).entryList(QDir::AllEntries), przed);
}

void TestZapis::zamkniecieZNieudanymZapisemZostawiaOkno()
{
    UmiescRaport("report");
    odpowiedzDialogu = u"/dev/full"_qs;

    QVERIFY(!frmMain->close());

    QCOMPARE(pudelka.size(), 2);
    QCOMPARE(pudelka.at(0).rodzaj, Komunikaty::Rodzaj::Pytanie);
    QCOMPARE(pudelka.at(1).tekst, u"Nie udało się zapisać pliku \"/dev/full\": brak miejsca na "
                                  "dysku. Zwolnij miejsce na dysku lub wybierz inny folder."_qs);
    QVERIFY(frmMain->NiezapisaneDane);
}

void TestZapis::katalogZapisuNiedostepny_data()
{
    QTest::addColumn<QString>("nazwa");
    QTest::addColumn<QString>("tekst");
    QTest::addColumn<QString>("blad");

    const QString dalej = u" Wybierz inny katalog w oknie zapisu, a na stałe zmień go w oknie "
                          "Konfiguracja, na karcie „Zapisywanie”."_qs;
    QTest::newRow("missing folder")
        << u"brak/"_qs << u"Katalog zapisu %1 nie istnieje."_qs + dalej << u"ENOENT"_qs;
    QTest::newRow("a file, not a folder")
        << u"plik.txt"_qs << u"Katalog zapisu %1 nie jest katalogiem."_qs + dalej << u"ENOTDIR"_qs;
    QTest::newRow("folder without write permission")
        << u"zamkniety"_qs
        << u"Nie można zapisywać w katalogu zapisu %1: brak uprawnień."_qs + dalej << u"EACCES"_qs;
}

void TestZapis::katalogZapisuNiedostepny()
{
    QFETCH(QString, nazwa);
    QFETCH(QString, tekst);
    QFETCH(QString, blad);
    if (blad == u"EACCES"_qs && geteuid() == 0)
        QSKIP("root may write into any folder");
    Utworz(katalog.filePath(u"plik.txt"_qs), "x");
    QVERIFY(QDir(katalog.path()).mkpath(u"zamkniety"_qs));
    QVERIFY(QFile::setPermissions(katalog.filePath(u"zamkniety"_qs),
                                  QFile::ReadOwner | QFile::ExeOwner));
    const QString skonfigurowany = katalog.filePath(nazwa);
    frmKonfiguracja->ediKatalog->setText(skonfigurowany);
    UmiescRaport("report");
    const QString sciezka = katalog.filePath(u"wybrany.txt"_qs);
    odpowiedzDialogu = sciezka;

    frmMain->tobZapisz->click();

    QFile::setPermissions(katalog.filePath(u"zamkniety"_qs),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // The box names the folder before the dialog, which starts in the
    // default save folder (a portable copy: the program's own folder); the
    // report can still be saved wherever the user picks.
    QCOMPARE(pudelka.size(), 1);
    QCOMPARE(pudelka.at(0).rodzaj, Komunikaty::Rodzaj::Blad);
    QCOMPARE(pudelka.at(0).tekst, tekst.arg(skonfigurowany));
    QVERIFY2(Komunikaty::OstatnieSzczegoly().contains(blad),
             qPrintable(Komunikaty::OstatnieSzczegoly()));
    QCOMPARE(pokazaniaDialogu, 1);
    QCOMPARE(dialogKatalog, okna->path() + u'/');
    QCOMPARE(Zawartosc(sciezka), QByteArray("report"));
    QVERIFY(!frmMain->NiezapisaneDane);
    QCOMPARE(frmKonfiguracja->ediKatalog->text(), skonfigurowany);
}

QTEST_MAIN(TestZapis)
#include "tst_zapis.moc"
