#include "CPortCtl.h"

#include "Komunikaty.h"
#include "Tozsamosc.h"

#include <QAbstractItemView>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>
#include <exception>

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

namespace {

// Item roles of a port entry beside its text: the value Text() gives, the
// listed device's name and description, and the mark of the entry added for
// a value that is no port present.
constexpr int kValueRole = Qt::UserRole;
constexpr int kDeviceRole = Qt::UserRole + 1;
constexpr int kDescriptionRole = Qt::UserRole + 2;
constexpr int kOwnEntryRole = Qt::UserRole + 3;

QString EntryText(const QString &name, const QString &description)
{
    return description.isEmpty() ? name : name + QStringLiteral(" — ") + description;
}

} // namespace

QString TComComboBox::DefaultSysfsRoot()
{
    return ::DefaultSysfsRoot();
}

void TComComboBox::SetDefaultSysfsRoot(const QString &root)
{
    ::SetDefaultSysfsRoot(root);
}

TComComboBox::TComComboBox(QWidget *parent, const QString &sysfsRoot)
    : QComboBox(parent)
    , m_sysfsRoot(sysfsRoot)
{
    setEditable(false); // pick only, no typing
    // activated, not currentIndexChanged: selections made by code fire nothing.
    connect(this, &QComboBox::activated, this, &TComComboBox::PickedFromList);
    connect(this, &QComboBox::currentIndexChanged, this, &TComComboBox::FitBoxWidth);
}

QString TComComboBox::Text() const
{
    const int i = currentIndex();
    if (i < 0)
        return QString();
    const QVariant value = itemData(i, kValueRole);
    return value.isValid() ? value.toString() : itemText(i);
}

void TComComboBox::SetText(const QString &value)
{
    if (m_select.ComProperty == cpPort) {
        m_value = value;
        ShowValue();
        return;
    }
    const int i = findText(value, Qt::MatchFixedString); // case-insensitive
    if (i >= 0)
        setCurrentIndex(i);
}

void TComComboBox::SelectPortValue()
{
    if (m_select.ComProperty == cpPort) {
        if (m_select.ComPort)
            m_value = m_select.ComPort->Port();
        else if (m_value.isEmpty() && count() > 0)
            m_value = itemData(0, kValueRole).toString();
        ShowValue();
        return;
    }
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
    if (property == cpPort)
        FillPorts();
    else
        addItems(ComPropertyItems(property));
    SelectPortValue();
}

void TComComboBox::RefreshPorts()
{
    if (m_select.ComProperty != cpPort)
        return;
    TCustomComPort *port = m_select.ComPort;
    if (port)
        m_value = port->Port();
    FillPorts();
    // A name that could not open (wrong letter case, adapter unplugged
    // since the start) now names a listed device: the port follows, as after
    // a pick, so that the port, the status bar and the picker agree.
    if (port && !port->Connected() && m_value != port->Port())
        UserPicked(currentIndex());
}

void TComComboBox::showPopup()
{
    RefreshPorts();
    QComboBox::showPopup();
}

void TComComboBox::FillPorts()
{
    QList<TComPortInfo> ports;
    std::exception_ptr error;
    try {
        ports = EnumerateSerialPortInfo(m_sysfsRoot.isEmpty() ? DefaultSysfsRoot() : m_sysfsRoot);
    } catch (...) {
        error = std::current_exception();
    }
    clear();
    for (const TComPortInfo &p : ports) {
        addItem(EntryText(p.Name, p.Description), p.Name);
        const int i = count() - 1;
        setItemData(i, p.Name, kDeviceRole);
        setItemData(i, p.Description, kDescriptionRole);
    }
    ShowValue();

    // One box per failing spell: a drop-down opened again and again over an
    // unreadable folder does not repeat it.
    const bool failed = static_cast<bool>(error);
    const bool tell = failed && !m_listFailed;
    m_listFailed = failed;
    if (tell) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception &e) {
            Komunikaty::PokazWyjatek(e);
        }
    }
}

