#include "Symulator.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTest>

Symulator::Symulator(const QStringList &opcje, int limitMs)
    : m_limitMs(limitMs)
{
    const QString program = Program();
    if (program.isEmpty()) {
        m_blad = QStringLiteral("the simulator was not found (set VESTIBULOMAT_SIM)");
        return;
    }
    m_proces.setProcessChannelMode(QProcess::SeparateChannels);
    m_proces.start(program, opcje);
    if (!m_proces.waitForStarted(limitMs)) {
        m_blad = program + QStringLiteral(": ") + m_proces.errorString();
        return;
    }
    const QByteArray pierwsza = Linia(limitMs);
    if (pierwsza.startsWith("PORT "))
        m_port = QString::fromLocal8Bit(pierwsza.mid(5));
    else
        m_blad = QStringLiteral("no port line from the simulator: ") +
                 QString::fromLocal8Bit(pierwsza + m_proces.readAllStandardError());
}

Symulator::~Symulator()
{
    Zatrzymaj();
}

QString Symulator::Program()
{
    const QString zeZmiennej = qEnvironmentVariable("VESTIBULOMAT_SIM");
    if (!zeZmiennej.isEmpty())
        return zeZmiennej;
    // A test run by hand from build/<dir>/tests finds the one built beside it.
    const QString obok =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/vestibulomat-sim");
    return QFileInfo(obok).isExecutable() ? QFileInfo(obok).canonicalFilePath() : QString();
}

QByteArray Symulator::Linia(int limitMs)
{
    // The event loop keeps running meanwhile: the program under test goes on
    // polling and receiving while the test waits for the simulator.
    (void)QTest::qWaitFor(
        [&] { return m_proces.canReadLine() || m_proces.state() != QProcess::Running; }, limitMs);
    if (!m_proces.canReadLine())
        return QByteArray();
    return m_proces.readLine().trimmed();
}

bool Symulator::CzekajNaKoniec(int limitMs)
{
    return QTest::qWaitFor([&] { return m_proces.state() == QProcess::NotRunning; }, limitMs);
}

int Symulator::KodWyjscia() const
{
    return m_proces.exitStatus() == QProcess::NormalExit ? m_proces.exitCode() : -1;
}

bool Symulator::Dziala() const
{
    return m_proces.state() != QProcess::NotRunning;
}

void Symulator::Zatrzymaj()
{
    if (m_proces.state() == QProcess::NotRunning)
        return;
    m_proces.terminate();
    if (!m_proces.waitForFinished(m_limitMs)) {
        m_proces.kill();
        m_proces.waitForFinished(m_limitMs);
    }
}

QByteArray Symulator::BledyProcesu()
{
    return m_proces.readAllStandardError();
}
