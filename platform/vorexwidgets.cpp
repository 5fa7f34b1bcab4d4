#include "vorexwidgets.h"

#include "vcvaluelink_p.h"

#include <QEvent>
#include <QPainter>
#include <QStyleOptionProgressBar>
#include <QStylePainter>
#include <QTimer>

using VorexCommon::DeviceHandler;
using VorexCommon::RecorderManagerLink;
using VorexCommon::RecorderManagerEvents;

// ---------------------------------------------------------------------------
// DeviceCombo
// ---------------------------------------------------------------------------

DeviceCombo::DeviceCombo(QWidget* parent, DeviceHandler* deviceHandler, const QString& name, const QString& subSystem)
    : QComboBox(parent),
      m_pDeviceHandler(deviceHandler),
      m_strSubSystem(subSystem),
      m_link(new vcdetail::ValueLink(this, [this]() { Refresh(); })),
      m_gate(this)
{
    if (!name.isEmpty())
        setObjectName(name);
    setAccessibleName(tr("Recorder device"));
    if (deviceHandler)
        connect(deviceHandler, &DeviceHandler::si_devicesChanged, this, &DeviceCombo::sl_devicesChanged);
    connect(this, QOverload<int>::of(&QComboBox::activated), this, &DeviceCombo::sl_activated);
    Refresh();
}

DeviceCombo::~DeviceCombo()
{
    m_link.reset();
}

bool DeviceCombo::SetDevice_ValuePath(const QString& path)
{
    const bool found = m_link->Bind(path) && m_link->ValueAs<values::Value<QString>>() != nullptr;
    Refresh();
    return found;
}

QString DeviceCombo::GetDevice_ValuePath() const
{
    return m_link->Path();
}

void DeviceCombo::SetRecordingOn(bool on)
{
    m_bRecordingOn = on;
    UpdateUsable();
}

void DeviceCombo::SetReplayOn(bool on)
{
    m_bReplayOn = on;
    UpdateUsable();
}

QString DeviceCombo::CurrentDevice() const
{
    return currentIndex() < 0 ? QString() : itemData(currentIndex()).toString();
}

void DeviceCombo::changeEvent(QEvent* event)
{
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        m_gate.OnEnabledChange();
}

// Styles draw the focus of a combo faintly or not at all.
void DeviceCombo::paintEvent(QPaintEvent* event)
{
    QComboBox::paintEvent(event);
    if (hasFocus()) {
        QPainter painter(this);
        VCLook::DrawFocusFrame(painter, rect(), palette());
    }
}

void DeviceCombo::sl_devicesChanged()
{
    Refresh();
}

void DeviceCombo::sl_activated(int index)
{
    if (m_bRefreshing || index < 0)
        return;
    auto value = m_link->ValueAs<values::Value<QString>>();
    if (!value || !m_link->IsUsable() || IsLocked()) {
        Refresh();
        return;
    }
    const QString device = itemData(index).toString();
    if (device != value->Get())
        value->Set(device, m_link->Writer());
}

void DeviceCombo::UpdateUsable()
{
    m_gate.SetValueUsable(m_link->ValueAs<values::Value<QString>>() && m_link->IsUsable() && !IsLocked());
}

void DeviceCombo::Refresh()
{
    m_bRefreshing = true;
    auto value = m_link->ValueAs<values::Value<QString>>();
    const QString current = value ? value->Get() : QString();
    QStringList devices;
    if (m_pDeviceHandler)
        devices = m_pDeviceHandler->GetDevices(m_strSubSystem);
    // A device the value names but the handler does not offer is still shown,
    // so the combo never claims another device than the channel uses.
    if (!current.isEmpty() && !devices.contains(current))
        devices << current;
    QStringList shown;
    for (int i = 0; i < count(); ++i)
        shown << itemData(i).toString();
    if (shown != devices) {
        clear();
        for (const QString& device : devices)
            addItem(device, device);
    }
    setCurrentIndex(current.isEmpty() ? -1 : findData(current));
    UpdateUsable();
    m_bRefreshing = false;
}

// ---------------------------------------------------------------------------
// DiscSpaceBar
// ---------------------------------------------------------------------------

