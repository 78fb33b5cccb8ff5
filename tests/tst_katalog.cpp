// The directory chooser on a temporary tree: opening rows, what the buttons
// and keys return, "Nowy", and picking a file system that cannot be entered.

#include "Katalog.h"
#include "Komunikaty.h"
#include "UjscieTestowe.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <future>
#include <memory>
#include <sys/stat.h>

class TstKatalog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsInWorkingDirectoryWithPathAndSubdirectories();
    void openingRows_data();
    void openingRows();
    void buttonsAndCloseBoxGiveResults_data();
    void buttonsAndCloseBoxGiveResults();
    void enterAndEscapeDoNotClose_data();
    void enterAndEscapeDoNotClose();
    void keepsItsDirectoryBetweenOpenings();
    void newFolder_data();
    void newFolder();
    void joiningTypedName_data();
    void joiningTypedName();
    void drivePick_data();
    void drivePick();
    void driveListStartsWithRootAndShowsCurrentVolume();
    void mountedVolumesFromMountinfo_data();
    void mountedVolumesFromMountinfo();
    void folderNameNotInUtf8IsShownAndRefused();

private:
    QString sciezka(const QString &wzgledna = QString()) const;
    QTreeWidgetItem *wiersz(const QString &pelna) const;
    void pokaz();

    QTemporaryDir m_tmp;
    QString m_baza;
    std::unique_ptr<TfrmKatalog> m_okno;
    QStringList m_komunikaty;
    QList<QStringList> m_pytania;
    QString m_odpowiedz;
};

QString TstKatalog::sciezka(const QString &wzgledna) const
{
    return wzgledna.isEmpty() ? m_baza : m_baza + u'/' + wzgledna;
}

QTreeWidgetItem *TstKatalog::wiersz(const QString &pelna) const
{
    const auto wiersze = m_okno->DirectoryListBox1->findItems(
        QStringLiteral("*"), Qt::MatchWildcard | Qt::MatchRecursive);
    for (QTreeWidgetItem *w : wiersze)
        if (w->data(0, TDirectoryListBox::RolaSciezki).toString() == pelna)
            return w;
    return nullptr;
}

void TstKatalog::pokaz()
{
    m_okno->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_okno.get()));
}

void TstKatalog::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    m_baza = QFileInfo(m_tmp.path()).canonicalFilePath();
    QDir d(m_baza);
    QVERIFY(d.mkpath(QStringLiteral("alfa/gamma")));
    QVERIFY(d.mkpath(QStringLiteral("beta")));
    QVERIFY(d.mkpath(QStringLiteral(".ukryty")));
    NagrywajKomunikaty([this](Komunikaty::Rodzaj, const QString &tekst) {
        m_komunikaty << tekst;
        return true;
    });
    TfrmKatalog::UstawWejscie([this](QWidget *, const QString &tytul, const QString &podp) {
        m_pytania << QStringList{tytul, podp};
        return m_odpowiedz;
    });
}

void TstKatalog::init()
{
    QVERIFY(QDir::setCurrent(m_baza));
    m_okno = std::make_unique<TfrmKatalog>();
    m_komunikaty.clear();
    m_pytania.clear();
    m_odpowiedz.clear();
}

void TstKatalog::cleanup()
{
    m_okno.reset();
    TfrmKatalog::UstawSprawdzanie({});
    TfrmKatalog::UstawPlikMontowan(QString());
}

void TstKatalog::startsInWorkingDirectoryWithPathAndSubdirectories()
{
    QCOMPARE(m_okno->Directory(), m_baza);

    // The path from the root down, each part one row deeper.
    QTreeWidget *lista = m_okno->DirectoryListBox1;
    QCOMPARE(lista->topLevelItemCount(), 1);
    QTreeWidgetItem *w = lista->topLevelItem(0);
    QCOMPARE(w->text(0), QStringLiteral("/"));
    const QStringList czesci = m_baza.split(u'/', Qt::SkipEmptyParts);
    for (const QString &czesc : czesci) {
        QVERIFY(w->childCount() >= 1);
        w = w->child(0);
        QCOMPARE(w->text(0), czesc);
    }
    QCOMPARE(lista->currentItem(), w);

    // Then the sub-directories, hidden ones left out.
    QStringList podkatalogi;
    for (int i = 0; i < w->childCount(); ++i)
        podkatalogi << w->child(i)->text(0);
    QCOMPARE(podkatalogi, (QStringList{QStringLiteral("alfa"), QStringLiteral("beta")}));
}

