#pragma once

// The port's four property groups: parity, handshake, time-outs and queue
// sizes. A group that belongs to a port re-applies the line settings of an
// open port when one of its fields changes; a copy carries the values only.

#include <QtGlobal>

enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl { fcHardware, fcSoftware, fcNone, fcCustom };

class TCustomComPort;

// Parity group. Changing a field of an open port's own group re-applies the
// line settings.
class TComParity
{
public:
    explicit TComParity(TCustomComPort *port = nullptr)
        : m_port(port)
    {}
    // A copy carries the values only; it belongs to no port.
    TComParity(const TComParity &o);
    TComParity &operator=(const TComParity &) = delete;
    // Copies the values field by field, then re-applies the group.
    void Assign(const TComParity &src);

    TParityBits Bits() const { return m_bits; }
    void SetBits(TParityBits v);
    // Check: the driver checks the parity of received bytes.
    bool Check() const { return m_check; }
    void SetCheck(bool v);
    // Replace (only with Check): a byte received with a parity error becomes ReplaceChar.
    bool Replace() const { return m_replace; }
    void SetReplace(bool v);
    char ReplaceChar() const { return m_replaceChar; }
    void SetReplaceChar(char v);

private:
    void Changed();
    TCustomComPort *m_port;
    TParityBits m_bits = prNone;
    bool m_check = false;
    bool m_replace = false;
    char m_replaceChar = 0;
};

// Handshake group, with the composite FlowControl.
class TComFlowControl
{
public:
    explicit TComFlowControl(TCustomComPort *port = nullptr)
        : m_port(port)
    {}
    TComFlowControl(const TComFlowControl &o);
    TComFlowControl &operator=(const TComFlowControl &) = delete;
    void Assign(const TComFlowControl &src);

    bool OutCTSFlow() const { return m_outCTSFlow; }
    void SetOutCTSFlow(bool v);
    bool OutDSRFlow() const { return m_outDSRFlow; }
    void SetOutDSRFlow(bool v);
    TDTRFlowControl ControlDTR() const { return m_controlDTR; }
    void SetControlDTR(TDTRFlowControl v);
    TRTSFlowControl ControlRTS() const { return m_controlRTS; }
    void SetControlRTS(TRTSFlowControl v);
    bool XonXoffOut() const { return m_xonXoffOut; }
    void SetXonXoffOut(bool v);
    bool XonXoffIn() const { return m_xonXoffIn; }
    void SetXonXoffIn(bool v);
    bool DSRSensitivity() const { return m_dsrSensitivity; }
    void SetDSRSensitivity(bool v);
    bool TxContinueOnXoff() const { return m_txContinueOnXoff; }
    void SetTxContinueOnXoff(bool v);
    char XonChar() const { return m_xonChar; }
    void SetXonChar(char v);
    char XoffChar() const { return m_xoffChar; }
    void SetXoffChar(char v);

    // fcHardware: RTS handshake + CTS output flow, no XON/XOFF; fcSoftware: RTS
    // held off, no CTS flow, XON/XOFF both ways; fcNone: none of them; else fcCustom.
    // ControlDTR and OutDSRFlow play no part.
    TFlowControl FlowControl() const;
    // Anything but fcCustom first clears RTS handshake, CTS flow and XON/XOFF,
    // then sets what the value names; the line settings are re-applied in every case.
    void SetFlowControl(TFlowControl v);

private:
    void Changed();
    TCustomComPort *m_port;
    bool m_outCTSFlow = false;
    bool m_outDSRFlow = false;
    TDTRFlowControl m_controlDTR = dtrDisable;
    TRTSFlowControl m_controlRTS = rtsDisable;
    bool m_xonXoffOut = false;
    bool m_xonXoffIn = false;
    bool m_dsrSensitivity = false;
    bool m_txContinueOnXoff = false;
    char m_xonChar = 17;
    char m_xoffChar = 19;
};

// Read and write time-outs in milliseconds, kept as the device dialogue knows
// them. With the defaults a read returns at once with what is queued, and a
// write may take 100 ms per byte plus 1000 ms.
//   ReadInterval -1 with both read totals 0: return at once with what is queued.
//   All three read values 0: wait until the requested count has arrived.
//   Otherwise: wait at most ReadTotalMultiplier * count + ReadTotalConstant
//   (when not both 0), and at most ReadInterval between two bytes (when > 0).
//   Write: at most WriteTotalMultiplier * length + WriteTotalConstant (both 0: no limit).
class TComTimeouts
{
public:
    explicit TComTimeouts(TCustomComPort *port = nullptr)
        : m_port(port)
    {}
    TComTimeouts(const TComTimeouts &o);
    TComTimeouts &operator=(const TComTimeouts &) = delete;
    void Assign(const TComTimeouts &src);

    int ReadInterval() const { return m_readInterval; }
    void SetReadInterval(int v);
    int ReadTotalMultiplier() const { return m_readTotalMultiplier; }
    void SetReadTotalMultiplier(int v);
    int ReadTotalConstant() const { return m_readTotalConstant; }
    void SetReadTotalConstant(int v);
    int WriteTotalMultiplier() const { return m_writeTotalMultiplier; }
    void SetWriteTotalMultiplier(int v);
    int WriteTotalConstant() const { return m_writeTotalConstant; }
    void SetWriteTotalConstant(int v);

private:
    void Changed();
    TCustomComPort *m_port;
    int m_readInterval = -1;
    int m_readTotalMultiplier = 0;
    int m_readTotalConstant = 0;
    int m_writeTotalMultiplier = 100;
    int m_writeTotalConstant = 1000;
};

// Queue sizes. A positive odd size is stored less one. Linux sizes the kernel's
// queues itself; InputSize still sets when evRx80Full fires (80 % of it) and the
// XON/XOFF limits of the line record (a quarter of it).
class TComBuffer
{
public:
    explicit TComBuffer(TCustomComPort *port = nullptr)
        : m_port(port)
    {}
    TComBuffer(const TComBuffer &o);
    TComBuffer &operator=(const TComBuffer &) = delete;
    void Assign(const TComBuffer &src);

    int InputSize() const { return m_inputSize; }
    void SetInputSize(int v);
    int OutputSize() const { return m_outputSize; }
    void SetOutputSize(int v);

private:
    void Changed();
    TCustomComPort *m_port;
    int m_inputSize = 1024;
    int m_outputSize = 1024;
};

namespace vm_serial_detail {
// Stores v in field when it differs and tells whether it did.
template <typename T> bool Store(T &field, T v)
{
    if (field == v)
        return false;
    field = v;
    return true;
}
} // namespace vm_serial_detail
