#include "Katalog.h"
#include "Komunikaty.h"
#include "Postep.h"
#include "UjscieOkien.h"
#include "Uwaga.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

using Dzialanie = std::function<void(TfrmUwaga &)>;
Q_DECLARE_METATYPE(Dzialanie)
using Okno = std::function<QWidget *()>;
Q_DECLARE_METATYPE(Okno)

// The two small windows of the download: the retry question and the
// progress window's gauge.
class TestUwaga : public QObject
{
    Q_OBJECT

    // The boxes are the window's own, as the program's start-up installs them.
    UjscieOkien m_pudelka;
    const Komunikaty::UstawioneUjscie m_ujscie{m_pudelka};

private slots:
    void wynikPytania_data();
    void wynikPytania();
    void miernikTrzymaSieZakresu_data();
    void miernikTrzymaSieZakresu();
    void pytanieNadPaskiemPostepu_data();
    void pytanieNadPaskiemPostepu();
    void napisyMieszczaSieZDuzaCzcionka_data();
    void napisyMieszczaSieZDuzaCzcionka();
    void pudelkoPokazujeTekstJakWpisany_data();
    void pudelkoPokazujeTekstJakWpisany();
};

using Pudelko = std::function<void(const QString &)>;
Q_DECLARE_METATYPE(Pudelko)

void TestUwaga::wynikPytania_data()
{
    QTest::addColumn<Dzialanie>("dzialanie");
    QTest::addColumn<int>("wynik");

    QTest::newRow("Tak ponawia") << Dzialanie([](TfrmUwaga &d) { d.Button1->click(); }) << 1;
    QTest::newRow("Nie rezygnuje") << Dzialanie([](TfrmUwaga &d) { d.Button2->click(); }) << 2;
    QTest::newRow("zamknięcie ramką rezygnuje") << Dzialanie([](TfrmUwaga &d) { d.close(); }) << 2;
    QTest::newRow("Esc rezygnuje")
        << Dzialanie([](TfrmUwaga &d) { QTest::keyClick(&d, Qt::Key_Escape); }) << 2;
    QTest::newRow("dane z zewnątrz kończą pytanie")
        << Dzialanie([](TfrmUwaga &d) { d.done(TfrmUwaga::Dane); }) << 5;
}

void TestUwaga::wynikPytania()
{
    QFETCH(Dzialanie, dzialanie);
    QFETCH(int, wynik);

    // One dialog asked twice, as the program does across a run: an earlier
    // answer must not leak into the next one.
    TfrmUwaga pytanie;
    for (int raz = 0; raz < 2; ++raz) {
        QTimer::singleShot(0, &pytanie, [&] {
            QVERIFY(pytanie.isVisible());
            dzialanie(pytanie);
            // Every action ends the dialog at once; one that did not must
            // fail the row, not leave exec() waiting.
            if (pytanie.isVisible())
                pytanie.done(-1);
        });
        QCOMPARE(pytanie.exec(), wynik);
        QVERIFY(!pytanie.isVisible());
    }
}

void TestUwaga::miernikTrzymaSieZakresu_data()
{
    QTest::addColumn<int>("maksimum");
    QTest::addColumn<int>("postep");
    QTest::addColumn<int>("noweMaksimum");
    QTest::addColumn<int>("oczekiwanyPostep");
    QTest::addColumn<int>("procent");

    QTest::newRow("zwykły postęp") << 100 << 42 << 100 << 42 << 42;
    QTest::newRow("ponad maksimum obcięty") << 100 << 150 << 100 << 100 << 100;
    QTest::newRow("ujemny to zero") << 100 << -5 << 100 << 0 << 0;
    QTest::newRow("niższe maksimum obniża postęp") << 100 << 80 << 50 << 50 << 100;
    QTest::newRow("wyższe maksimum zostawia postęp") << 100 << 50 << 200 << 50 << 25;
    QTest::newRow("procent obcięty w dół") << 3 << 2 << 3 << 2 << 66;
    QTest::newRow("linie raportu") << 100 << 0 << 200000 << 0 << 0;
    QTest::newRow("raport bez linii") << 100 << 10 << 0 << 0 << 0;
}

void TestUwaga::miernikTrzymaSieZakresu()
{
    QFETCH(int, maksimum);
    QFETCH(int, postep);
    QFETCH(int, noweMaksimum);
    QFETCH(int, oczekiwanyPostep);
    QFETCH(int, procent);

    TfrmPasek okno;
    TMiernik *g = okno.gauPostep;
    g->UstawMaksimum(maksimum);
    g->UstawPostep(postep);
    g->UstawMaksimum(noweMaksimum);
    g->PokazProcent(true);

    QCOMPARE(g->Postep(), oczekiwanyPostep);
    QCOMPARE(g->Procent(), procent);
    // What the bar draws: the same percentage, never a busy indicator.
    QCOMPARE(g->text(), QString::number(procent) + QLatin1Char('%'));
    QVERIFY(g->maximum() > g->minimum());
}

