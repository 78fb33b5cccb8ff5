#include "oProgr.h"

#include "Narzedzia.h"

#include <QCoreApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

TfrmOprogramie *frmOprogramie = nullptr;

TfrmOprogramie::TfrmOprogramie(QWidget *parent)
    : QDialog(parent)
    , Panel1(new QFrame(this))
    , ProductName(new QLabel(QStringLiteral("Vestibulomat"), Panel1))
    , labVersion(new QLabel(Panel1))
    , zamknij(new QPushButton(QStringLiteral("&Zamknij"), this))
{
    setObjectName(QStringLiteral("frmOprogramie"));
    Panel1->setObjectName(QStringLiteral("Panel1"));
    ProductName->setObjectName(QStringLiteral("ProductName"));
    labVersion->setObjectName(QStringLiteral("labVersion"));
    zamknij->setObjectName(QStringLiteral("zamknij"));

    setWindowTitle(QStringLiteral("Informacja o programie"));
    // Minimise and the window menu, no maximise; the size is fixed.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(282, 185);

    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);
    Panel1->setGeometry(0, 0, 281, 161);
    ProductName->move(95, 16);
    labVersion->move(95, 31);

    zamknij->setFlat(true);
    zamknij->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    zamknij->setGeometry(0, 159, 281, 25);

    connectHandlers();
    FormCreate();
}

void TfrmOprogramie::connectHandlers()
{
    connect(zamknij, &QPushButton::clicked, this, [this] { zamknijClick(); });
}

void TfrmOprogramie::FormCreate()
{
    labVersion->setText(WersjaPliku(QCoreApplication::applicationFilePath()));
    labVersion->adjustSize();
    ProductName->adjustSize();
}

void TfrmOprogramie::zamknijClick()
{
    done(1);
}

void TfrmOprogramie::reject()
{
    // The close box closes it like the button.
    done(1);
}

void TfrmOprogramie::keyPressEvent(QKeyEvent *zdarzenie)
{
    if (zdarzenie->key() == Qt::Key_Escape) {
        done(1);
        return;
    }
    QDialog::keyPressEvent(zdarzenie);
}