void TComComboBox::ShowValue()
{
    // Undo what showing the last value changed.
    for (int i = count() - 1; i >= 0; --i) {
        if (itemData(i, kOwnEntryRole).toBool()) {
            removeItem(i);
        } else if (itemData(i, kDeviceRole).isValid()) {
            const QString name = itemData(i, kDeviceRole).toString();
            setItemText(i, EntryText(name, itemData(i, kDescriptionRole).toString()));
            setItemData(i, name, kValueRole);
        }
    }

    if (m_value.isEmpty()) {
        setCurrentIndex(-1);
        m_select.StorePending(m_value);
        FitPopupWidth();
        return;
    }

    QStringList listed;
    for (int i = 0; i < count(); ++i) {
        const QVariant device = itemData(i, kDeviceRole);
        listed.append(device.isValid() ? device.toString() : itemText(i));
    }
    const TStoredPort match = MatchStoredPort(m_value, listed);
    int found = match.Index;
    m_value = match.Value;
    if (match.ThroughOtherName && itemData(found, kDeviceRole).isValid()) {
        // The entry shows the value as the user has it ("COM1", a by-id link).
        // A by-id link shows as the node it leads to: the long path says
        // nothing a user can check.
        setItemText(
            found, EntryText(ShownPortName(m_value), itemData(found, kDescriptionRole).toString()));
        setItemData(found, m_value, kValueRole);
    } else if (found < 0) {
        const QString root = m_sysfsRoot.isEmpty() ? DefaultSysfsRoot() : m_sysfsRoot;
        addItem(UnlistedPortText(m_value, root), m_value);
        found = count() - 1;
        setItemData(found, true, kOwnEntryRole);
    }
    setCurrentIndex(found);
    m_select.StorePending(m_value);
    FitPopupWidth();
    FitBoxWidth();
}

void TComComboBox::showEvent(QShowEvent *event)
{
    QComboBox::showEvent(event);
    FitBoxWidth();
}

void TComComboBox::FitPopupWidth()
{
    const QFontMetrics metrics(view()->font());
    int widest = 0;
    for (int i = 0; i < count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(itemText(i)));
    // The entry's own margins on both sides, the list's frame, and a scroll
    // bar when the list is longer than the drop-down shows.
    const int margins = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view()) +
                        2 * view()->frameWidth() + metrics.averageCharWidth() * 2;
    const int scrollBar = count() > maxVisibleItems()
                              ? style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view())
                              : 0;
    view()->setMinimumWidth(widest + margins + scrollBar);
}

void TComComboBox::FitBoxWidth()
{
    // The closed box shows its entry whole ("ttyUSB7 (niepodłączony)"),
    // growing from the width it was placed with, but not past its parent.
    const QString text = currentText();
    setToolTip(text);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QSize content(fontMetrics().horizontalAdvance(text), fontMetrics().height());
    int need = style()->sizeFromContents(QStyle::CT_ComboBox, &option, content, this).width();
    if (const QWidget *parent = parentWidget(); parent && parent->width() > 2 * x())
        need = std::min(need, parent->width() - 2 * x());
    if (need > width())
        resize(need, height());
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
            if (count() > 0) {
                setCurrentIndex(0);
                if (m_select.ComProperty == cpPort)
                    m_value = Text();
            }
        });
    }
    SelectPortValue();
}

void TComComboBox::PickedFromList(int index)
{
    // A USB adapter picked by its node is kept by its by-id link when it has
    // a serial number, so that the setting follows it to another node. An
    // entry showing a stored value in another form ("COM1") keeps it.
    const QVariant device = itemData(index, kDeviceRole);
    if (m_select.ComProperty == cpPort && device.isValid() &&
        itemData(index, kValueRole) == device) {
        const QString root = m_sysfsRoot.isEmpty() ? DefaultSysfsRoot() : m_sysfsRoot;
        m_value = NazwaDoZapamietania(device.toString(), root, DefaultDevRoot());
        ShowValue();
    }
    UserPicked(currentIndex());
}

void TComComboBox::RereadList()
{
    if (m_select.ComProperty == cpPort)
        FillPorts();
}

QList<TComPortInfo> TComComboBox::ListedPorts() const
{
    QList<TComPortInfo> ports;
    for (int i = 0; i < count(); ++i)
        if (itemData(i, kDeviceRole).isValid())
            ports.append(
                {itemData(i, kDeviceRole).toString(), itemData(i, kDescriptionRole).toString()});
    return ports;
}

bool TComComboBox::PickDevice(const QString &device)
{
    for (int i = 0; i < count(); ++i) {
        if (itemData(i, kDeviceRole).toString() == device) {
            setCurrentIndex(i);
            PickedFromList(i);
            return true;
        }
    }
    return false;
}

void TComComboBox::UserPicked(int)
{
    Komunikaty::Chron([&] {
        if (m_select.ComProperty == cpPort)
            m_value = Text();
        m_select.StorePending(Text());
        if (m_select.AutoApply && m_select.ComPort)
            m_select.Apply();
        if (OnChange)
            OnChange(this);
    });
}
