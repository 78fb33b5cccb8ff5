// The configuration dialog: its controls, storing on "Potwierdź" only, a
// refused write, and the directory button.

#include "Bledy.h"
#include "CPortCtl.h"
#include "DrzewoSysfs.h"
#include "Katalog.h"
#include "Komunikaty.h"
#include "OknaTestowe.h"
#include "Pomocnicze.h"
#include "PortList.h"
#include "PtyPair.h"
#include "konfiguracja.h"
#include "main.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

class TstKonfiguracja : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void kontrolkiNaStarcie();
    void liczbyZapisane_data();
    void liczbyZapisane();
    void tylkoPotwierdzZapisuje_data();
    void tylkoPotwierdzZapisuje();
    void potwierdzoneUstawieniaWracajaPrzyNastepnymStarcie();
    void odmowaZapisuPokazujeBladZNazwaPliku_data();
    void odmowaZapisuPokazujeBladZNazwaPliku();
    void escapeNieZamyka();
    void wszystkieZakladkiWidoczne_data();
    void wszystkieZakladkiWidoczne();
    void pierwszaStronaPrzyKazdymOtwarciu();
    void katalogZWyboruTylkoPoPotwierdzeniu_data();
    void katalogZWyboruTylkoPoPotwierdzeniu();
    void polePrzyjmujeTekstyKtorePlikPomiesci();
    void wybranyPortPrzenosiPolaczenie_data();
    void wybranyPortPrzenosiPolaczenie();
    void zapisanyPortNigdyNieGinie_data();
    void zapisanyPortNigdyNieGinie();
    void listaSledziPodlaczanie_data();
    void listaSledziPodlaczanie();
    void jedenAdapterJestProponowany_data();
    void jedenAdapterJestProponowany();
    void utraconyAdapterWraca_data();
    void utraconyAdapterWraca();

private:
    void start();
    QString plik() const { return tmp->filePath(QStringLiteral("Vestibulomat.ini")); }
    // The settings file holds these lines, then the windows start over a
    // made-up /dev as well as the made-up sysfs.
    void startZPlikiem(const QByteArray &linie);
    // The "port" line of the settings file, with the made-up /dev as <dev>.
    QString portWPliku() const;

    std::unique_ptr<DrzewoSysfs> sysfs; // the serial ports this machine has
    std::unique_ptr<OknaTestowe> tmp;   // the program directory with the windows
    QStringList bledy;
    Pudelka pudelka;
    bool odpowiedzTak = false;
};

void TstKonfiguracja::init()
{
    bledy.clear();
    pudelka.clear();
    odpowiedzTak = false;
    // One on-board UART (COM1), a legacy slot without a chip (COM4) and one
    // USB adapter.
    sysfs = std::make_unique<DrzewoSysfs>();
    sysfs->Uart(QStringLiteral("ttyS0"), "4");
    sysfs->Uart(QStringLiteral("ttyS3"), "0");
    sysfs->Usb(QStringLiteral("ttyUSB0"), QStringLiteral("FT232R USB UART"),
               QStringLiteral("FTDI"));
    TComComboBox::SetDefaultSysfsRoot(sysfs->Korzen());
    tmp = std::make_unique<OknaTestowe>(
        [this, zapis = pudelka.Zapisuj(&odpowiedzTak)](Komunikaty::Rodzaj r, const QString &t) {
            if (r == Komunikaty::Rodzaj::Blad)
                bledy << t;
            return zapis(r, t);
        });
    QVERIFY(tmp->isValid());
    frmMain->show(); // reads the settings into the dialog
}

void TstKonfiguracja::start()
{
    UtworzOkna();
    frmMain->show(); // reads the settings into the dialog
}

void TstKonfiguracja::cleanup()
{
    QFile::setPermissions(plik(), QFile::ReadOwner | QFile::WriteOwner);
    tmp.reset();
    TComComboBox::SetDefaultSysfsRoot(QString());
    SetDefaultDevRoot(QString());
    sysfs.reset();
}