void TstKatalog::openingRows_data()
{
    QTest::addColumn<QString>("wiersz");
    QTest::addColumn<QString>("akcja");
    QTest::addColumn<QString>("oczekiwany");

    QTest::newRow("double click opens a sub-directory") << "alfa"
                                                        << "dclick"
                                                        << "alfa";
    QTest::newRow("Enter opens a sub-directory") << "beta"
                                                 << "enter"
                                                 << "beta";
    QTest::newRow("single click only highlights") << "alfa"
                                                  << "click"
                                                  << "";
    QTest::newRow("Enter on an ancestor goes up") << ".."
                                                  << "enter"
                                                  << "..";
}

void TstKatalog::openingRows()
{
    QFETCH(QString, wiersz);
    QFETCH(QString, akcja);
    QFETCH(QString, oczekiwany);

    const auto pelna = [this](const QString &w) {
        return w == QStringLiteral("..") ? QFileInfo(m_baza).path() : sciezka(w);
    };
    pokaz();
    QTreeWidget *lista = m_okno->DirectoryListBox1;
    QTreeWidgetItem *cel = this->wiersz(pelna(wiersz));
    QVERIFY(cel);
    const QPoint srodek = lista->visualItemRect(cel).center();
    QVERIFY(!srodek.isNull());

    if (akcja == QStringLiteral("dclick")) {
        // A real double click: press and release, then the double-click event.
        QTest::mouseClick(lista->viewport(), Qt::LeftButton, {}, srodek);
        QTest::mouseDClick(lista->viewport(), Qt::LeftButton, {}, srodek);
    } else if (akcja == QStringLiteral("click")) {
        QTest::mouseClick(lista->viewport(), Qt::LeftButton, {}, srodek);
        QCOMPARE(lista->currentItem(), cel);
    } else {
        lista->setFocus();
        lista->setCurrentItem(cel);
        QTest::keyClick(lista, Qt::Key_Return);
    }
    QCOMPARE(m_okno->Directory(), pelna(oczekiwany));

    // Confirming returns the open directory, not a highlighted one.
    QTest::mouseClick(m_okno->Button1, Qt::LeftButton);
    QCOMPARE(m_okno->result(), 1);
    QCOMPARE(m_okno->Directory(), pelna(oczekiwany));
    QVERIFY(m_komunikaty.isEmpty());
}

void TstKatalog::buttonsAndCloseBoxGiveResults_data()
{
    QTest::addColumn<QString>("jak");
    QTest::addColumn<int>("wynik");

    QTest::newRow("Potwierdź") << "Button1" << 1;
    QTest::newRow("Anuluj") << "Button2" << 2;
    QTest::newRow("close box") << "" << 2;
}

void TstKatalog::buttonsAndCloseBoxGiveResults()
{
    QFETCH(QString, jak);
    QFETCH(int, wynik);

    pokaz();
    if (jak.isEmpty())
        QVERIFY(m_okno->close());
    else
        QTest::mouseClick(m_okno->findChild<QPushButton *>(jak), Qt::LeftButton);
    QVERIFY(!m_okno->isVisible());
    QCOMPARE(m_okno->result(), wynik);
    QCOMPARE(m_okno->Directory(), m_baza);
}

void TstKatalog::enterAndEscapeDoNotClose_data()
{
    QTest::addColumn<QString>("fokus");
    QTest::addColumn<int>("klawisz");

    for (const char *w : {"Button1", "Button2", "DriveComboBox1"}) {
        QTest::addRow("Enter on %s", w) << QString::fromLatin1(w) << int(Qt::Key_Return);
        QTest::addRow("Escape on %s", w) << QString::fromLatin1(w) << int(Qt::Key_Escape);
    }
    QTest::newRow("Escape in the list") << "DirectoryListBox1" << int(Qt::Key_Escape);
}