DiscSpaceBar::DiscSpaceBar(QWidget* parent, const QString& rootPath)
    : QProgressBar(parent),
      m_strRootPath(rootPath),
      m_link(new vcdetail::ValueLink(this, [this]() { Refresh(); }))
{
    setRange(0, 1000);
    setTextVisible(true);
    setAccessibleName(tr("Free disc space"));
    setMaximumWidth(140);
    connect(RecorderManagerEvents::Instance(), &RecorderManagerEvents::si_deviceChanged, this, &DiscSpaceBar::sl_deviceChanged);
    connect(RecorderManagerEvents::Instance(), &RecorderManagerEvents::si_deviceAdded, this, &DiscSpaceBar::sl_deviceChanged);
    connect(RecorderManagerEvents::Instance(), &RecorderManagerEvents::si_deviceRemoved, this, &DiscSpaceBar::sl_deviceChanged);
    connect(RecorderManagerEvents::Instance(), &RecorderManagerEvents::si_connectionChanged, this, [this](bool) { Refresh(); });
    Refresh();
}

DiscSpaceBar::~DiscSpaceBar()
{
    m_link.reset();
}

bool DiscSpaceBar::SetDevice_ValuePath(const QString& path)
{
    const bool found = m_link->Bind(path) && m_link->ValueAs<values::Value<QString>>() != nullptr;
    Refresh();
    return found;
}

QString DiscSpaceBar::GetDevice_ValuePath() const
{
    return m_link->Path();
}

QString DiscSpaceBar::CurrentDevice() const
{
    auto value = m_link->ValueAs<values::Value<QString>>();
    return value ? value->Get() : QString();
}

QString DiscSpaceBar::text() const
{
    return m_strText;
}

QString DiscSpaceBar::FormatBytes(quint64 bytes)
{
    static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024.0 && unit < 4) {
        value /= 1024.0;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

void DiscSpaceBar::sl_deviceChanged(const QString& deviceId)
{
    if (deviceId == CurrentDevice())
        Refresh();
}

void DiscSpaceBar::Refresh()
{
    const QString device = CurrentDevice();
    auto backend = RecorderManagerLink::Installed();
    VorexCommon::DeviceInfo info;
    if (backend && backend->IsConnected() && !device.isEmpty())
        info = backend->GetDevice(device);
    if (info.deviceId.isEmpty() || info.totalSpace == 0) {
        m_strText = info.deviceId.isEmpty() ? QStringLiteral("-") : tr("%1 free").arg(FormatBytes(info.freeSpace));
        setValue(0);
        m_level = eLevelNormal;
        setToolTip(device.isEmpty() ? tr("No recorder device") : device);
    } else {
        const quint64 freeSpace = qMin(info.freeSpace, info.totalSpace);
        const double fraction = static_cast<double>(freeSpace) / static_cast<double>(info.totalSpace);
        setValue(static_cast<int>(fraction * 1000.0 + 0.5));
        m_strText = tr("%1 free").arg(FormatBytes(freeSpace));
        m_level = fraction < 0.02 ? eLevelCritical : fraction < 0.10 ? eLevelLow : eLevelNormal;
        QString tip = tr("%1: %2 of %3 free").arg(device, FormatBytes(freeSpace), FormatBytes(info.totalSpace));
        if (m_level == eLevelCritical)
            tip += QLatin1Char('\n') + tr("Almost no disc space left.");
        else if (m_level == eLevelLow)
            tip += QLatin1Char('\n') + tr("Little disc space left.");
        setToolTip(tip);
    }
    setAccessibleDescription(toolTip());
    update();
}

QColor DiscSpaceBar::LevelColor(Level level, const QPalette& palette)
{
    const bool dark = VCLook::IsDark(palette);
    switch (level) {
    case eLevelLow:
        return dark ? QColor(0xffb020) : QColor(0xe08a00);
    case eLevelCritical:
        return dark ? QColor(0xff4040) : QColor(0xd01010);
    case eLevelNormal:
        break;
    }
    return QColor();
}

void DiscSpaceBar::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionProgressBar option;
    initStyleOption(&option);
    const QColor color = LevelColor(m_level, palette());
    if (color.isValid()) {
        // The groove takes a tint of the colour; the texts stay readable on
        // both parts.
        const bool dark = VCLook::IsDark(palette());
        QColor tint = color;
        tint.setAlpha(dark ? 90 : 60);
        QColor groove = palette().color(QPalette::Base);
        groove = QColor::fromRgbF(groove.redF() + (tint.redF() - groove.redF()) * tint.alphaF(),
                                  groove.greenF() + (tint.greenF() - groove.greenF()) * tint.alphaF(),
                                  groove.blueF() + (tint.blueF() - groove.blueF()) * tint.alphaF());
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            option.palette.setColor(group, QPalette::Highlight, color);
            option.palette.setColor(group, QPalette::HighlightedText, m_level == eLevelCritical && !dark ? Qt::white : Qt::black);
            option.palette.setColor(group, QPalette::Base, groove);
        }
    }
    painter.drawControl(QStyle::CE_ProgressBar, option);
}

