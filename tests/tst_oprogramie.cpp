// The about window (closing, the version shown) and opening the help.

#include "Komunikaty.h"
#include "Narzedzia.h"
#include "Pomoc.h"
#include "UjscieTestowe.h"
#include "oProgr.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

class TstOprogramie : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the desktop's viewer.
    void otworz(const QUrl &url) { m_otwarte << url.toLocalFile(); }

private slots:
    void initTestCase();
    void init();

    void closes_data();
    void closes();
    void showsTheExecutablesVersion();
    void helpFiles_data();
    void helpFiles();
    void openingHelp_data();
    void openingHelp();

private:
    QStringList m_otwarte;
    QStringList m_komunikaty;
};

void TstOprogramie::initTestCase()
{
    NagrywajKomunikaty([this](Komunikaty::Rodzaj, const QString &tekst) {
        m_komunikaty << tekst;
        return true;
    });
}

void TstOprogramie::init()
{
    m_otwarte.clear();
    m_komunikaty.clear();
}

void TstOprogramie::closes_data()
{
    QTest::addColumn<QString>("jak");

    QTest::newRow("Esc on the window") << "esc";
    QTest::newRow("Esc with the focus on the button") << "esc-button";
    QTest::newRow("Zamknij button") << "button";
    QTest::newRow("close box") << "frame";
}

void TstOprogramie::closes()
{
    QFETCH(QString, jak);

    TfrmOprogramie okno;
    okno.show();
    QVERIFY(QTest::qWaitForWindowExposed(&okno));
    okno.setResult(0);

    if (jak == QStringLiteral("esc")) {
        QTest::keyClick(&okno, Qt::Key_Escape);
    } else if (jak == QStringLiteral("esc-button")) {
        okno.zamknij->setFocus();
        QTest::keyClick(okno.zamknij, Qt::Key_Escape);
    } else if (jak == QStringLiteral("button")) {
        QTest::mouseClick(okno.findChild<QPushButton *>(QStringLiteral("zamknij")), Qt::LeftButton);
    } else {
        QVERIFY(okno.close());
    }
    QVERIFY(!okno.isVisible());
    QCOMPARE(okno.result(), 1);
}

void TstOprogramie::showsTheExecutablesVersion()
{
    TfrmOprogramie okno;
    const QString wersja = WersjaPliku(QCoreApplication::applicationFilePath());
    QVERIFY(!wersja.isEmpty());
    QCOMPARE(okno.findChild<QLabel *>(QStringLiteral("labVersion"))->text(), wersja);
    QCOMPARE(okno.findChild<QLabel *>(QStringLiteral("ProductName"))->text(),
             QStringLiteral("Vestibulomat"));
}

namespace {

// Lays out a program directory "bin/" in the temporary directory with the
// given files; returns the program directory with its trailing "/".
QString katalogProgramu(const QTemporaryDir &tmp, const QStringList &pliki)
{
    const QString baza = tmp.path() + u'/';
    for (const QString &plik : pliki) {
        QDir().mkpath(QFileInfo(baza + plik).path());
        QFile f(baza + plik);
        if (!f.open(QIODevice::WriteOnly))
            return QString();
        f.write("<html></html>");
    }
    QDir().mkpath(baza + QStringLiteral("bin"));
    return baza + QStringLiteral("bin/");
}

} // namespace

void TstOprogramie::helpFiles_data()
{
    QTest::addColumn<QStringList>("pliki");
    QTest::addColumn<QStringList>("oczekiwane");

    const QString hlp = QStringLiteral("bin/Vestibulomat.hlp");
    const QString html = QStringLiteral("bin/Vestibulomat.html");
    const QString dane = QStringLiteral("share/vestibulomat/Vestibulomat.html");

    QTest::newRow("no help at all") << QStringList{} << QStringList{};
    QTest::newRow("HTML beside the program") << QStringList{html} << QStringList{html};
    QTest::newRow("a .hlp is tried first") << QStringList{html, hlp} << QStringList{hlp, html};
    QTest::newRow("installed data directory") << QStringList{dane} << QStringList{dane};
    QTest::newRow("beside the program before installed")
        << QStringList{dane, html} << QStringList{html, dane};
}

void TstOprogramie::helpFiles()
{
    QFETCH(QStringList, pliki);
    QFETCH(QStringList, oczekiwane);

    QTemporaryDir tmp;
    const QString katalog = katalogProgramu(tmp, pliki);
    QVERIFY(!katalog.isEmpty());
    QStringList znalezione;
    for (const QString &p : PlikiPomocy(katalog))
        znalezione << QDir(tmp.path()).relativeFilePath(p);
    QCOMPARE(znalezione, oczekiwane);
}

void TstOprogramie::openingHelp_data()
{
    QTest::addColumn<QStringList>("pliki");
    QTest::addColumn<bool>("przegladarka");
    QTest::addColumn<QString>("otwarty");
    QTest::addColumn<QString>("komunikat");

    const QString hlp = QStringLiteral("bin/Vestibulomat.hlp");
    const QString html = QStringLiteral("bin/Vestibulomat.html");

    QTest::newRow("HTML opened") << QStringList{html} << true << html << "";
    QTest::newRow(".hlp opened when present") << QStringList{hlp, html} << true << hlp << "";
    QTest::newRow("no help file is reported") << QStringList{} << true << ""
                                              << "Nie znaleziono pliku pomocy";
    QTest::newRow("no viewer is reported") << QStringList{html} << false << ""
                                           << "Nie można otworzyć pliku pomocy";
}

void TstOprogramie::openingHelp()
{
    QFETCH(QStringList, pliki);
    QFETCH(bool, przegladarka);
    QFETCH(QString, otwarty);
    QFETCH(QString, komunikat);

    // Without our handler the offscreen platform refuses to open anything;
    // a real desktop would start a viewer.
    if (!przegladarka && QGuiApplication::platformName() != QStringLiteral("offscreen"))
        QSKIP("needs the offscreen platform, which has no viewer");

    QTemporaryDir tmp;
    const QString katalog = katalogProgramu(tmp, pliki);
    if (przegladarka)
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "otworz");
    else
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("openDocument")));
    OtworzPomoc(katalog);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

    if (otwarty.isEmpty())
        QVERIFY(m_otwarte.isEmpty());
    else
        QCOMPARE(m_otwarte, QStringList{tmp.path() + u'/' + otwarty});
    if (komunikat.isEmpty()) {
        QVERIFY(m_komunikaty.isEmpty());
    } else {
        QCOMPARE(m_komunikaty.size(), 1);
        QVERIFY2(m_komunikaty.first().startsWith(komunikat), qPrintable(m_komunikaty.first()));
    }
}

QTEST_MAIN(TstOprogramie)
#include "tst_oprogramie.moc"