void TstKatalog::enterAndEscapeDoNotClose()
{
    QFETCH(QString, fokus);
    QFETCH(int, klawisz);

    pokaz();
    m_okno->setResult(0);
    auto *cel = m_okno->findChild<QWidget *>(fokus);
    QVERIFY(cel);
    QTest::keyClick(cel, Qt::Key(klawisz));
    QVERIFY(m_okno->isVisible());
    QCOMPARE(m_okno->result(), 0);
}

void TstKatalog::keepsItsDirectoryBetweenOpenings()
{
    m_okno->DirectoryListBox1->SetDirectory(sciezka(QStringLiteral("alfa/gamma")));
    pokaz();
    QTest::mouseClick(m_okno->Button2, Qt::LeftButton);
    QVERIFY(QDir::setCurrent(QDir::rootPath()));
    pokaz();
    QCOMPARE(m_okno->Directory(), sciezka(QStringLiteral("alfa/gamma")));
    QVERIFY(QDir::setCurrent(m_baza));
}

void TstKatalog::newFolder_data()
{
    QTest::addColumn<QString>("odpowiedz");
    QTest::addColumn<QStringList>("podkatalogi");

    const QStringList przed{QStringLiteral("alfa"), QStringLiteral("beta")};
    QTest::newRow("cancel") << "" << przed;
    QTest::newRow("blanks only") << "   " << przed;
    QTest::newRow("plain name") << "nowy" << QStringList{"alfa", "beta", "nowy"};
    QTest::newRow("leading blanks kept") << "  nowy" << QStringList{"  nowy", "alfa", "beta"};
    QTest::newRow("existing name") << "alfa" << przed;
    QTest::newRow("missing parent") << "brak/dalej" << przed;
}

void TstKatalog::newFolder()
{
    QFETCH(QString, odpowiedz);
    QFETCH(QStringList, podkatalogi);

    QTemporaryDir tmp;
    const QString baza = QFileInfo(tmp.path()).canonicalFilePath();
    QVERIFY(QDir(baza).mkpath(QStringLiteral("alfa/gamma")));
    QVERIFY(QDir(baza).mkpath(QStringLiteral("beta")));
    m_okno->DirectoryListBox1->SetDirectory(baza);

    m_odpowiedz = odpowiedz;
    QTest::mouseClick(m_okno->Button3, Qt::LeftButton);

    QCOMPARE(m_pytania.size(), 1);
    QCOMPARE(m_pytania.first(),
             (QStringList{QStringLiteral("Nowy folder"), QStringLiteral("Podaj nazwę katalogu")}));
    QVERIFY(m_komunikaty.isEmpty());
    QCOMPARE(m_okno->Directory(), baza);

    QStringList naDysku = QDir(baza).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    QCOMPARE(naDysku, podkatalogi);
    QVERIFY(QFileInfo::exists(baza + QStringLiteral("/alfa/gamma")));

    // The list is read again and shows the new directory under the open one.
    QTreeWidgetItem *biezacy = m_okno->DirectoryListBox1->currentItem();
    QCOMPARE(biezacy->data(0, TDirectoryListBox::RolaSciezki).toString(), baza);
    QStringList wiersze;
    for (int i = 0; i < biezacy->childCount(); ++i)
        wiersze << biezacy->child(i)->text(0);
    wiersze.sort();
    QCOMPARE(wiersze, podkatalogi);
}

void TstKatalog::joiningTypedName_data()
{
    QTest::addColumn<QString>("katalog");
    QTest::addColumn<QString>("nazwa");
    QTest::addColumn<QString>("wynik");

    QTest::newRow("root gets no doubled separator") << "/"
                                                    << "raporty"
                                                    << "/raporty";
    QTest::newRow("plain directory") << "/home/jan"
                                     << "raporty"
                                     << "/home/jan/raporty";
    QTest::newRow("blanks kept as typed") << "/home/jan"
                                          << " a b "
                                          << "/home/jan/ a b ";
}

void TstKatalog::joiningTypedName()
{
    QFETCH(QString, katalog);
    QFETCH(QString, nazwa);
    QFETCH(QString, wynik);
    QCOMPARE(DolaczNazwe(katalog, nazwa), wynik);
}

