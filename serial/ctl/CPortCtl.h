#pragma once

// The port picker: a drop-down list bound to one TComPort and to one of its
// settings (ComProperty). The configuration dialog uses it for the port name:
//
//     auto *ccbPort = new TComComboBox(this);
//     ccbPort->setObjectName(QStringLiteral("ccbPort"));
//     ccbPort->SetComProperty(cpPort);             // reads the port list
//     ccbPort->SetText(QStringLiteral("COM1"));    // the port it shows
//     ccbPort->SetComPort(&frmMain->port);         // shows the port's current name
//     ccbPort->OnChange = [this](TComComboBox *) { ccbPortChange(); };
//
// A pick by the user records the picked value (PendingValue...), applies it to
// the bound port when AutoApply is on, and then runs OnChange, through the
// general error handler. Selections made by code fire nothing.
//
// For the port name the picker never loses the port it shows (its value):
// - each entry shows the device name and what is behind it ("ttyUSB0 — FT232R
//   USB UART (FTDI)"); Text() is the name only, the value to store and open;
// - the value selects the entry it means, not only its literal text: "COM1"
//   the entry ttyS0, "/dev/ttyUSB0" or a /dev/serial/by-id/... link the
//   device behind it. That entry then shows and gives back the value itself,
//   so the setting stays as the user had it. A name that differs from an
//   entry only in letter case becomes that entry's name (Linux device names
//   are case-sensitive, so only that one opens);
// - a value that is no port present gets an entry of its own, "ttyUSB7
//   (niepodłączony)" (unmarked when the device exists but is not listed,
//   as a pseudo-terminal), so that it can be stored unchanged.
// - a USB adapter with a serial number, picked from the list, is stored as
//   its /dev/serial/by-id link, shown as its node ("ttyUSB0 — ..."); one
//   without (they share one by-id name) by its node.
// The list is read again when the drop-down opens, by RefreshPorts() and by
// RereadList(); a list that cannot be read shows one error box and leaves
// only the value.
//
// Text() is the selected entry's value, empty when none is selected.
// SetText() for the port name makes the value the one shown; for the other
// kinds it selects the entry equal to the value without regard to letter case
// and keeps the current selection when there is none.

#include "CPort.h"
#include "PortList.h"

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
    // sysfsRoot: where the port list is read (empty: DefaultSysfsRoot()).
    explicit TComComboBox(QWidget *parent = nullptr, const QString &sysfsRoot = QString());

    // Where pickers made without a folder of their own read the port list:
    // /sys/class/tty, or a made-up tree that tests set before the windows
    // are created (an empty text restores /sys/class/tty).
    static QString DefaultSysfsRoot();
    static void SetDefaultSysfsRoot(const QString &root);

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

    // Port name: reads the port list again (adapters come and go) and shows
    // the bound port's name, or the value when none is bound. Never touches
    // the port itself. A list that cannot be read gives one error box (until
    // it can be read again) and an empty list.
    void RefreshPorts();

    // Port name: reads the port list again and shows the value as it is,
    // without touching the bound port; for a list that changes while it is
    // on the screen (adapters plugged in or pulled out).
    void RereadList();
    // Port name: the listed ports, as the entries show them.
    QList<TComPortInfo> ListedPorts() const;
    // Port name: the user's pick of the listed device (as from the drop-down,
    // so OnChange runs); false when it is not listed.
    bool PickDevice(const QString &device);

    const TComSelect &Select() const { return m_select; }

    // Runs after a pick by the user, once the pending value is stored.
    std::function<void(TComComboBox *sender)> OnChange;

    // Reads the port list before the drop-down opens.
    void showPopup() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // A pick from the drop-down: a USB adapter with a serial number is
    // stored by its /dev/serial/by-id link, then as UserPicked.
    void PickedFromList(int index);
    void UserPicked(int index);
    void SelectPortValue();
    // Fills the list with the ports present, then shows m_value.
    void FillPorts();
    // Selects the entry m_value means, adding one for it when none does.
    void ShowValue();
    // The drop-down is as wide as its longest entry.
    void FitPopupWidth();
    // The closed box is wide enough for its current entry.
    void FitBoxWidth();

    TComSelect m_select;
    QString m_sysfsRoot;
    QString m_value;           // cpPort: the port name shown
    bool m_listFailed = false; // the last reading of the port list failed
    QMetaObject::Connection m_destroyedConnection;
};
