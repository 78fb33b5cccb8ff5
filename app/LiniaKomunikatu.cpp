#include "LiniaKomunikatu.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace {

std::function<void(QAccessibleEvent *)> &Sluchacz()
{
    static std::function<void(QAccessibleEvent *)> sluchacz;
    return sluchacz;
}

QAccessibleInterface *FabrykaDostepuLinii(const QString &klasa, QObject *obiekt)
{
    if (klasa == QLatin1String("TLiniaKomunikatu") && obiekt && obiekt->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(obiekt), QAccessible::AlertMessage);
    return nullptr;
}

} // namespace

TLiniaKomunikatu::TLiniaKomunikatu(QWidget *parent)
    : QFrame(parent)
{
    static const bool fabryka = [] {
        QAccessible::installFactory(&FabrykaDostepuLinii);
        return true;
    }();
    Q_UNUSED(fabryka);

    setObjectName(QStringLiteral("panKomunikat"));
    setFrameStyle(QFrame::StyledPanel | QFrame::Plain);
    setAutoFillBackground(true);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0xff, 0xf8, 0xd8));
    p.setColor(QPalette::WindowText, Qt::black);
    setPalette(p);

    auto *uklad = new QHBoxLayout(this);
    uklad->setContentsMargins(6, 3, 6, 3);
    labIkona = new QLabel(this);
    labIkona->setObjectName(QStringLiteral("labIkona"));
    labTekst = new QLabel(this);
    labTekst->setObjectName(QStringLiteral("labKomunikat"));
    // A file name or a run's message may hold "<".
    labTekst->setTextFormat(Qt::PlainText);
    labTekst->setWordWrap(true);
    labTekst->setTextInteractionFlags(Qt::TextSelectableByMouse);
    btnOtworz = new QPushButton(QStringLiteral("Otwórz"), this);
    btnOtworz->setObjectName(QStringLiteral("btnOtworz"));
    btnUkryj = new QPushButton(QStringLiteral("Ukryj"), this);
    btnUkryj->setObjectName(QStringLiteral("btnUkryj"));
    // Enter in the main window must not press a button of the line.
    for (QPushButton *b : {btnOtworz, btnUkryj}) {
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::StrongFocus);
    }
    uklad->addWidget(labIkona);
    uklad->addWidget(labTekst, 1);
    uklad->addWidget(btnOtworz);
    uklad->addWidget(btnUkryj);
    hide();
}

void TLiniaKomunikatu::Pokaz(Rodzaj rodzaj, const QString &tekst, bool zOtworz,
                             const QString &podpowiedz)
{
    const QStyle::StandardPixmap ikona = rodzaj == Rodzaj::Ostrzezenie
                                             ? QStyle::SP_MessageBoxWarning
                                             : QStyle::SP_MessageBoxInformation;
    const int rozmiar = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    labIkona->setPixmap(style()->standardIcon(ikona, nullptr, this).pixmap(rozmiar, rozmiar));
    labTekst->setText(tekst);
    // A tool tip has no plain-text mode: the path is escaped.
    labTekst->setToolTip(podpowiedz.isEmpty() ? QString() : podpowiedz.toHtmlEscaped());
    setAccessibleName(tekst);
    setAccessibleDescription(podpowiedz);
    btnOtworz->setVisible(zOtworz);
    show();

    QAccessibleEvent alarm(this, QAccessible::Alert);
    if (Sluchacz())
        Sluchacz()(&alarm);
    QAccessible::updateAccessibility(&alarm);
}

QString TLiniaKomunikatu::Tekst() const
{
    return labTekst->text();
}

void TLiniaKomunikatu::UstawSluchaczaDostepnosci(std::function<void(QAccessibleEvent *)> sluchacz)
{
    Sluchacz() = std::move(sluchacz);
}