void TstKatalog::drivePick_data()
{
    QTest::addColumn<QString>("punkt");
    QTest::addColumn<QString>("katalog");
    QTest::addColumn<bool>("komunikat");

    QTest::addColumn<bool>("odpowiada");

    QTest::newRow("volume that cannot be entered") << "brak"
                                                   << "" << true << true;
    QTest::newRow("volume that can be entered") << "beta"
                                                << "beta" << false << true;
    // A network share whose server is down: the question never comes back.
    QTest::newRow("volume that does not answer") << "beta"
                                                 << "" << true << false;
}

void TstKatalog::drivePick()
{
    QFETCH(QString, punkt);
    QFETCH(QString, katalog);
    QFETCH(bool, komunikat);
    QFETCH(bool, odpowiada);

    std::promise<void> zwolnij;
    std::shared_future<void> zwolniony = zwolnij.get_future().share();
    if (!odpowiada) {
        TfrmKatalog::UstawSprawdzanie([zwolniony](const QString &) {
            zwolniony.wait();
            return true;
        });
    }
    pokaz();
    // A file system mounted at a path of the temporary tree.
    QComboBox *dyski = m_okno->DriveComboBox1;
    dyski->addItem(QStringLiteral("test"), sciezka(punkt));
    const int indeks = dyski->count() - 1;
    dyski->setCurrentIndex(indeks);
    emit dyski->activated(indeks);

    QCOMPARE(m_okno->Directory(), sciezka(katalog));
    if (komunikat) {
        QCOMPARE(m_komunikaty, (QStringList{QStringLiteral("Dysk: ") + sciezka(punkt) +
                                            QStringLiteral(" jest niedostępny")}));
        QCOMPARE(dyski->currentIndex(), indeks);
    } else {
        QVERIFY(m_komunikaty.isEmpty());
    }
    QTest::mouseClick(m_okno->Button1, Qt::LeftButton);
    QCOMPARE(m_okno->result(), 1);
    QCOMPARE(m_okno->Directory(), sciezka(katalog));
    zwolnij.set_value();
}

void TstKatalog::driveListStartsWithRootAndShowsCurrentVolume()
{
    QComboBox *dyski = m_okno->DriveComboBox1;
    QVERIFY(dyski->count() >= 1);
    QCOMPARE(dyski->itemData(0).toString(), QStringLiteral("/"));

    const QString wolumin = dyski->currentData().toString();
    QVERIFY(!wolumin.isEmpty());
    QVERIFY(m_baza == wolumin ||
            m_baza.startsWith(wolumin == QStringLiteral("/") ? wolumin : wolumin + u'/'));

    // Picking the volume already shown keeps the open directory.
    emit dyski->activated(dyski->currentIndex());
    QCOMPARE(m_okno->Directory(), m_baza);
    QVERIFY(m_komunikaty.isEmpty());
}