void TstKonfiguracja::kontrolkiNaStarcie()
{
    // A dialog that was never filled from the file.
    TfrmKonfiguracja d;
    QCOMPARE(d.windowTitle(), QStringLiteral("Konfiguracja"));
    // At least the designed 311 x 276; wider when the tab captions need it.
    QVERIFY2(d.width() >= 311, qPrintable(QString::number(d.width())));
    QCOMPARE(d.height(), 276);
    QCOMPARE(d.pcZakladki->count(), 4);
    const QStringList zakladki = {QStringLiteral("Podstawowe"), QStringLiteral("Zapisywanie"),
                                  QStringLiteral("Wysyłanie"), QStringLiteral("Zaawansowane")};
    const QList<QWidget *> strony = {d.ts_podstawowe, d.TabSheet1, d.TabSheet3, d.TabSheet2};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(d.pcZakladki->tabText(i), zakladki[i]);
        QCOMPARE(d.pcZakladki->widget(i), strony[i]);
    }
    QCOMPARE(d.Label2->text(), QStringLiteral("Nazwa obiektu:"));
    QCOMPARE(d.Label1->text(), QStringLiteral("Katalog w którym będą zapisywane dane:"));
    QCOMPARE(d.Label4->text(), QStringLiteral("Automatyczny zapis:"));
    QCOMPARE(d.Label3->text(), QStringLiteral("Adres e-mail:"));
    QCOMPARE(d.Label5->text(), QStringLiteral("Numer portu COM:"));
    QCOMPARE(d.chbSynchronizuj->text(), QStringLiteral("Synchronizuj zegar z PC"));
    QCOMPARE(d.chbPodglad->text(), QStringLiteral("Podgląd transmisji on-line"));
    QVERIFY(!d.chbSynchronizuj->isChecked() && !d.chbPodglad->isChecked());
    QCOMPARE(d.cobZapis->count(), 3);
    QCOMPARE(d.cobZapis->itemText(0), QStringLiteral("Zawsze"));
    QCOMPARE(d.cobZapis->itemText(1), QStringLiteral("Pytaj"));
    QCOMPARE(d.cobZapis->itemText(2), QStringLiteral("Nigdy"));
    QCOMPARE(d.cobZapis->currentIndex(), -1);
    QVERIFY(!d.cobZapis->isEditable());
    QCOMPARE(d.ccbPort->Text(), QStringLiteral("COM1"));
    QCOMPARE(d.ccbPort->currentText(), QStringLiteral("COM1 — port szeregowy"));
    QCOMPARE(d.SpeedButton1->text(), QStringLiteral("..."));
    QCOMPARE(d.SpeedButton1->focusPolicy(), Qt::NoFocus);
    QCOMPARE(d.Button1->text(), QStringLiteral("Potwierdź"));
    QCOMPARE(d.Button2->text(), QStringLiteral("Anuluj"));
    for (QPushButton *b : {d.Button1, d.Button2})
        QVERIFY(!b->isDefault() && !b->autoDefault());
    // Tab order: the edit boxes and lists of each page, then the buttons.
    QCOMPARE(d.ediKatalog->nextInFocusChain(), d.cobZapis);
    QCOMPARE(d.chbSynchronizuj->nextInFocusChain(), d.ccbPort);
    QCOMPARE(d.ccbPort->nextInFocusChain(), d.chbPodglad);
    QCOMPARE(d.Button1->nextInFocusChain(), d.Button2);
}

void TstKonfiguracja::liczbyZapisane_data()
{
    QTest::addColumn<QString>("tekst");
    QTest::addColumn<int>("liczba");
    QTest::addColumn<bool>("poprawna");
    QTest::newRow("digit") << QStringLiteral("2") << 2 << true;
    QTest::newRow("negative") << QStringLiteral("-1") << -1 << true;
    QTest::newRow("plus sign") << QStringLiteral("+7") << 7 << true;
    QTest::newRow("leading zeros") << QStringLiteral("007") << 7 << true;
    QTest::newRow("hexadecimal") << QStringLiteral("$1f") << 31 << true;
    QTest::newRow("hexadecimal full pattern") << QStringLiteral("$FFFFFFFF") << -1 << true;
    QTest::newRow("largest") << QStringLiteral("2147483647") << 2147483647 << true;
    QTest::newRow("letters") << QStringLiteral("abc") << 0 << false;
    QTest::newRow("empty") << QString() << 0 << false;
    QTest::newRow("sign alone") << QStringLiteral("-") << 0 << false;
    QTest::newRow("dollar alone") << QStringLiteral("$") << 0 << false;
    QTest::newRow("too large") << QStringLiteral("2147483648") << 0 << false;
    QTest::newRow("hexadecimal too large") << QStringLiteral("$100000000") << 0 << false;
    QTest::newRow("C prefix is not ours") << QStringLiteral("0x10") << 0 << false;
    QTest::newRow("inner blank") << QStringLiteral("1 2") << 0 << false;
}

void TstKonfiguracja::liczbyZapisane()
{
    QFETCH(QString, tekst);
    QFETCH(int, liczba);
    QFETCH(bool, poprawna);
    try {
        QCOMPARE(Ustawienia::NaLiczbe(tekst, QStringLiteral("autozapis")), liczba);
        QVERIFY(poprawna);
    } catch (const BladProgramu &e) {
        QVERIFY(!poprawna);
        QCOMPARE(e.TekstUzytkownika(),
                 QStringLiteral("Wartość \"%1\" klucza \"autozapis\" nie jest liczbą całkowitą.")
                     .arg(tekst));
    }
}

