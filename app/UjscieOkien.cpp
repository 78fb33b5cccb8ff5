#include "UjscieOkien.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

namespace {

QWidget *rodzic()
{
    return QApplication::activeWindow();
}

// A visible window of the program that stays on top of the others (the
// progress window while a report arrives).
QWidget *oknoNaWierzchu(const QWidget *pominiete)
{
    const auto okna = QApplication::topLevelWidgets();
    for (QWidget *okno : okna) {
        if (okno != pominiete && okno->isVisible() &&
            okno->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            return okno;
    }
    return nullptr;
}

void naWierzch(QWidget *okno)
{
    okno->raise();
    okno->activateWindow();
}

// While a box is open, the progress window may come back with the next
// chunk and take the keyboard: the box is brought back on top with the focus.
class StraznikPudelka : public QObject
{
public:
    explicit StraznikPudelka(QWidget *pudelko)
        : m_pudelko(pudelko)
    {
        qApp->installEventFilter(this);
    }
    ~StraznikPudelka() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *obiekt, QEvent *zdarzenie) override
    {
        // Only a window that stays on top: other boxes opened from this
        // one's loop, menus and tooltips are left alone.
        const auto *okno = obiekt->isWidgetType() ? static_cast<QWidget *>(obiekt) : nullptr;
        if (zdarzenie->type() == QEvent::Show && okno && okno != m_pudelko &&
            okno->windowType() == Qt::Window &&
            okno->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) {
            QTimer::singleShot(0, m_pudelko, [p = m_pudelko] {
                if (p)
                    naWierzch(p);
            });
        }
        return false;
    }

private:
    QPointer<QWidget> m_pudelko;
};

// Shows a box modally above every window of the program. While the progress
// window is up, the box belongs to it (a window manager keeps a dialog above
// the window it belongs to) and stays on top itself, so it can never open
// under it. The box has the keyboard focus.
int PokazNadOknami(QMessageBox &pudelko)
{
    // Names, paths and device strings may hold "<": shown as typed, never as
    // markup.
    pudelko.setTextFormat(Qt::PlainText);
    if (QWidget *naWierzchu = oknoNaWierzchu(&pudelko))
        pudelko.setParent(naWierzchu, pudelko.windowFlags() | Qt::WindowStaysOnTopHint);
    const StraznikPudelka straznik(&pudelko);
    QTimer::singleShot(0, &pudelko, [&pudelko] { naWierzch(&pudelko); });
    return pudelko.exec();
}

void PokazZeSzczegolami(QMessageBox::Icon ikona, const QString &tekst, const QString &szczegoly)
{
    QMessageBox box(ikona, TytulProgramu(), tekst, QMessageBox::Ok, rodzic());
    if (!szczegoly.isEmpty())
        box.setDetailedText(szczegoly);
    PokazNadOknami(box);
}

} // namespace

QString TytulProgramu()
{
    const QString nazwa = QApplication::applicationDisplayName();
    return nazwa.isEmpty() ? QStringLiteral("Vestibulomat") : nazwa;
}

void UjscieOkien::Informacja(const QString &tekst, const QString &szczegoly)
{
    PokazZeSzczegolami(QMessageBox::NoIcon, tekst, szczegoly);
}

void UjscieOkien::Blad(const QString &tekst, const QString &szczegoly)
{
    PokazZeSzczegolami(QMessageBox::Critical, tekst, szczegoly);
}

bool UjscieOkien::Pytanie(const QString &tekst)
{
    QMessageBox pudelko(QMessageBox::Question, QStringLiteral("Uwaga!"), tekst,
                        QMessageBox::Yes | QMessageBox::No, rodzic());
    return PokazNadOknami(pudelko) == QMessageBox::Yes;
}
