#include "Postep.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include <algorithm>

TfrmPasek *frmPasek = nullptr;

TMiernik::TMiernik(QWidget *parent)
    : QProgressBar(parent)
{
    setOrientation(Qt::Horizontal);
    setRange(0, m_maksimum);
    Odswiez(true);
}

void TMiernik::UstawPostep(int postep)
{
    postep = std::clamp(postep, 0, std::max(m_maksimum, 0));
    if (postep == m_postep)
        return;
    m_postep = postep;
    Odswiez(false);
}

void TMiernik::UstawMaksimum(int maksimum)
{
    maksimum = std::max(maksimum, 0);
    if (maksimum == m_maksimum)
        return;
    m_maksimum = maksimum;
    m_postep = std::min(m_postep, m_maksimum);
    Odswiez(true);
}

void TMiernik::PokazProcent(bool pokaz)
{
    if (pokaz == isTextVisible())
        return;
    setTextVisible(pokaz);
    repaint();
}

int TMiernik::Procent() const
{
    if (m_maksimum <= 0)
        return 0;
    return static_cast<int>(qint64(m_postep) * 100 / m_maksimum);
}

void TMiernik::Odswiez(bool zawsze)
{
    const int procent = Procent();
    if (!zawsze && procent == m_pokazanyProcent)
        return;
    m_pokazanyProcent = procent;
    // The bar is given the percentage, not the raw progress: its own range
    // 0..0 would turn it into a busy indicator, and its text is then exactly
    // our truncated percentage.
    if (maximum() != 100)
        setRange(0, 100);
    setValue(procent);
    repaint();
}

TfrmPasek::TfrmPasek(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("frmPasek"));
    setWindowTitle(QStringLiteral("Pasek postępu"));
    // Client area of a 491 x 97 window with the usual frame.
    resize(483, 70);

    Label1 = new QLabel(QStringLiteral("Proszę czekać trwa odbieranie danych!"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(16, 10, 451, 20);

    gauPostep = new TMiernik(this);
    gauPostep->setObjectName(QStringLiteral("gauPostep"));
    gauPostep->setGeometry(16, 38, 451, 15);

    FormCreate();
}

void TfrmPasek::FormCreate()
{
    gauPostep->UstawMaksimum(100);
}

void TfrmPasek::PokazNapis(const QString &tekst)
{
    Label1->setText(tekst);
    Label1->repaint();
}

void TfrmPasek::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_wysrodkowane)
        return;
    // Centred on the screen the first time; after that it stays where the
    // user puts it.
    m_wysrodkowane = true;
    if (QScreen *ekran = screen() ? screen() : QGuiApplication::primaryScreen()) {
        QRect okno = frameGeometry();
        okno.moveCenter(ekran->availableGeometry().center());
        move(okno.topLeft());
    }
}