void TstKonfiguracja::tylkoPotwierdzZapisuje_data()
{
    QTest::addColumn<QString>("sposob");
    QTest::addColumn<QString>("mail");
    QTest::addColumn<int>("wynik"); // 0: the dialog stays open
    QTest::newRow("Potwierdź stores") << QStringLiteral("potwierdz") << QString() << 1;
    QTest::newRow("Anuluj does not") << QStringLiteral("anuluj") << QString() << 2;
    QTest::newRow("close box does not") << QStringLiteral("zamknij") << QString() << 2;
    QTest::newRow("Potwierdź refuses a mailto: value")
        << QStringLiteral("potwierdz")
        << QStringLiteral("mailto:a@example.org?attach=/home/u/.ssh/id_ed25519") << 0;
    QTest::newRow("Potwierdź refuses a quote")
        << QStringLiteral("potwierdz") << QStringLiteral(" a@example.org',to='b@example.org ") << 0;
}

void TstKonfiguracja::tylkoPotwierdzZapisuje()
{
    QFETCH(QString, sposob);
    QFETCH(QString, mail);
    QFETCH(int, wynik);
    TfrmKonfiguracja *d = frmKonfiguracja;
    d->show();
    d->ediNazwa->setText(QStringLiteral(" Nowy "));
    d->cobZapis->setCurrentIndex(-1);
    d->chbPodglad->setChecked(true);
    d->ediMail->setText(mail);

    if (sposob == QLatin1String("potwierdz"))
        d->Button1->click();
    else if (sposob == QLatin1String("anuluj"))
        d->Button2->click();
    else
        d->close();

    if (wynik == 0) {
        // Nothing stored; the address is shown where it can be mended.
        QVERIFY(d->isVisible());
        QCOMPARE(d->pcZakladki->currentWidget(), d->TabSheet3);
        QCOMPARE(d->focusWidget(), d->ediMail);
        QVERIFY(!QFile::exists(plik()));
        const QString adres = mail.trimmed();
        QCOMPARE(bledy.size(), 1);
        QVERIFY2(bledy.constFirst().startsWith(QStringLiteral("Adres e-mail „") + adres +
                                               QStringLiteral("” jest nieprawidłowy: wpisz "
                                                              "jeden adres w postaci "
                                                              "nazwa@domena. ")),
                 qPrintable(bledy.constFirst()));
        d->close();
        return;
    }
    QCOMPARE(d->result(), wynik);
    QVERIFY(!d->isVisible());
    // The edits are in force for the run either way.
    QCOMPARE(d->ediNazwa->text(), QStringLiteral(" Nowy "));
    QVERIFY(d->chbPodglad->isChecked());
    QVERIFY(bledy.isEmpty());
    if (wynik == 1) {
        QCOMPARE(CzytajPlik(plik()), QByteArray("[konfig]\r\n"
                                                "obiekt= Nowy \r\n"
                                                "katalog=" +
                                                QFile::encodeName(tmp->path()) +
                                                "/\r\n"
                                                "autozapis=-1\r\n"
                                                "mail=\r\n"
                                                "port=COM1\r\n"
                                                "synchro=False\r\n"
                                                "podglad=True\r\n"));
    } else {
        QVERIFY(!QFile::exists(plik()));
    }
}

void TstKonfiguracja::potwierdzoneUstawieniaWracajaPrzyNastepnymStarcie()
{
    TfrmKonfiguracja *d = frmKonfiguracja;
    d->ediNazwa->setText(QStringLiteral("  Kraków Główny  "));
    d->ediKatalog->setText(QStringLiteral("/srv/отчёты/报告/"));
    d->cobZapis->setCurrentIndex(-1);
    d->ediMail->setText(QStringLiteral("biuro@example.pl"));
    d->chbSynchronizuj->setChecked(true);
    d->Button1Click();

    UsunOkna();
    start();
    d = frmKonfiguracja;
    QCOMPARE(d->ediNazwa->text(), QStringLiteral("Kraków Główny")); // blanks at the ends dropped
    QCOMPARE(d->ediKatalog->text(), QStringLiteral("/srv/отчёты/报告/"));
    QCOMPARE(d->cobZapis->currentIndex(), -1);
    QCOMPARE(d->ediMail->text(), QStringLiteral("biuro@example.pl"));
    QVERIFY(d->chbSynchronizuj->isChecked());
    QVERIFY(!d->chbPodglad->isChecked());
    QVERIFY(bledy.isEmpty());
}

void TstKonfiguracja::odmowaZapisuPokazujeBladZNazwaPliku_data()
{
    QTest::addColumn<QString>("przypadek");
    QTest::addColumn<bool>("blad");
    QTest::newRow("read-only file beside the program: the per-user file takes the settings")
        << QStringLiteral("tylko do odczytu") << false;
    QTest::newRow("read-only file and no per-user place") << QStringLiteral("nigdzie") << true;
    QTest::newRow("a directory in the file's place") << QStringLiteral("katalog") << true;
}

