#include "CPortCtl.h"

#include "Komunikaty.h"

namespace {

const QStringList &BaudRateItems()
{
    static const QStringList items = {
        QStringLiteral("Custom"), QStringLiteral("110"),    QStringLiteral("300"),
        QStringLiteral("600"),    QStringLiteral("1200"),   QStringLiteral("2400"),
        QStringLiteral("4800"),   QStringLiteral("9600"),   QStringLiteral("14400"),
        QStringLiteral("19200"),  QStringLiteral("38400"),  QStringLiteral("56000"),
        QStringLiteral("57600"),  QStringLiteral("115200"), QStringLiteral("128000"),
        QStringLiteral("256000")};
    return items;
}
const QStringList &DataBitsItems()
{
    static const QStringList items = {QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"),
                                      QStringLiteral("8")};
    return items;
}
const QStringList &StopBitsItems()
{
    static const QStringList items = {QStringLiteral("1"), QStringLiteral("1.5"),
                                      QStringLiteral("2")};
    return items;
}
const QStringList &ParityItems()
{
    static const QStringList items = {QStringLiteral("None"), QStringLiteral("Odd"),
                                      QStringLiteral("Even"), QStringLiteral("Mark"),
                                      QStringLiteral("Space")};
    return items;
}
const QStringList &FlowControlItems()
{
    static const QStringList items = {QStringLiteral("Hardware"), QStringLiteral("Software"),
                                      QStringLiteral("None"), QStringLiteral("Custom")};
    return items;
}

template <typename E> E Lookup(const QStringList &items, const QString &text, E fallback)
{
    for (int i = 0; i < items.size(); ++i)
        if (items.at(i).compare(text, Qt::CaseInsensitive) == 0)
            return static_cast<E>(i);
    return fallback;
}

QString ItemAt(const QStringList &items, int i)
{
    return i >= 0 && i < items.size() ? items.at(i) : QString();
}

} // namespace

QStringList ComPropertyItems(TComProperty property, const QString &sysfsRoot)
{
    switch (property) {
    case cpNone:
        return {};
    case cpPort: {
        QStringList ports;
        if (sysfsRoot.isEmpty())
            EnumerateSerialPorts(ports);
        else
            EnumerateSerialPorts(ports, sysfsRoot);
        return ports;
    }
    case cpBaudRate:
        return BaudRateItems();
    case cpDataBits:
        return DataBitsItems();
    case cpStopBits:
        return StopBitsItems();
    case cpParity:
        return ParityItems();
    case cpFlowControl:
        return FlowControlItems();
    }
    return {};
}

TBaudRate StrToBaudRate(const QString &text)
{
    return Lookup(BaudRateItems(), text, br9600);
}
TDataBits StrToDataBits(const QString &text)
{
    return Lookup(DataBitsItems(), text, dbEight);
}
TStopBits StrToStopBits(const QString &text)
{
    return Lookup(StopBitsItems(), text, sbOneStopBit);
}
TParityBits StrToParity(const QString &text)
{
    return Lookup(ParityItems(), text, prNone);
}
TFlowControl StrToFlowControl(const QString &text)
{
    return Lookup(FlowControlItems(), text, fcCustom);
}
QString BaudRateToStr(TBaudRate v)
{
    return ItemAt(BaudRateItems(), v);
}
QString DataBitsToStr(TDataBits v)
{
    return ItemAt(DataBitsItems(), v);
}
QString StopBitsToStr(TStopBits v)
{
    return ItemAt(StopBitsItems(), v);
}
QString ParityToStr(TParityBits v)
{
    return ItemAt(ParityItems(), v);
}
QString FlowControlToStr(TFlowControl v)
{
    return ItemAt(FlowControlItems(), v);
}

// --- TComSelect ----------------------------------------------------------------

