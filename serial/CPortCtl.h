#pragma once

// The port picker: a drop-down list bound to one TComPort and to one of its
// settings (ComProperty). The configuration dialog uses it for the port name:
//
//     auto *ccbPort = new TComComboBox(this);
//     ccbPort->setObjectName(QStringLiteral("ccbPort"));
//     ccbPort->SetComPort(&frmMain->port);         // selects the port's current name
//     ccbPort->SetComProperty(cpPort);             // reads the port list, once
//     ccbPort->SetText(QStringLiteral("COM1"));    // selects it if present
//     ccbPort->setCurrentIndex(0);
//     ccbPort->OnChange = [this](TComComboBox *) { ccbPortChange(); };
//
// A pick by the user records the picked value (PendingValue...), applies it to
// the bound port when AutoApply is on, and then runs OnChange, through the
// general error handler. Selections made by code fire nothing.
//
// Text() is the selected entry's text, empty when none is selected.
// SetText() selects the entry equal to the value without regard to letter case
// and keeps the current selection when there is none.

#include "CPort.h"

#include <QComboBox>
#include <QPointer>

#include <functional>

enum TComProperty { cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl };

// The item texts of a kind, in the order of its enumeration (cpPort: the ports
// present; cpNone: none).
QStringList ComPropertyItems(TComProperty property, const QString &sysfsRoot = QString());

// Text to value: the first item text of the kind equal to text without regard
// to letter case; no match gives br9600, dbEight, sbOneStopBit, prNone, fcCustom.
TBaudRate StrToBaudRate(const QString &text);
TDataBits StrToDataBits(const QString &text);
TStopBits StrToStopBits(const QString &text);
TParityBits StrToParity(const QString &text);
TFlowControl StrToFlowControl(const QString &text);
QString BaudRateToStr(TBaudRate v);
QString DataBitsToStr(TDataBits v);
QString StopBitsToStr(TStopBits v);
QString ParityToStr(TParityBits v);
QString FlowControlToStr(TFlowControl v);

// The companion of a TComComboBox: binding, shown setting, pending values. Its
// item list is the combo box's own.
class TComSelect
{
public:
    QPointer<TCustomComPort> ComPort;
    TComProperty ComProperty = cpNone;
    bool AutoApply = false;
    QString PendingPort;
    TBaudRate PendingBaudRate = br9600;
    TDataBits PendingDataBits = dbEight;
    TStopBits PendingStopBits = sbOneStopBit;
    TParityBits PendingParity = prNone;
    TFlowControl PendingFlowControl = fcCustom;

    // The bound port's current value of the shown kind as an item text.
    QString CurrentText() const;
    // Stores text, converted, as the pending value of the shown kind.
    void StorePending(const QString &text);
    // Sets the bound port's setting from the pending value.
    void Apply();
};

class TComComboBox : public QComboBox
{
    Q_OBJECT
public:
    // sysfsRoot: where the port list is read (empty: /sys/class/tty); tests
    // give a tree of their own.
    explicit TComComboBox(QWidget *parent = nullptr, const QString &sysfsRoot = QString());

    TCustomComPort *ComPort() const { return m_select.ComPort; }
    // Binds a port and selects the entry matching its current value. When the
    // port is destroyed the binding is dropped and the first entry selected.
    void SetComPort(TCustomComPort *port);
    TComProperty ComProperty() const { return m_select.ComProperty; }
    // Fills the list for the kind, then selects the entry matching the bound
    // port's value (the first entry when no port is bound).
    void SetComProperty(TComProperty property);
    bool AutoApply() const { return m_select.AutoApply; }
    void SetAutoApply(bool v) { m_select.AutoApply = v; }

    QString Text() const;
    void SetText(const QString &value);

    const TComSelect &Select() const { return m_select; }

    // Runs after a pick by the user, once the pending value is stored.
    std::function<void(TComComboBox *sender)> OnChange;

private:
    void UserPicked(int index);
    void SelectPortValue();

    TComSelect m_select;
    QString m_sysfsRoot;
    QMetaObject::Connection m_destroyedConnection;
};
