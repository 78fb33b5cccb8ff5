#include "ComProperties.h"

#include "CPort.h"

using vm_serial_detail::Store;

TComParity::TComParity(const TComParity &o)
    : m_port(nullptr)
    , m_bits(o.m_bits)
    , m_check(o.m_check)
    , m_replace(o.m_replace)
    , m_replaceChar(o.m_replaceChar)
{}

void TComParity::Assign(const TComParity &src)
{
    m_bits = src.m_bits;
    m_check = src.m_check;
    m_replace = src.m_replace;
    m_replaceChar = src.m_replaceChar;
    Changed();
}

void TComParity::Changed()
{
    if (m_port)
        m_port->ApplyLineSettings();
}

void TComParity::SetBits(TParityBits v)
{
    if (Store(m_bits, v))
        Changed();
}
void TComParity::SetCheck(bool v)
{
    if (Store(m_check, v))
        Changed();
}
void TComParity::SetReplace(bool v)
{
    if (Store(m_replace, v))
        Changed();
}
void TComParity::SetReplaceChar(char v)
{
    if (Store(m_replaceChar, v))
        Changed();
}

TComFlowControl::TComFlowControl(const TComFlowControl &o)
    : m_port(nullptr)
    , m_outCTSFlow(o.m_outCTSFlow)
    , m_outDSRFlow(o.m_outDSRFlow)
    , m_controlDTR(o.m_controlDTR)
    , m_controlRTS(o.m_controlRTS)
    , m_xonXoffOut(o.m_xonXoffOut)
    , m_xonXoffIn(o.m_xonXoffIn)
    , m_dsrSensitivity(o.m_dsrSensitivity)
    , m_txContinueOnXoff(o.m_txContinueOnXoff)
    , m_xonChar(o.m_xonChar)
    , m_xoffChar(o.m_xoffChar)
{}

void TComFlowControl::Assign(const TComFlowControl &src)
{
    m_outCTSFlow = src.m_outCTSFlow;
    m_outDSRFlow = src.m_outDSRFlow;
    m_controlDTR = src.m_controlDTR;
    m_controlRTS = src.m_controlRTS;
    m_xonXoffOut = src.m_xonXoffOut;
    m_xonXoffIn = src.m_xonXoffIn;
    m_dsrSensitivity = src.m_dsrSensitivity;
    m_txContinueOnXoff = src.m_txContinueOnXoff;
    m_xonChar = src.m_xonChar;
    m_xoffChar = src.m_xoffChar;
    Changed();
}

void TComFlowControl::Changed()
{
    if (m_port)
        m_port->ApplyLineSettings();
}

void TComFlowControl::SetOutCTSFlow(bool v)
{
    if (Store(m_outCTSFlow, v))
        Changed();
}
void TComFlowControl::SetOutDSRFlow(bool v)
{
    if (Store(m_outDSRFlow, v))
        Changed();
}
void TComFlowControl::SetControlDTR(TDTRFlowControl v)
{
    if (Store(m_controlDTR, v))
        Changed();
}
void TComFlowControl::SetControlRTS(TRTSFlowControl v)
{
    if (Store(m_controlRTS, v))
        Changed();
}
void TComFlowControl::SetXonXoffOut(bool v)
{
    if (Store(m_xonXoffOut, v))
        Changed();
}
void TComFlowControl::SetXonXoffIn(bool v)
{
    if (Store(m_xonXoffIn, v))
        Changed();
}
void TComFlowControl::SetDSRSensitivity(bool v)
{
    if (Store(m_dsrSensitivity, v))
        Changed();
}
void TComFlowControl::SetTxContinueOnXoff(bool v)
{
    if (Store(m_txContinueOnXoff, v))
        Changed();
}
void TComFlowControl::SetXonChar(char v)
{
    if (Store(m_xonChar, v))
        Changed();
}
void TComFlowControl::SetXoffChar(char v)
{
    if (Store(m_xoffChar, v))
        Changed();
}

TFlowControl TComFlowControl::FlowControl() const
{
    if (m_controlRTS == rtsHandshake && m_outCTSFlow && !m_xonXoffIn && !m_xonXoffOut)
        return fcHardware;
    if (m_controlRTS == rtsDisable && !m_outCTSFlow && m_xonXoffIn && m_xonXoffOut)
        return fcSoftware;
    if (m_controlRTS == rtsDisable && !m_outCTSFlow && !m_xonXoffIn && !m_xonXoffOut)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl v)
{
    if (v != fcCustom) {
        m_controlRTS = rtsDisable;
        m_outCTSFlow = false;
        m_xonXoffIn = false;
        m_xonXoffOut = false;
        if (v == fcHardware) {
            m_controlRTS = rtsHandshake;
            m_outCTSFlow = true;
        } else if (v == fcSoftware) {
            m_xonXoffIn = true;
            m_xonXoffOut = true;
        }
    }
    Changed();
}

TComTimeouts::TComTimeouts(const TComTimeouts &o)
    : m_port(nullptr)
    , m_readInterval(o.m_readInterval)
    , m_readTotalMultiplier(o.m_readTotalMultiplier)
    , m_readTotalConstant(o.m_readTotalConstant)
    , m_writeTotalMultiplier(o.m_writeTotalMultiplier)
    , m_writeTotalConstant(o.m_writeTotalConstant)
{}

void TComTimeouts::Assign(const TComTimeouts &src)
{
    m_readInterval = src.m_readInterval;
    m_readTotalMultiplier = src.m_readTotalMultiplier;
    m_readTotalConstant = src.m_readTotalConstant;
    m_writeTotalMultiplier = src.m_writeTotalMultiplier;
    m_writeTotalConstant = src.m_writeTotalConstant;
    Changed();
}

void TComTimeouts::Changed()
{
    if (m_port)
        m_port->ApplyTimeouts();
}

void TComTimeouts::SetReadInterval(int v)
{
    if (Store(m_readInterval, v))
        Changed();
}
void TComTimeouts::SetReadTotalMultiplier(int v)
{
    if (Store(m_readTotalMultiplier, v))
        Changed();
}
void TComTimeouts::SetReadTotalConstant(int v)
{
    if (Store(m_readTotalConstant, v))
        Changed();
}
void TComTimeouts::SetWriteTotalMultiplier(int v)
{
    if (Store(m_writeTotalMultiplier, v))
        Changed();
}
void TComTimeouts::SetWriteTotalConstant(int v)
{
    if (Store(m_writeTotalConstant, v))
        Changed();
}

TComBuffer::TComBuffer(const TComBuffer &o)
    : m_port(nullptr)
    , m_inputSize(o.m_inputSize)
    , m_outputSize(o.m_outputSize)
{}

void TComBuffer::Assign(const TComBuffer &src)
{
    m_inputSize = src.m_inputSize;
    m_outputSize = src.m_outputSize;
    Changed();
}

void TComBuffer::Changed()
{
    if (m_port)
        m_port->ApplyBufferSizes();
}

void TComBuffer::SetInputSize(int v)
{
    if (v > 0 && v % 2 == 1)
        --v;
    if (Store(m_inputSize, v))
        Changed();
}
void TComBuffer::SetOutputSize(int v)
{
    if (v > 0 && v % 2 == 1)
        --v;
    if (Store(m_outputSize, v))
        Changed();
}
