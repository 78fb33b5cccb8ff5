#include "Uwaga.h"

#include "Komunikaty.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TfrmUwaga *frmUwaga = nullptr;

TfrmUwaga::TfrmUwaga(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("frmUwaga"));
    setWindowTitle(QStringLiteral("Uwaga!"));
    setModal(true);
    // The program's caption font: the fixed client area below was laid out
    // for it, whatever size the desktop's font has.
    QFont maly = font();
    maly.setPixelSize(11);
    setFont(maly);

    Label1 = new QLabel(
        QStringLiteral("Nie można nawiązać komunikacji! Ponowić próbę połączenia ?"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setWordWrap(true);

    Button1 = new QPushButton(QStringLiteral("&Tak"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("&Nie"), this);
    Button2->setObjectName(QStringLiteral("Button2"));

    auto *przyciski = new QHBoxLayout;
    przyciski->addStretch();
    przyciski->addWidget(Button1);
    przyciski->addSpacing(16);
    przyciski->addWidget(Button2);
    przyciski->addStretch();

    auto *uklad = new QVBoxLayout(this);
    uklad->setContentsMargins(8, 6, 8, 6);
    uklad->addWidget(Label1);
    uklad->addLayout(przyciski);

    // Fixed single border: the client area never changes size. A parentless
    // dialog is centred on the screen when shown.
    setFixedSize(319, 74);

    connect(Button1, &QPushButton::clicked, this,
            [this] { Komunikaty::Chron([&] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this,
            [this] { Komunikaty::Chron([&] { Button2Click(); }); });
}

void TfrmUwaga::Button1Click()
{
    done(Ponow);
}

void TfrmUwaga::Button2Click()
{
    done(Rezygnuj);
}

void TfrmUwaga::reject()
{
    done(Rezygnuj);
}