void TestUwaga::pytanieNadPaskiemPostepu_data()
{
    QTest::addColumn<bool>("pasekPrzed");    // the progress window is up when the box opens
    QTest::addColumn<bool>("pasekWTrakcie"); // and is shown again while it is open
    QTest::newRow("no progress window") << false << false;
    QTest::newRow("progress window up: the box above it") << true << false;
    QTest::newRow("progress window shown again during the box") << true << true;
}

void TestUwaga::pytanieNadPaskiemPostepu()
{
    QFETCH(bool, pasekPrzed);
    QFETCH(bool, pasekWTrakcie);

    // The progress window stays on top of the program's other windows; a
    // question must never open under it, and it has the keyboard.
    TfrmPasek pasek;
    if (pasekPrzed) {
        pasek.show();
        QVERIFY(QTest::qWaitForWindowActive(&pasek));
    }
    QPointer<QMessageBox> pudelko;
    bool naWierzchu = false, nalezyDoPaska = false, aktywne = false, pokazanyZnow = false;
    int tykniecia = 0;
    QTimer obserwator;
    connect(&obserwator, &QTimer::timeout, this, [&] {
        pudelko = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!pudelko || !pudelko->isVisible())
            return;
        if (pasekWTrakcie && !pokazanyZnow) {
            pasek.hide();
            pasek.show();
            pokazanyZnow = true;
            return;
        }
        // A bound, so that a box that never gets the focus fails the row.
        aktywne = QApplication::activeWindow() == pudelko;
        if (!aktywne && ++tykniecia < 200)
            return;
        naWierzchu = pudelko->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        nalezyDoPaska = pudelko->parentWidget() == &pasek;
        obserwator.stop();
        pudelko->button(QMessageBox::No)->click();
    });
    obserwator.start(10);

    QVERIFY(!Komunikaty::Pytanie(QStringLiteral("Czy chcesz zapisać dane?")));
    QVERIFY(aktywne);
    QCOMPARE(naWierzchu, pasekPrzed);
    QCOMPARE(nalezyDoPaska, pasekPrzed);
}

void TestUwaga::napisyMieszczaSieZDuzaCzcionka_data()
{
    QTest::addColumn<Okno>("okno");
    QTest::newRow("retry dialog") << Okno([] { return new TfrmUwaga; });
    QTest::newRow("directory chooser") << Okno([] { return new TfrmKatalog; });
}

void TestUwaga::napisyMieszczaSieZDuzaCzcionka()
{
    QFETCH(Okno, okno);

    // The desktop's font half as large again: the window keeps the
    // program's 11-pixel captions, and every caption fits its control.
    const QFont systemowa = QApplication::font();
    auto przywroc = qScopeGuard([&] { QApplication::setFont(systemowa); });
    QFont duza = systemowa;
    duza.setPointSizeF(systemowa.pointSizeF() * 1.5);
    QApplication::setFont(duza);

    std::unique_ptr<QWidget> w(okno());
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    for (QLabel *l : w->findChildren<QLabel *>()) {
        QCOMPARE(l->font().pixelSize(), 11);
        const QSize potrzebne =
            l->wordWrap() ? QSize(l->width(), l->heightForWidth(l->width())) : l->sizeHint();
        QVERIFY2(potrzebne.width() <= l->width() && potrzebne.height() <= l->height(),
                 qPrintable(l->text()));
    }
    for (QPushButton *b : w->findChildren<QPushButton *>()) {
        QCOMPARE(b->font().pixelSize(), 11);
        const QString napis = QString(b->text()).remove(u'&');
        QVERIFY2(b->fontMetrics().horizontalAdvance(napis) + 8 <= b->width() &&
                     b->fontMetrics().height() + 4 <= b->height(),
                 qPrintable(napis));
    }
}

void TestUwaga::pudelkoPokazujeTekstJakWpisany_data()
{
    QTest::addColumn<Pudelko>("pokaz");
    QTest::addColumn<QString>("widoczny"); // the text the box shows for "<b>x</b>"
    QTest::newRow("question") << Pudelko([](const QString &t) { Komunikaty::Pytanie(t); })
                              << QStringLiteral("<b>x</b>");
    QTest::newRow("message") << Pudelko([](const QString &t) { Komunikaty::Komunikat(t); })
                             << QStringLiteral("<b>x</b>");
    QTest::newRow("error") << Pudelko([](const QString &t) { Komunikaty::PokazBlad(t); })
                           << QStringLiteral("<b>x</b>.");
}

void TestUwaga::pudelkoPokazujeTekstJakWpisany()
{
    QFETCH(Pudelko, pokaz);
    QFETCH(QString, widoczny);
    // An object name or a path may hold markup: it is shown as typed.
    QString tekst;
    Qt::TextFormat format = Qt::AutoText;
    QTimer obserwator;
    connect(&obserwator, &QTimer::timeout, this, [&] {
        auto *pudelko = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!pudelko || !pudelko->isVisible())
            return;
        obserwator.stop();
        tekst = pudelko->text();
        format = pudelko->textFormat();
        pudelko->close();
    });
    obserwator.start(10);

    pokaz(QStringLiteral("<b>x</b>"));

    QCOMPARE(tekst, widoczny);
    QCOMPARE(format, Qt::PlainText);
}

QTEST_MAIN(TestUwaga)
#include "tst_uwaga.moc"