void TstKonfiguracja::odmowaZapisuPokazujeBladZNazwaPliku()
{
    QFETCH(QString, przypadek);
    QFETCH(bool, blad);
    const QByteArray przed = "[konfig]\r\nobiekt=Stary\r\n";
    const QString wlasny = tmp->filePath(QStringLiteral("config/Vestibulomat/Vestibulomat.ini"));
    QString cel = plik();
    if (przypadek == QLatin1String("katalog")) {
        QVERIFY(QDir().mkpath(plik()));
    } else {
        QFile f(plik());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(przed);
        f.close();
        QVERIFY(QFile::setPermissions(plik(), QFile::ReadOwner));
        cel = wlasny;
    }
    if (przypadek == QLatin1String("nigdzie")) {
        // A plain file where the per-user folder would have to be.
        QFile f(tmp->filePath(QStringLiteral("config")));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

    TfrmKonfiguracja *d = frmKonfiguracja;
    d->show();
    d->ediNazwa->setText(QStringLiteral("Nowy"));
    QTest::mouseClick(d->Button1, Qt::LeftButton);

    // Closed as confirmed; the edits stay in force for the run.
    QCOMPARE(d->result(), 1);
    QVERIFY(!d->isVisible());
    QCOMPARE(d->ediNazwa->text(), QStringLiteral("Nowy"));
    if (blad) {
        QCOMPARE(bledy.size(), 1);
        QVERIFY2(bledy[0].contains(cel), qPrintable(bledy[0]));
    } else {
        QVERIFY(bledy.isEmpty());
        QVERIFY(CzytajPlik(wlasny).contains("obiekt=Nowy\r\n"));
    }
    if (przypadek != QLatin1String("katalog"))
        QCOMPARE(CzytajPlik(plik()), przed);
}

void TstKonfiguracja::escapeNieZamyka()
{
    TfrmKonfiguracja *d = frmKonfiguracja;
    d->show();
    QTest::keyClick(d, Qt::Key_Escape);
    QTest::keyClick(d->ediNazwa, Qt::Key_Escape);
    QTest::keyClick(d->ediNazwa, Qt::Key_Return);
    QVERIFY(d->isVisible());
    QVERIFY(!QFile::exists(plik()));
}

void TstKonfiguracja::wszystkieZakladkiWidoczne_data()
{
    QTest::addColumn<int>("piksele"); // the dialog's font; 0 leaves it as built
    QTest::newRow("the dialog's own font") << 0;
    QTest::newRow("font half as large again") << 17;
    QTest::newRow("font twice as large") << 22;
}

void TstKonfiguracja::wszystkieZakladkiWidoczne()
{
    QFETCH(int, piksele);
    TfrmKonfiguracja d;
    if (piksele > 0) {
        QFont f = d.font();
        f.setPixelSize(piksele);
        d.setFont(f);
    }
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));

    QTabBar *pasek = d.pcZakladki->tabBar();
    QVERIFY(d.width() >= 311 && d.height() >= 276);
    QVERIFY(d.rect().contains(d.pcZakladki->geometry()));
    const QRect widoczny =
        pasek->rect().intersected(d.pcZakladki->rect().translated(-pasek->pos()));
    for (int i = 0; i < d.pcZakladki->count(); ++i) {
        const QRect karta = pasek->tabRect(i);
        QVERIFY2(widoczny.contains(karta), qPrintable(QStringLiteral("%1: tab %2,%3 in %4,%5")
                                                          .arg(d.pcZakladki->tabText(i))
                                                          .arg(karta.left())
                                                          .arg(karta.right())
                                                          .arg(widoczny.left())
                                                          .arg(widoczny.right())));
        // The caption itself fits its tab.
        QVERIFY(karta.width() > pasek->fontMetrics().horizontalAdvance(d.pcZakladki->tabText(i)));
    }
    // No scroll arrows.
    for (const QToolButton *strzalka : pasek->findChildren<QToolButton *>())
        QVERIFY(!strzalka->isVisible());
    // "Potwierdź" stays inside the dialog.
    QVERIFY(d.rect().contains(d.Button1->geometry().translated(d.Panel1->pos())));
}

void TstKonfiguracja::pierwszaStronaPrzyKazdymOtwarciu()
{
    TfrmKonfiguracja *d = frmKonfiguracja;
    for (int i = 0; i < 2; ++i) {
        d->show();
        QCOMPARE(d->pcZakladki->currentWidget(), d->ts_podstawowe);
        d->pcZakladki->setCurrentWidget(d->TabSheet2);
        d->ediMail->setText(QStringLiteral("zostaje@example.pl"));
        d->Button2Click();
        QVERIFY(!d->isVisible());
    }
    QCOMPARE(d->ediMail->text(), QStringLiteral("zostaje@example.pl"));
}

void TstKonfiguracja::katalogZWyboruTylkoPoPotwierdzeniu_data()
{
    QTest::addColumn<int>("wynikWyboru");
    QTest::addColumn<bool>("zmieniony");
    QTest::newRow("chooser confirmed") << 1 << true;
    QTest::newRow("chooser cancelled") << 2 << false;
}

