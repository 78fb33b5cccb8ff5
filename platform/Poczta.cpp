#include "Poczta.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>
#include <QUrl>

namespace {

int &czasOczekiwania()
{
    static int ms = 5000;
    return ms;
}

} // namespace

void UstawCzasOczekiwaniaPoczty(int milisekundy)
{
    czasOczekiwania() = milisekundy;
}

int CzasOczekiwaniaPoczty()
{
    return czasOczekiwania();
}

QStringList ArgumentyPoczty(const WiadomoscPoczty &wiadomosc)
{
    QStringList argumenty{QStringLiteral("--utf8"),
                          QStringLiteral("--subject"),
                          wiadomosc.temat,
                          QStringLiteral("--body"),
                          wiadomosc.tresc,
                          QStringLiteral("--attach"),
                          wiadomosc.sciezkaZalacznika};
    // With no address the client opens the message with an empty recipient
    // field and the user fills it in.
    if (wiadomosc.adres.isEmpty())
        return argumenty;
    if (wiadomosc.adres.startsWith(u'-')) {
        argumenty << QStringLiteral("mailto:") +
                         QString::fromLatin1(QUrl::toPercentEncoding(wiadomosc.adres, "@"));
    } else {
        argumenty << wiadomosc.adres;
    }
    return argumenty;
}

int WyslijPoczte(const WiadomoscPoczty &wiadomosc)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    if (program.isEmpty())
        return PocztaBrakProgramu;

    // Not parented and not deleted while running: destroying a QProcess kills
    // its child, and the mail client may still be reading the attachment.
    auto *proces = new QProcess;
    proces->setProgram(program);
    proces->setArguments(ArgumentyPoczty(wiadomosc));
    proces->setStandardInputFile(QProcess::nullDevice());
    proces->setProcessChannelMode(QProcess::ForwardedChannels);

    QEventLoop petla;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &petla, &QEventLoop::quit);
    QObject::connect(proces, &QProcess::finished, &petla, &QEventLoop::quit);
    QObject::connect(proces, &QProcess::errorOccurred, &petla, [&petla](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            petla.quit();
    });

    proces->start();
    limit.start(czasOczekiwania());
    // Painting, timers and serial events go on; clicks wait, so the command
    // cannot be started a second time while this one is waiting.
    if (proces->state() != QProcess::NotRunning)
        petla.exec(QEventLoop::ExcludeUserInputEvents);

    if (proces->state() != QProcess::NotRunning) {
        // Still busy: the client has the message. Let the process finish on
        // its own and clean up after it.
        QObject::disconnect(proces, nullptr, &petla, nullptr);
        QObject::connect(proces, &QProcess::finished, proces, &QObject::deleteLater);
        return PocztaPrzekazana;
    }

    int wynik = PocztaBladUruchomienia;
    if (proces->error() != QProcess::FailedToStart && proces->exitStatus() == QProcess::NormalExit)
        wynik = proces->exitCode();
    proces->deleteLater();
    return wynik;
}

void UsunStareZalaczniki(const QString &katalogTemp)
{
    if (katalogTemp.isEmpty())
        return;
    const QDir katalog(katalogTemp);
    const QFileInfoList pliki =
        katalog.entryInfoList({QStringLiteral("*.txt")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &plik : pliki)
        QFile::remove(plik.absoluteFilePath());
}
