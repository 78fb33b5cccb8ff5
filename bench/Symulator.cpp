#include "Symulator.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <stdexcept>

namespace bench {

QString Symulator::Sciezka()
{
    const QString zmienna = qEnvironmentVariable("VESTIBULOMAT_SIM");
    if (!zmienna.isEmpty())
        return zmienna;
    const QString obok =
        QCoreApplication::applicationDirPath() + QStringLiteral("/vestibulomat-sim");
    if (QFileInfo(obok).isExecutable())
        return obok;
    return QStringLiteral(VM_BENCH_SIM);
}

Symulator::Symulator(const QStringList &opcje)
{
    m_proces.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_proces.start(Sciezka(), opcje);
    if (!m_proces.waitForStarted(10000))
        throw std::runtime_error("cannot start " + Sciezka().toStdString());
    while (!m_proces.canReadLine()) {
        if (!m_proces.waitForReadyRead(10000))
            throw std::runtime_error("the simulator printed no PORT line");
    }
    const QString linia = QString::fromLocal8Bit(m_proces.readLine()).trimmed();
    if (!linia.startsWith(QLatin1String("PORT ")))
        throw std::runtime_error("unexpected simulator output: " + linia.toStdString());
    m_port = linia.mid(5);
}

Symulator::~Symulator()
{
    if (m_proces.state() == QProcess::NotRunning)
        return;
    m_proces.terminate();
    if (!m_proces.waitForFinished(5000)) {
        m_proces.kill();
        m_proces.waitForFinished(5000);
    }
}

} // namespace bench
