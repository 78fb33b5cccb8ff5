// Loaded into the installed program by tst_instalacja.sh as a Qt generic
// plugin. Once the main window is up it prints what the program chose, one
// "key value" line each, presses "Potwierdź" so that the settings file is
// written where the program writes it, asks for the help (the desktop's
// "open" is answered here, not by a browser) and closes the main window.

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QGenericPlugin>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>
#include <utility>

namespace {

void Wypisz(const char *klucz, const QString &wartosc)
{
    std::printf("%s %s\n", klucz, wartosc.toLocal8Bit().constData());
    std::fflush(stdout);
}

QWidget *Okno(const char *nazwa)
{
    const QWidgetList okna = QApplication::topLevelWidgets();
    for (QWidget *okno : okna) {
        if (okno->objectName() == QLatin1String(nazwa))
            return okno;
    }
    return nullptr;
}

QString Ikona(const QIcon &ikona)
{
    return ikona.pixmap(32).isNull() ? QStringLiteral("brak") : QStringLiteral("jest");
}

} // namespace

class Sprawdzenie : public QObject
{
    Q_OBJECT

public:
    Sprawdzenie() { QTimer::singleShot(0, this, &Sprawdzenie::sprawdz); }

public slots:
    void otworz(const QUrl &url) { Wypisz("pomoc", url.toLocalFile()); }

private:
    void sprawdz()
    {
        QWidget *glowne = Okno("frmMain");
        QWidget *konfiguracja = Okno("frmKonfiguracja");
        // The settings are read when the main window is first shown.
        if (!glowne || !konfiguracja || !glowne->isVisible()) {
            QTimer::singleShot(10, this, &Sprawdzenie::sprawdz);
            return;
        }
        Wypisz("desktop", QGuiApplication::desktopFileName());
        Wypisz("ikona-programu", Ikona(QApplication::windowIcon()));
        Wypisz("ikona-okna", Ikona(glowne->windowIcon()));
        // Qt's own texts (message boxes, the save dialog) in Polish, as
        // the program itself loads them, whatever the locale.
        for (const auto &[klucz, przycisk] : {std::pair{"qt-anuluj", QDialogButtonBox::Cancel},
                                              std::pair{"qt-tak", QDialogButtonBox::Yes},
                                              std::pair{"qt-nie", QDialogButtonBox::No}}) {
            const QDialogButtonBox przyciski(przycisk);
            Wypisz(klucz, przyciski.button(przycisk)->text());
        }
        Wypisz("katalog",
               konfiguracja->findChild<QLineEdit *>(QStringLiteral("ediKatalog"))->text());
        konfiguracja->findChild<QPushButton *>(QStringLiteral("Button1"))->click();

        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "otworz");
        glowne->findChild<QAction *>(QStringLiteral("Tematypomocy1"))->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

        Wypisz("koniec", QString());
        glowne->close();
    }
};

class SprawdzeniePlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "sprawdzenie.json")

public:
    QObject *create(const QString &klucz, const QString &) override
    {
        return klucz == QLatin1String("vmsprawdzenie") ? new Sprawdzenie : nullptr;
    }
};

#include "Sprawdzenie.moc"