void TstKonfiguracja::katalogZWyboruTylkoPoPotwierdzeniu()
{
    QFETCH(int, wynikWyboru);
    QFETCH(bool, zmieniony);
    TfrmKonfiguracja *d = frmKonfiguracja;
    d->ediKatalog->setText(QStringLiteral("/przed/"));
    QTimer::singleShot(0, frmKatalog, [wynikWyboru] { frmKatalog->done(wynikWyboru); });
    QTest::mouseClick(d->SpeedButton1, Qt::LeftButton);
    QCOMPARE(d->ediKatalog->text(),
             zmieniony ? frmKatalog->Directory() : QStringLiteral("/przed/"));
}

void TstKonfiguracja::polePrzyjmujeTekstyKtorePlikPomiesci()
{
    TfrmKonfiguracja *d = frmKonfiguracja;
    d->show();
    d->ediNazwa->clear();
    // Typing goes through the same validation as insert(). The file holds
    // any text (in UTF-8 when Windows-1250 cannot); only half of a
    // surrogate pair has no form there.
    for (const QString &znak : {QStringLiteral("ą"), QStringLiteral("日"), QString(QChar(0xD83D)),
                                QStringLiteral("😀"), QStringLiteral("ж")})
        d->ediNazwa->insert(znak);
    QCOMPARE(d->ediNazwa->text(), QStringLiteral("ą日😀ж"));
}

QTEST_MAIN(TstKonfiguracja)
void TstKonfiguracja::wybranyPortPrzenosiPolaczenie_data()
{
    QTest::addColumn<bool>("otwarty");
    QTest::newRow("an open port is reopened on the picked device") << true;
    QTest::newRow("a closed port only changes its name") << false;
}

void TstKonfiguracja::wybranyPortPrzenosiPolaczenie()
{
    QFETCH(bool, otwarty);
    PtyPair stary, nowy;
    QVERIFY(stary.Ok() && nowy.Ok());
    TComPort *port = frmMain->port;
    port->SetPort(stary.SlaveName());
    if (otwarty)
        port->SetConnected(true);

    TComComboBox *ccb = frmKonfiguracja->ccbPort;
    ccb->addItem(nowy.SlaveName());
    const int indeks = ccb->count() - 1;
    ccb->setCurrentIndex(indeks);
    emit ccb->activated(indeks); // what a pick by the user sends

    QCOMPARE(port->Port(), nowy.SlaveName());
    QCOMPARE(frmMain->TekstPanelu(0), nowy.SlaveName());
    QCOMPARE(port->Connected(), otwarty);
    QVERIFY(bledy.isEmpty());
    if (otwarty) {
        // The component now talks to the new device.
        port->WriteText("\r");
        QCOMPARE(nowy.Receive(1), QByteArray("\r"));
        QCOMPARE(stary.ReceiveNow(), QByteArray());
    }
    // Cancelling the dialog undoes nothing.
    frmKonfiguracja->Button2Click();
    QCOMPARE(port->Port(), nowy.SlaveName());
    port->SetConnected(false);
}

#include "tst_konfiguracja.moc"

void TstKonfiguracja::zapisanyPortNigdyNieGinie_data()
{
    QTest::addColumn<QString>("zapisany"); // the port line of the file; "<brak>": no file
    QTest::addColumn<bool>("listaCzytelna");
    QTest::addColumn<QString>("nazwa"); // in the status bar, opened, stored again
    QTest::addColumn<QString>("wpis");  // the picker's selected entry; "*": any
    QTest::newRow("no settings file: the one UART as COM1") << "<brak>" << true << "COM1"
                                                            << "COM1 — port szeregowy";
    QTest::newRow("unplugged adapter") << "ttyUSB7" << true << "ttyUSB7"
                                       << "ttyUSB7 (niepodłączony)";
    QTest::newRow("by path") << "/dev/ttyUSB0" << true << "/dev/ttyUSB0"
                             << "/dev/ttyUSB0 — FT232R USB UART (FTDI)";
    QTest::newRow("letter case: the name that opens") << "ttyusb0" << true << "ttyUSB0"
                                                      << "ttyUSB0 — FT232R USB UART (FTDI)";
    QTest::newRow("port list unreadable: one box, the program goes on")
        << "<brak>" << false << "COM1"
        << "*";
}