QString TComSelect::CurrentText() const
{
    const TCustomComPort *p = ComPort.data();
    if (!p)
        return QString();
    switch (ComProperty) {
    case cpNone:
        return QString();
    case cpPort:
        return p->Port();
    case cpBaudRate:
        return BaudRateToStr(p->BaudRate());
    case cpDataBits:
        return DataBitsToStr(p->DataBits());
    case cpStopBits:
        return StopBitsToStr(p->StopBits());
    case cpParity:
        return ParityToStr(p->Parity().Bits());
    case cpFlowControl:
        return FlowControlToStr(p->FlowControl().FlowControl());
    }
    return QString();
}

void TComSelect::StorePending(const QString &text)
{
    switch (ComProperty) {
    case cpNone:
        break;
    case cpPort:
        PendingPort = text;
        break;
    case cpBaudRate:
        PendingBaudRate = StrToBaudRate(text);
        break;
    case cpDataBits:
        PendingDataBits = StrToDataBits(text);
        break;
    case cpStopBits:
        PendingStopBits = StrToStopBits(text);
        break;
    case cpParity:
        PendingParity = StrToParity(text);
        break;
    case cpFlowControl:
        PendingFlowControl = StrToFlowControl(text);
        break;
    }
}

void TComSelect::Apply()
{
    TCustomComPort *p = ComPort.data();
    if (!p)
        return;
    switch (ComProperty) {
    case cpNone:
        break;
    case cpPort:
        p->SetPort(PendingPort);
        break;
    case cpBaudRate:
        p->SetBaudRate(PendingBaudRate);
        break;
    case cpDataBits:
        p->SetDataBits(PendingDataBits);
        break;
    case cpStopBits:
        p->SetStopBits(PendingStopBits);
        break;
    case cpParity:
        p->Parity().SetBits(PendingParity);
        break;
    case cpFlowControl:
        p->FlowControl().SetFlowControl(PendingFlowControl);
        break;
    }
}

// --- TComComboBox --------------------------------------------------------------

TComComboBox::TComComboBox(QWidget *parent, const QString &sysfsRoot)
    : QComboBox(parent)
    , m_sysfsRoot(sysfsRoot)
{
    setEditable(false); // pick only, no typing
    // activated, not currentIndexChanged: selections made by code fire nothing.
    connect(this, &QComboBox::activated, this, &TComComboBox::UserPicked);
}

QString TComComboBox::Text() const
{
    return currentIndex() >= 0 ? itemText(currentIndex()) : QString();
}

void TComComboBox::SetText(const QString &value)
{
    const int i = findText(value, Qt::MatchFixedString); // case-insensitive
    if (i >= 0)
        setCurrentIndex(i);
}

void TComComboBox::SelectPortValue()
{
    if (count() == 0)
        return;
    if (!m_select.ComPort) {
        setCurrentIndex(0);
        return;
    }
    const int i = findText(m_select.CurrentText(), Qt::MatchFixedString);
    setCurrentIndex(i);
    if (i >= 0)
        m_select.StorePending(itemText(i));
}

void TComComboBox::SetComProperty(TComProperty property)
{
    m_select.ComProperty = property;
    clear();
    addItems(ComPropertyItems(property, m_sysfsRoot));
    SelectPortValue();
}

void TComComboBox::SetComPort(TCustomComPort *port)
{
    if (port == m_select.ComPort.data())
        return;
    if (m_destroyedConnection)
        disconnect(m_destroyedConnection);
    m_select.ComPort = port;
    if (port) {
        m_destroyedConnection = connect(port, &QObject::destroyed, this, [this] {
            m_select.ComPort.clear();
            if (count() > 0)
                setCurrentIndex(0);
        });
    }
    SelectPortValue();
}

void TComComboBox::UserPicked(int)
{
    Komunikaty::Chron([&] {
        m_select.StorePending(Text());
        if (m_select.AutoApply && m_select.ComPort)
            m_select.Apply();
        if (OnChange)
            OnChange(this);
    });
}
