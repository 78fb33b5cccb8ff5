#include "Komunikaty.h"

#include "Bledy.h"

#include <QApplication>
#include <QMessageBox>

namespace Komunikaty {

namespace {

Hook &hook()
{
    static Hook h;
    return h;
}

QWidget *rodzic()
{
    return QApplication::activeWindow();
}

QString &ostatnieSzczegoly()
{
    static QString s;
    return s;
}

} // namespace

QString OstatnieSzczegoly()
{
    return ostatnieSzczegoly();
}

void UstawHook(Hook h)
{
    hook() = std::move(h);
}

QString TytulProgramu()
{
    const QString nazwa = QApplication::applicationDisplayName();
    return nazwa.isEmpty() ? QStringLiteral("Vestibulomat") : nazwa;
}

bool Pytanie(const QString &tekst)
{
    if (hook())
        return hook()(Rodzaj::Pytanie, tekst);
    return QMessageBox::question(rodzic(), QStringLiteral("Uwaga!"), tekst,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void Komunikat(const QString &tekst, const QString &szczegoly)
{
    ostatnieSzczegoly() = szczegoly;
    if (hook()) {
        hook()(Rodzaj::Komunikat, tekst);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, TytulProgramu(), tekst, QMessageBox::Ok, rodzic());
    if (!szczegoly.isEmpty())
        box.setDetailedText(szczegoly);
    box.exec();
}

void PokazBlad(const QString &wiadomosc, const QString &szczegoly)
{
    QString tekst = wiadomosc;
    if (!tekst.endsWith(u'.'))
        tekst += u'.';
    ostatnieSzczegoly() = szczegoly;
    if (hook()) {
        hook()(Rodzaj::Blad, tekst);
        return;
    }
    QMessageBox box(QMessageBox::Critical, TytulProgramu(), tekst, QMessageBox::Ok, rodzic());
    if (!szczegoly.isEmpty())
        box.setDetailedText(szczegoly);
    box.exec();
}

void PokazWyjatek(const std::exception &e)
{
    if (const auto *opisany = dynamic_cast<const OpisanyBlad *>(&e))
        PokazBlad(opisany->TekstUzytkownika(), opisany->Szczegoly());
    else
        PokazBlad(QString::fromUtf8(e.what()));
}

} // namespace Komunikaty