void TstKonfiguracja::zapisanyPortNigdyNieGinie()
{
    QFETCH(QString, zapisany);
    QFETCH(bool, listaCzytelna);
    QFETCH(QString, nazwa);
    QFETCH(QString, wpis);
    UsunOkna();
    if (!listaCzytelna)
        TComComboBox::SetDefaultSysfsRoot(sysfs->Sciezka(QStringLiteral("nie-ma")));
    if (zapisany != QLatin1String("<brak>")) {
        QFile f(plik());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[konfig]\r\nport=" + zapisany.toLatin1() + "\r\n");
    }
    bledy.clear();
    start();

    TfrmKonfiguracja *d = frmKonfiguracja;
    QCOMPARE(frmMain->TekstPanelu(0), nazwa);
    QCOMPARE(frmMain->port->Port(), nazwa);
    QCOMPARE(d->WybranyPort(), nazwa);
    if (wpis != QLatin1String("*"))
        QCOMPARE(d->ccbPort->currentIndex() < 0 ? QString() : d->ccbPort->currentText(), wpis);

    // An adapter plugged in meanwhile is listed at the next opening; the
    // port shown stays.
    sysfs->Usb(QStringLiteral("ttyACM0"), QStringLiteral("Licznik"), QString());
    d->show();
    QCOMPARE(d->WybranyPort(), nazwa);
    // The closed box shows its entry whole, "(niepodłączony)" included.
    QVERIFY(d->ccbPort->width() >
            d->ccbPort->fontMetrics().horizontalAdvance(d->ccbPort->currentText()));
    QCOMPARE(d->ccbPort->findText(QStringLiteral("ttyACM0 — Licznik")) >= 0, listaCzytelna);

    // Only the mail address is changed; "Potwierdź" stores the port as it was.
    d->ediMail->setText(QStringLiteral("biuro@example.pl"));
    d->Button1->click();
    const QByteArray plikPo = CzytajPlik(plik());
    QVERIFY2(plikPo.contains(QByteArray("\r\nport=" + nazwa.toLatin1() + "\r\n")),
             plikPo.constData());
    QVERIFY(plikPo.contains("\r\nmail=biuro@example.pl\r\n"));
    if (listaCzytelna) {
        QVERIFY2(bledy.isEmpty(), qPrintable(bledy.join(u'|')));
    } else {
        QCOMPARE(bledy.size(), 1);
        QVERIFY2(bledy[0].startsWith(QStringLiteral("Nie można odczytać listy portów szeregowych")),
                 qPrintable(bledy[0]));
    }
}

void TstKonfiguracja::startZPlikiem(const QByteArray &linie)
{
    UsunOkna();
    SetDefaultDevRoot(sysfs->Dev());
    QFile f(plik());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[konfig]\r\n" + linie);
    f.close();
    start();
}

QString TstKonfiguracja::portWPliku() const
{
    const QList<QByteArray> linie = CzytajPlik(plik()).split('\n');
    for (const QByteArray &l : linie)
        if (l.startsWith("port="))
            return QString::fromUtf8(l.mid(5).trimmed()).replace(sysfs->Dev(), "<dev>");
    return QStringLiteral("<brak>");
}