void TstKatalog::mountedVolumesFromMountinfo_data()
{
    QTest::addColumn<QByteArray>("mountinfo");
    QTest::addColumn<QStringList>("woluminy"); // mount point|source, "|siec" for a network one

    const QByteArray korzen = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n";
    QTest::newRow("root first, pseudo file systems left out")
        << QByteArray("30 22 8:2 / /home rw shared:2 - ext4 /dev/sda2 rw\n"
                      "23 22 0:5 / /proc rw - proc proc rw\n"
                      "24 22 0:6 / /sys rw - sysfs sysfs rw\n"
                      "25 22 0:7 / /dev/shm rw - tmpfs tmpfs rw\n"
                      "26 22 0:8 / /run/user/1000 rw - tmpfs tmpfs rw\n"
                      "27 22 8:17 / /Media/usb rw - vfat /dev/sdb1 rw\n"
                      "28 22 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n") +
               korzen
        << QStringList{"/|/dev/sda1", "/home|/dev/sda2", "/Media/usb|/dev/sdb1"};
    QTest::newRow("network shares marked, named by their source")
        << korzen + "40 22 0:50 / /mnt/nfs rw - nfs4 serwer:/eksport rw\n"
                    "41 22 0:51 / /mnt/smb rw - cifs //serwer/dane rw\n"
                    "42 22 0:52 / /mnt/ssh rw - fuse.sshfs jan@host: rw\n"
                    "43 22 0:53 / /mnt/9p rw - 9p gosc rw\n"
        << QStringList{"/|/dev/sda1", "/mnt/9p|gosc|siec", "/mnt/nfs|serwer:/eksport|siec",
                       "/mnt/smb|//serwer/dane|siec", "/mnt/ssh|jan@host:|siec"};
    QTest::newRow("escaped blanks and backslashes in a mount point")
        << korzen + "50 22 8:3 / /mnt/moje\\040dane\\134x rw - ext4 /dev/sda3 rw\n"
        << QStringList{"/|/dev/sda1", "/mnt/moje dane\\x|/dev/sda3"};
    QTest::newRow("a mount point mounted over shows the last file system")
        << korzen + "60 22 8:4 / /mnt/x rw - ext4 /dev/sda4 rw\n"
                    "61 60 0:60 / /mnt/x rw - nfs serwer:/x rw\n"
        << QStringList{"/|/dev/sda1", "/mnt/x|serwer:/x|siec"};
    QTest::newRow("broken lines skipped")
        << korzen + "70 22 8:5 / /mnt/a rw\n\n71 22 8:6 / /mnt/b rw - ext4\n"
        << QStringList{"/|/dev/sda1"};
}

void TstKatalog::mountedVolumesFromMountinfo()
{
    QFETCH(QByteArray, mountinfo);
    QFETCH(QStringList, woluminy);

    QStringList wynik;
    for (const Wolumin &w : WoluminyZMountinfo(mountinfo))
        wynik << w.punkt + u'|' + w.zrodlo + (w.sieciowy ? QStringLiteral("|siec") : QString());
    QCOMPARE(wynik, woluminy);

    // The chooser's drive list reads the same file, root first.
    QTemporaryDir tmp;
    const QString plik = tmp.filePath(QStringLiteral("mountinfo"));
    QFile f(plik);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(mountinfo);
    f.close();
    TfrmKatalog::UstawPlikMontowan(plik);
    m_okno->WczytajDyski();
    QCOMPARE(m_okno->DriveComboBox1->count(), woluminy.size());
    for (int i = 0; i < woluminy.size(); ++i)
        QCOMPARE(m_okno->DriveComboBox1->itemData(i).toString(), woluminy[i].section(u'|', 0, 0));
}

void TstKatalog::folderNameNotInUtf8IsShownAndRefused()
{
    QTemporaryDir tmp;
    const QString baza = QFileInfo(tmp.path()).canonicalFilePath();
    // A name the file system allows but that is not UTF-8 (Latin-2 "ł").
    QVERIFY(::mkdir(QByteArray(QFile::encodeName(baza) + "/raporty_\xb3"), 0755) == 0);
    m_okno->DirectoryListBox1->SetDirectory(baza);
    pokaz();

    QTreeWidgetItem *biezacy = m_okno->DirectoryListBox1->currentItem();
    QCOMPARE(biezacy->childCount(), 1);
    QTreeWidgetItem *wiersz = biezacy->child(0);
    QCOMPARE(wiersz->text(0), QStringLiteral("raporty_\uFFFD"));

    m_okno->DirectoryListBox1->setFocus();
    m_okno->DirectoryListBox1->setCurrentItem(wiersz);
    QTest::keyClick(m_okno->DirectoryListBox1, Qt::Key_Return);
    QCOMPARE(m_okno->Directory(), baza);
    QCOMPARE(m_komunikaty.size(), 1);
    QVERIFY2(m_komunikaty[0].startsWith(QStringLiteral("Nazwa folderu \u201Eraporty_\uFFFD\u201D")),
             qPrintable(m_komunikaty[0]));
    QVERIFY(m_komunikaty[0].contains(QStringLiteral("Zmień nazwę tego folderu")));
    ::rmdir(QByteArray(QFile::encodeName(baza) + "/raporty_\xb3"));
}

QTEST_MAIN(TstKatalog)
#include "tst_katalog.moc"