// ---------------------------------------------------------------------------
// TickCounter
// ---------------------------------------------------------------------------

TickCounter::TickCounter(QWidget* parent, const QString& name)
    : QLabel(parent),
      m_startLink(new vcdetail::ValueLink(this, []() {})),
      m_durationLink(new vcdetail::ValueLink(this, [this]() { Refresh(); })),
      m_pTimer(new QTimer(this))
{
    if (!name.isEmpty())
        setObjectName(name);
    m_pTimer->setInterval(1000);
    connect(m_pTimer, &QTimer::timeout, this, &TickCounter::sl_tick);
    setText(FormatDuration(0));
    // Room for the running dot, kept while stopped so the bar does not jump.
    setContentsMargins(12, 0, 0, 0);
    setAccessibleDescription(tr("Duration"));
}

void TickCounter::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (!m_bRunning)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(VCLook::ActivityColor(VCLook::eRecording, palette()));
    painter.drawEllipse(QPointF(6.0, height() / 2.0), 4.0, 4.0);
}

TickCounter::~TickCounter()
{
    m_startLink.reset();
    m_durationLink.reset();
}

bool TickCounter::SetRecordCounter_ValuePath(const QString& path)
{
    return m_startLink->Bind(path) && m_startLink->ValueAs<values::IValueNumeric>() != nullptr;
}

bool TickCounter::SetDurationCounter_ValuePath(const QString& path)
{
    const bool found = m_durationLink->Bind(path) && m_durationLink->ValueAs<values::IValueNumeric>() != nullptr;
    Refresh();
    return found;
}

void TickCounter::StartCounter()
{
    m_nBase = 0;
    m_nClockStart = HaldaOS::Get();
    m_bRunning = true;
    m_pTimer->start();
    setText(FormatDuration(CurrentDuration()));
    update();
}

void TickCounter::StopCounter()
{
    if (m_bRunning)
        m_nDuration = CurrentDuration();
    m_bRunning = false;
    m_pTimer->stop();
    setText(FormatDuration(CurrentDuration()));
    update();
}

void TickCounter::RestartCounter(quint64 deviceTime)
{
    qint64 base = 0;
    auto start = m_startLink->ValueAs<values::IValueNumeric>();
    if (deviceTime != 0 && start && m_startLink->IsUsable()) {
        const double startTime = start->GetNumeric();
        if (startTime > 0.0 && startTime <= static_cast<double>(deviceTime))
            base = static_cast<qint64>(static_cast<double>(deviceTime) - startTime);
    }
    m_nBase = base;
    m_nClockStart = HaldaOS::Get();
    m_bRunning = true;
    m_pTimer->start();
    setText(FormatDuration(CurrentDuration()));
    update();
}

void TickCounter::SetDuration(qint64 duration)
{
    m_nDuration = duration;
    if (!m_bRunning)
        setText(FormatDuration(duration));
}

qint64 TickCounter::CurrentDuration() const
{
    if (m_bRunning)
        return m_nBase + (HaldaOS::Get() - m_nClockStart);
    return m_nDuration;
}

QString TickCounter::FormatDuration(qint64 microseconds)
{
    const bool negative = microseconds < 0;
    qint64 seconds = (negative ? -microseconds : microseconds) / 1000000;
    const qint64 hours = seconds / 3600;
    seconds %= 3600;
    return QStringLiteral("%1%2:%3:%4")
        .arg(negative ? QStringLiteral("-") : QString())
        .arg(hours, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void TickCounter::sl_tick()
{
    setText(FormatDuration(CurrentDuration()));
}

void TickCounter::Refresh()
{
    auto duration = m_durationLink->ValueAs<values::IValueNumeric>();
    if (duration && m_durationLink->IsUsable())
        m_nDuration = static_cast<qint64>(duration->GetNumeric());
    if (!m_bRunning)
        setText(FormatDuration(m_nDuration));
}