void TstKonfiguracja::listaSledziPodlaczanie_data()
{
    // While the dialog is open: "+ttyUSB1" plugs in an FTDI adapter with a
    // serial number, "+ttyUSB1/" one without, "-ttyUSB1" pulls it out. Then
    // "Użyj" is pressed when it shows, and "Potwierdź".
    QTest::addColumn<QString>("zapisany");
    QTest::addColumn<QStringList>("kroki");
    QTest::addColumn<QString>("wpis");   // selected entry after the steps
    QTest::addColumn<QString>("oferta"); // the line under the picker; "" hidden
    QTest::addColumn<QString>("wPliku"); // the port stored by "Potwierdź"
    const QString ftdi = QStringLiteral("FT232R USB UART (FTDI)");
    const QString link =
        QStringLiteral("<dev>/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    QTest::newRow("plugged in, stored one absent: offered, Użyj stores its link")
        << "ttyUSB7" << QStringList{"+ttyUSB1"} << "ttyUSB1 — " + ftdi
        << "Wykryto nowe urządzenie: ttyUSB1 — " + ftdi << link;
    QTest::newRow("no serial number: Użyj stores the node")
        << "ttyUSB7" << QStringList{"+ttyUSB1/"} << "ttyUSB1 — " + ftdi
        << "Wykryto nowe urządzenie: ttyUSB1 — " + ftdi << "ttyUSB1";
    QTest::newRow("plugged in and out again: no offer, the absent one stays")
        << "ttyUSB7" << QStringList{"+ttyUSB1", "-ttyUSB1"} << "ttyUSB7 (niepodłączony)"
        << ""
        << "ttyUSB7";
    QTest::newRow("stored one present: a new adapter is listed, not offered")
        << "ttyUSB0" << QStringList{"+ttyUSB1"} << "ttyUSB0 — " + ftdi << ""
        << "ttyUSB0";
    QTest::newRow("stored one pulled out: kept, marked")
        << "ttyUSB0" << QStringList{"-ttyUSB0"} << "ttyUSB0 (niepodłączony)"
        << ""
        << "ttyUSB0";
    QTest::newRow("stored link back under a new node: the same setting")
        << "<link>" << QStringList{"-ttyUSB2", "+ttyUSB1"} << "ttyUSB1 — " + ftdi << "" << link;
    QTest::newRow("stored link, adapter gone: its last node, marked")
        << "<link>" << QStringList{"-ttyUSB2"} << "ttyUSB2 (niepodłączony)"
        << "" << link;
}

void TstKonfiguracja::listaSledziPodlaczanie()
{
    QFETCH(QString, zapisany);
    QFETCH(QStringList, kroki);
    QFETCH(QString, wpis);
    QFETCH(QString, oferta);
    QFETCH(QString, wPliku);
    const QString model = QStringLiteral("FT232R USB UART");
    const QString numer = QStringLiteral("A50285BI");
    if (zapisany == u"<link>")
        zapisany = sysfs->Usb(QStringLiteral("ttyUSB2"), model, QStringLiteral("FTDI"), numer);
    startZPlikiem("port=" + zapisany.toUtf8() + "\r\n");
    TfrmKonfiguracja *d = frmKonfiguracja;
    d->show();

    for (const QString &krok : kroki) {
        QString wezel = krok.mid(1);
        const bool bezNumeru = wezel.endsWith(u'/');
        wezel.remove(u'/');
        if (krok.startsWith(u'+'))
            sysfs->Usb(wezel, model, QStringLiteral("FTDI"), bezNumeru ? QString() : numer);
        else
            sysfs->Odlacz(wezel);
        const bool jest = krok.startsWith(u'+');
        QTRY_COMPARE_WITH_TIMEOUT(
            d->ccbPort->findText(wezel + QStringLiteral(" — ") + model, Qt::MatchStartsWith) >= 0,
            jest, 2000);
    }
    // Nothing picked by itself: the stored port is still the one in force.
    QCOMPARE(d->WybranyPort(), zapisany);
    QCOMPARE(!d->lblNoweUrzadzenie->isHidden(), !oferta.isEmpty());
    if (!oferta.isEmpty()) {
        QCOMPARE(d->lblNoweUrzadzenie->text(), oferta);
        d->btnUzyj->click();
        QVERIFY(!!d->lblNoweUrzadzenie->isHidden());
        QCOMPARE(frmMain->port->Port(), d->WybranyPort()); // as a pick from the list
    }
    QCOMPARE(d->ccbPort->currentText(), wpis);
    d->Button1->click();
    QCOMPARE(portWPliku(), wPliku);
    QVERIFY2(pudelka.isEmpty(), qPrintable(pudelka.Opis()));
}

void TstKonfiguracja::jedenAdapterJestProponowany_data()
{
    // The stored ttyUSB7 is missing at "Połącz/Odbierz"; the adapters
    // plugged in (ttyUSB0 with serial number A1 unless "/" says none).
    QTest::addColumn<QStringList>("adaptery");
    QTest::addColumn<bool>("tak");
    QTest::addColumn<QString>("pytanie"); // "" none asked
    QTest::addColumn<QString>("dopisek"); // after today's message; "-": none shown
    QTest::addColumn<QString>("wPliku");
    const QString brak =
        QStringLiteral("Błąd podczas połączenia\nNie znaleziono portu ttyUSB7. "
                       "Sprawdź, czy urządzenie jest podłączone, albo wybierz "
                       "inny port w oknie Konfiguracja, na zakładce „Zaawansowane”.");
    const QString pytanie =
        QStringLiteral("Nie znaleziono portu ttyUSB7. Podłączone jest jedno "
                       "urządzenie: ttyUSB0 — FT232R USB UART (FTDI). Użyć go?");
    QTest::newRow("one, Tak: its link stored, the download goes on")
        << QStringList{"ttyUSB0"} << true << pytanie << "-"
        << "<dev>/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0";
    QTest::newRow("one without a serial number, Tak: the node stored")
        << QStringList{"ttyUSB0/"} << true << pytanie << "-"
        << "ttyUSB0";
    QTest::newRow("one, Nie: today's message, nothing stored")
        << QStringList{"ttyUSB0"} << false << pytanie << brak << "ttyUSB7";
    QTest::newRow("none: today's message") << QStringList{} << false << "" << brak << "ttyUSB7";
    QTest::newRow("several: today's message and what is plugged in")
        << QStringList{"ttyUSB0", "ttyACM0/"} << false << ""
        << brak + "\nPodłączone urządzenia:\nttyACM0 — FT232R USB UART (FTDI)\n"
                  "ttyUSB0 — FT232R USB UART (FTDI)"
        << "ttyUSB7";
}

void TstKonfiguracja::jedenAdapterJestProponowany()
{
    QFETCH(QStringList, adaptery);
    QFETCH(bool, tak);
    QFETCH(QString, pytanie);
    QFETCH(QString, dopisek);
    QFETCH(QString, wPliku);
    sysfs->Odlacz(QStringLiteral("ttyUSB0"));
    PtyPair urzadzenie;
    QVERIFY(urzadzenie.Ok());
    for (QString a : adaptery) {
        const bool bezNumeru = a.endsWith(u'/');
        a.remove(u'/');
        sysfs->Usb(a, QStringLiteral("FT232R USB UART"), QStringLiteral("FTDI"),
                   bezNumeru ? QString() : QStringLiteral("A1"));
        sysfs->WezelNa(a, urzadzenie.SlavePath()); // the counter is behind it
    }
    startZPlikiem("port=ttyUSB7\r\nmail=biuro@example.pl\r\n");
    frmKonfiguracja->ediMail->setText(QStringLiteral("inny@example.pl")); // not confirmed
    odpowiedzTak = tak;
    frmMain->tobPolacz->click();

    QCOMPARE(pudelka.Teksty(Komunikaty::Rodzaj::Pytanie),
             pytanie.isEmpty() ? QStringList() : QStringList{pytanie});
    QCOMPARE(pudelka.Teksty(Komunikaty::Rodzaj::Komunikat),
             dopisek == u"-" ? QStringList() : QStringList{dopisek});
    // Only the port key is written, and only by "Tak".
    QCOMPARE(portWPliku(), wPliku);
    QVERIFY(CzytajPlik(plik()).contains("mail=biuro@example.pl"));
    QCOMPARE(frmMain->port->Connected(), tak);
    if (tak) {
        QCOMPARE(frmKonfiguracja->WybranyPort(), frmMain->port->Port());
        QByteArray odebrane; // the first poll reaches the counter
        QVERIFY(QTest::qWaitFor(
            [&] {
                odebrane += urzadzenie.ReceiveNow();
                return odebrane.contains('\r');
            },
            5000));
        frmMain->port->SetConnected(false);
    }
}

void TstKonfiguracja::utraconyAdapterWraca_data()
{
    // The adapter with serial number A1 is pulled out during a download and
    // an adapter comes back as ttyUSB1; then "Połącz/Odbierz" again.
    QTest::addColumn<QString>("zapisany");
    QTest::addColumn<QString>("numer"); // of the adapter that comes back
    QTest::addColumn<QString>("pasek"); // panel 3 once it is back
    QTest::addColumn<QString>("port");  // opened by the next download; "" none opens
    const QString wrocil =
        QStringLiteral("Urządzenie podłączone ponownie: ttyUSB1 — FT232R USB UART (FTDI)");
    QTest::newRow("stored node: the new node for this run only") << "ttyUSB0"
                                                                 << "A1" << wrocil << "ttyUSB1";
    QTest::newRow("stored link: it leads to the new node") << "<link>"
                                                           << "A1" << wrocil << "<link>";
    QTest::newRow("another adapter of the same model: not taken") << "ttyUSB0"
                                                                  << "B2"
                                                                  << ""
                                                                  << "";
}

void TstKonfiguracja::utraconyAdapterWraca()
{
    QFETCH(QString, zapisany);
    QFETCH(QString, numer);
    QFETCH(QString, pasek);
    QFETCH(QString, port);
    const QString model = QStringLiteral("FT232R USB UART");
    PtyPair pierwszy, drugi;
    QVERIFY(pierwszy.Ok() && drugi.Ok());
    sysfs->Odlacz(QStringLiteral("ttyUSB0"));
    const QString link =
        sysfs->Usb(QStringLiteral("ttyUSB0"), model, QStringLiteral("FTDI"), QStringLiteral("A1"));
    sysfs->WezelNa(QStringLiteral("ttyUSB0"), pierwszy.SlavePath());
    for (QString *t : {&zapisany, &port})
        t->replace(QStringLiteral("<link>"), link);
    startZPlikiem("port=" + zapisany.toUtf8() + "\r\n");
    frmMain->tobPolacz->click();
    QVERIFY(frmMain->port->Connected());

    pierwszy.CloseMaster();
    QTRY_VERIFY_WITH_TIMEOUT(!frmMain->port->Connected(), 5000);
    sysfs->Odlacz(QStringLiteral("ttyUSB0"));
    sysfs->Usb(QStringLiteral("ttyUSB1"), model, QStringLiteral("FTDI"), numer);
    sysfs->WezelNa(QStringLiteral("ttyUSB1"), drugi.SlavePath());
    if (pasek.isEmpty())
        QTest::qWait(600);
    QTRY_COMPARE_WITH_TIMEOUT(frmMain->TekstPanelu(3), pasek, 2000);
    QVERIFY(!frmMain->port->Connected()); // nothing without a press

    frmMain->tobPolacz->click();
    QCOMPARE(frmMain->port->Connected(), !port.isEmpty());
    if (!port.isEmpty())
        QCOMPARE(frmMain->port->Port(), port);
    QCOMPARE(frmMain->TekstPanelu(3), QString());
    QCOMPARE(portWPliku(), QString(zapisany).replace(sysfs->Dev(), QStringLiteral("<dev>")));
    frmMain->port->SetConnected(false);
}
