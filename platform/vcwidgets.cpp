#include "vcwidgets.h"

#include "vcvaluelink_p.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMetaObject>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionToolButton>
#include <QThread>

// ---------------------------------------------------------------------------
// ValueLink
// ---------------------------------------------------------------------------

namespace vcdetail {

ValueLink::ValueLink(QObject* target, std::function<void()> refresh)
    : m_pTarget(target), m_refresh(std::move(refresh)), m_pending(std::make_shared<std::atomic<bool>>(false))
{
}

ValueLink::~ValueLink()
{
    Unbind();
}

bool ValueLink::Bind(const QString& path)
{
    std::lock_guard<std::recursive_mutex> lock(values::TreeMutex());
    auto value = values::Tree::Instance()->FindValue(path);
    if (value != m_value) {
        if (m_value)
            m_value->RemoveObserver(this);
        m_value = value;
        if (m_value)
            m_value->AddObserver(this);
    }
    m_strPath = path;
    return m_value != nullptr;
}

void ValueLink::Unbind()
{
    std::lock_guard<std::recursive_mutex> lock(values::TreeMutex());
    if (m_value)
        m_value->RemoveObserver(this);
    m_value.reset();
}

QString ValueLink::Path() const
{
    std::lock_guard<std::recursive_mutex> lock(values::TreeMutex());
    return m_strPath;
}

std::shared_ptr<values::ValueBase> ValueLink::Value() const
{
    std::lock_guard<std::recursive_mutex> lock(values::TreeMutex());
    return m_value;
}

bool ValueLink::IsUsable() const
{
    std::lock_guard<std::recursive_mutex> lock(values::TreeMutex());
    return m_value && m_value->IsAlive() && m_value->GetState() == values::eStateNormal;
}

void ValueLink::Update(Observable* observable, TChangeCode code)
{
    // Runs under the tree lock (the tree notifies while holding it).
    if (code == VC_DELETING && m_value && observable == m_value.get()) {
        m_value->RemoveObserver(this);
        m_value.reset();
    }
    Schedule();
}

void ValueLink::Schedule()
{
    if (QThread::currentThread() == m_pTarget->thread()) {
        m_refresh();
        return;
    }
    if (m_pending->exchange(true))
        return;
    auto pending = m_pending;
    std::function<void()> refresh = m_refresh;
    QMetaObject::invokeMethod(m_pTarget, [pending, refresh]() {
        pending->store(false);
        refresh();
    }, Qt::QueuedConnection);
}

} // namespace vcdetail

// ---------------------------------------------------------------------------
// GuiCentral
// ---------------------------------------------------------------------------

GuiCentral& GuiCentral::Instance()
{
    static GuiCentral central;
    return central;
}

QString GuiCentral::CreateUniqueValueSelection()
{
    const QString path = QStringLiteral("/GuiCentral/Selection%1").arg(m_nextId++);
    values::Tree::Instance()->CreateValue<values::ValueSelection>(path);
    return path;
}

namespace {
struct KnownItem
{
    const char* name;
    const char* words;
    VCLook::Activity activity;
};

// The item names of the recorder's mode selections (they are the values'
// data and stay); the operator reads the words.
const KnownItem kKnownItems[] = {
    {"eRecordReplayMode_Replay", QT_TRANSLATE_NOOP("VCItemText", "Replay once"), VCLook::eReplaying},
    {"eRecordReplayMode_Replaycontinuous", QT_TRANSLATE_NOOP("VCItemText", "Replay endlessly"), VCLook::eReplaying},
    {"eRecordReplayMode_Pausereplay", QT_TRANSLATE_NOOP("VCItemText", "Pause replay"), VCLook::ePaused},
    {"eRecordReplayMode_Record", QT_TRANSLATE_NOOP("VCItemText", "Record"), VCLook::eRecording},
    {"eRecordReplayMode_Recordcontinuous", QT_TRANSLATE_NOOP("VCItemText", "Record continuously"), VCLook::eRecording},
    {"eRecordReplayMode_Stop", QT_TRANSLATE_NOOP("VCItemText", "Stop"), VCLook::eNone},
    {"eRecordReplayAllModes_Startrecord", QT_TRANSLATE_NOOP("VCItemText", "Recording starts"), VCLook::eRecording},
    {"eRecordReplayAllModes_Record", QT_TRANSLATE_NOOP("VCItemText", "Recording"), VCLook::eRecording},
    {"eRecordReplayAllModes_Recordcontinuous", QT_TRANSLATE_NOOP("VCItemText", "Recording continuously"), VCLook::eRecording},
    {"eRecordReplayAllModes_Recordreplaystopped", QT_TRANSLATE_NOOP("VCItemText", "Recording stops"), VCLook::eRecording},
    {"eRecordReplayAllModes_Stopped", QT_TRANSLATE_NOOP("VCItemText", "Stopped"), VCLook::eNone},
    {"eReplayMode_Stopped", QT_TRANSLATE_NOOP("VCItemText", "Replay stopped"), VCLook::eNone},
    {"eReplayMode_Starting", QT_TRANSLATE_NOOP("VCItemText", "Replay starts"), VCLook::eReplaying},
    {"eReplayMode_Paused", QT_TRANSLATE_NOOP("VCItemText", "Replay paused"), VCLook::ePaused},
    {"eReplayMode_Pausing", QT_TRANSLATE_NOOP("VCItemText", "Replay pauses"), VCLook::ePaused},
    {"eReplayMode_Running", QT_TRANSLATE_NOOP("VCItemText", "Replaying"), VCLook::eReplaying},
    {"eReplayMode_Stopping", QT_TRANSLATE_NOOP("VCItemText", "Replay stops"), VCLook::eReplaying},
    // Values that a field shows, named for assistive tools.
    {"RecordName", QT_TRANSLATE_NOOP("VCItemText", "Record name"), VCLook::eNone},
};

const KnownItem* findKnownItem(const QString& name)
{
    for (const KnownItem& item : kKnownItems)
        if (name == QLatin1String(item.name))
            return &item;
    return nullptr;
}

// Text of the item with `key`, empty when the selection has none.
QString itemNameOf(const values::ValueSelection& selection, long key)
{
    for (const values::SelItemDesc& item : selection.GetItems())
        if (item.m_key == key)
            return item.m_text;
    return QString();
}

class AncestorCursorWatcher : public QObject
{
public:
    explicit AncestorCursorWatcher(QWidget* widget) : QObject(widget), m_pWidget(widget) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::CursorChange)
            m_pWidget->update();
        return false;
    }

private:
    QWidget* m_pWidget;
};
} // namespace

QString GuiCentral::ItemText(const QString& itemName)
{
    const KnownItem* item = findKnownItem(itemName);
    return item ? QCoreApplication::translate("VCItemText", item->words) : itemName;
}

// ---------------------------------------------------------------------------
// VCLook
// ---------------------------------------------------------------------------

VCLook::Activity VCLook::ActivityOf(const QString& itemName)
{
    const KnownItem* item = findKnownItem(itemName);
    return item ? item->activity : eNone;
}

bool VCLook::IsDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor VCLook::ActivityColor(Activity activity, const QPalette& palette)
{
    const bool dark = IsDark(palette);
    switch (activity) {
    case eRecording:
        return dark ? QColor(0xff5c5c) : QColor(0xd01010);
    case eReplaying:
        return dark ? QColor(0x4cd964) : QColor(0x138a2c);
    case ePaused:
        return dark ? QColor(0xffc02e) : QColor(0xc06a00);
    case eNone:
        break;
    }
    return QColor();
}

bool VCLook::IsWaiting(const QWidget* widget)
{
    if (widget->isEnabled())
        return false;
    for (const QWidget* w = widget; w; w = w->parentWidget())
        if (w->testAttribute(Qt::WA_SetCursor) && w->cursor().shape() == Qt::WaitCursor)
            return true;
    return false;
}

void VCLook::WatchAncestorCursors(QWidget* widget)
{
    auto* watcher = widget->findChild<AncestorCursorWatcher*>(QString(), Qt::FindDirectChildrenOnly);
    if (!watcher)
        watcher = new AncestorCursorWatcher(widget);
    // Installing twice on the same object keeps one entry. The window is
    // left alone: it holds every toolbar of the host, and each event to it
    // would pass all their widgets' watchers.
    for (QWidget* w = widget; w && !w->isWindow(); w = w->parentWidget())
        w->installEventFilter(watcher);
}

void VCLook::DrawFocusFrame(QPainter& painter, const QRect& rect, const QPalette& palette)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(palette.color(QPalette::Highlight), 2));
    painter.drawRect(rect.adjusted(1, 1, -1, -1));
    painter.restore();
}

// ---------------------------------------------------------------------------
// VCEnableGate
// ---------------------------------------------------------------------------

// The owner's wish lives in Qt's own WA_ForceDisabled attribute (set by
// setEnabled(false), cleared by setEnabled(true), whoever calls it), and the
// effective state in WA_Disabled. When the gate itself disables the widget it
// restores WA_ForceDisabled afterwards, so the attribute keeps meaning "the
// owner wants it disabled".
bool VCEnableGate::IsEnabledByOwner() const
{
    return !m_pWidget->testAttribute(Qt::WA_ForceDisabled);
}

void VCEnableGate::SetValueUsable(bool usable)
{
    if (m_bValueUsable == usable)
        return;
    m_bValueUsable = usable;
    Apply();
}

void VCEnableGate::OnEnabledChange()
{
    if (!m_bApplying && !m_bValueUsable && m_pWidget->isEnabled())
        Apply();
}

void VCEnableGate::Apply()
{
    if (m_bApplying)
        return;
    m_bApplying = true;
    const bool wish = IsEnabledByOwner();
    m_pWidget->setEnabled(wish && m_bValueUsable);
    m_pWidget->setAttribute(Qt::WA_ForceDisabled, !wish);
    m_bApplying = false;
}

// ---------------------------------------------------------------------------
// VCButton
// ---------------------------------------------------------------------------

namespace {
QIcon iconFromXpm(const char* const* xpm)
{
    if (!xpm)
        return QIcon();
    return QIcon(QPixmap(xpm));
}
} // namespace

VCButton::VCButton(QWidget* parent, const QString& name)
    : QToolButton(parent), m_gate(this)
{
    if (!name.isEmpty())
        setObjectName(name);
    setAutoRaise(true);
}

VCButton::~VCButton() = default;

void VCButton::SetShownActivity(VCLook::Activity activity)
{
    if (m_activity == activity)
        return;
    m_activity = activity;
    update();
}

void VCButton::SetDefaultAccessibleName(const QString& name)
{
    if (!accessibleName().isEmpty() && accessibleName() != m_strDefaultAccessibleName)
        return;
    m_strDefaultAccessibleName = name;
    setAccessibleName(name);
}

void VCButton::showEvent(QShowEvent* event)
{
    QToolButton::showEvent(event);
    VCLook::WatchAncestorCursors(this);
}

// The pictures are drawn for a light background: on a dark palette they get
// a light plate. Disabled, the button is veiled with the window colour, since
// the style's disabled picture of a dark picture looks much like the picture.
// A pressed button's activity shows as a frame in its colour, dashed while
// the owner waits for an answer.
void VCButton::paintEvent(QPaintEvent* event)
{
    QStyleOptionToolButton option;
    initStyleOption(&option);
    if (VCLook::IsDark(palette()) && !icon().isNull()) {
        QPainter plate(this);
        plate.setRenderHint(QPainter::Antialiasing);
        plate.setPen(Qt::NoPen);
        plate.setBrush(QColor(0xd6d6d6));
        const QRect part = style()->subControlRect(QStyle::CC_ToolButton, &option, QStyle::SC_ToolButton, this);
        plate.drawRoundedRect(QRectF(part).adjusted(2.5, 2.5, -2.5, -2.5), 3, 3);
    }
    QToolButton::paintEvent(event);
    QPainter painter(this);
    if (!isEnabled()) {
        QColor veil = palette().color(QPalette::Active, QPalette::Window);
        veil.setAlphaF(0.6);
        painter.fillRect(rect(), veil);
    }
    const QColor color = VCLook::ActivityColor(m_activity, palette());
    if (color.isValid()) {
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen(color, 2.0);
        if (VCLook::IsWaiting(this))
            pen.setStyle(Qt::DashLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 3, 3);
    }
    if (hasFocus())
        VCLook::DrawFocusFrame(painter, rect().adjusted(2, 2, -2, -2), palette());
}

void VCButton::SetDefaultPicture(const char* const* xpm)
{
    m_defaultIcon = iconFromXpm(xpm);
    setIcon(m_defaultIcon);
}

void VCButton::changeEvent(QEvent* event)
{
    QToolButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        m_gate.OnEnabledChange();
}

// ---------------------------------------------------------------------------
// VCOneOfButton
// ---------------------------------------------------------------------------

VCOneOfButton::VCOneOfButton(long key, QWidget* parent, const char* const* pressedXpm, const char* const* xpm, const QString& text)
    : VCButton(parent),
      m_link(new vcdetail::ValueLink(this, [this]() { Refresh(); })),
      m_nKeyOnPress(key),
      m_nKeyOnRelease(key),
      m_pressedIcon(iconFromXpm(pressedXpm)),
      m_icon(iconFromXpm(xpm))
{
    setText(text);
    setCheckable(false);
    setIcon(m_icon);
    connect(this, &QToolButton::clicked, this, &VCOneOfButton::sl_clicked);
    SetValueUsable(false);
}

VCOneOfButton::~VCOneOfButton()
{
    m_link.reset();
}

bool VCOneOfButton::SetSelection_ValuePath(const QString& path, long keyOnPress, long keyOnRelease)
{
    m_nKeyOnPress = keyOnPress;
    m_nKeyOnRelease = keyOnRelease;
    const bool found = m_link->Bind(path) && m_link->ValueAs<values::ValueSelection>() != nullptr;
    Refresh();
    return found;
}

QString VCOneOfButton::GetSelection_ValuePath() const
{
    return m_link->Path();
}

void VCOneOfButton::sl_clicked()
{
    auto selection = m_link->ValueAs<values::ValueSelection>();
    if (!selection || !m_link->IsUsable())
        return;
    const long key = selection->GetCurrentKey() == m_nKeyOnPress ? m_nKeyOnRelease : m_nKeyOnPress;
    selection->SelectIndex(key, m_link->Writer());
    Refresh();
}

void VCOneOfButton::Refresh()
{
    auto selection = m_link->ValueAs<values::ValueSelection>();
    SetValueUsable(selection && m_link->IsUsable());
    m_bPressedState = selection && selection->GetCurrentKey() == m_nKeyOnPress;
    const QIcon& icon = m_bPressedState ? m_pressedIcon : (m_icon.isNull() ? m_defaultIcon : m_icon);
    setIcon(icon.isNull() ? m_defaultIcon : icon);
    setDown(false);
    // The text is the owner's; the item says what the button does.
    const QString itemName = selection ? itemNameOf(*selection, m_nKeyOnPress) : QString();
    SetDefaultAccessibleName(itemName.isEmpty() ? QString() : GuiCentral::ItemText(itemName));
    SetShownActivity(m_bPressedState ? VCLook::ActivityOf(itemName) : VCLook::eNone);
}

// ---------------------------------------------------------------------------
// VCOneOfButtonCombo
// ---------------------------------------------------------------------------

VCOneOfButtonCombo::VCOneOfButtonCombo(QWidget* parent, const QString& name, bool textBesideIcon)
    : VCButton(parent, name),
      m_link(new vcdetail::ValueLink(this, [this]() { Refresh(); })),
      // Not a child widget: owners enable and disable all descendants of a
      // bar recursively, and a drop-down disabled that way would stay dead
      // after the button itself is enabled again.
      m_pMenu(new QMenu)
{
    setPopupMode(QToolButton::MenuButtonPopup);
    setMenu(m_pMenu);
    setToolButtonStyle(textBesideIcon ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
    connect(this, &QToolButton::clicked, this, &VCOneOfButtonCombo::sl_clicked);
    SetValueUsable(false);
}

VCOneOfButtonCombo::~VCOneOfButtonCombo()
{
    m_link.reset();
    setMenu(nullptr);
    delete m_pMenu;
}

VCOneOfButtonCombo::Entry* VCOneOfButtonCombo::FindEntry(long key)
{
    for (Entry& e : m_entries)
        if (e.key == key)
            return &e;
    return nullptr;
}

void VCOneOfButtonCombo::AddSelection(long key, long keyOnRelease, const char* const* pressedXpm, const char* const* xpm)
{
    Entry* entry = FindEntry(key);
    if (!entry) {
        QAction* action = m_pMenu->addAction(QString());
        connect(action, &QAction::triggered, this, [this, key]() { TriggerEntry(key); });
        m_entries.push_back(Entry{key, keyOnRelease, QIcon(), QIcon(), action});
        entry = &m_entries.back();
        if (m_nChosen < 0)
            m_nChosen = 0;
    }
    entry->keyOnRelease = keyOnRelease;
    entry->pressedIcon = iconFromXpm(pressedXpm);
    entry->icon = iconFromXpm(xpm);
    entry->action->setIcon(entry->icon);
    Refresh();
}

QString VCOneOfButtonCombo::ItemNameOf(long key) const
{
    auto selection = m_link->ValueAs<values::ValueSelection>();
    return selection ? itemNameOf(*selection, key) : QString();
}

void VCOneOfButtonCombo::keyPressEvent(QKeyEvent* event)
{
    const bool altArrow = (event->key() == Qt::Key_Down || event->key() == Qt::Key_Up)
        && (event->modifiers() & Qt::AltModifier);
    if ((altArrow || event->key() == Qt::Key_F4) && isEnabled() && !m_entries.empty()) {
        showMenu();
        return;
    }
    VCButton::keyPressEvent(event);
}

void VCOneOfButtonCombo::contextMenuEvent(QContextMenuEvent* event)
{
    if (isEnabled() && !m_entries.empty())
        showMenu();
    event->accept();
}

bool VCOneOfButtonCombo::SetSelection_ValuePath(const QString& path, long key, long keyOnRelease,
                                                const char* const* pressedXpm, const char* const* xpm)
{
    const bool found = m_link->Bind(path) && m_link->ValueAs<values::ValueSelection>() != nullptr;
    AddSelection(key, keyOnRelease, pressedXpm, xpm);
    return found;
}

QString VCOneOfButtonCombo::GetSelection_ValuePath() const
{
    return m_link->Path();
}

void VCOneOfButtonCombo::SetToolTipText(const QString& text)
{
    setToolTip(text);
}

int VCOneOfButtonCombo::EntryCount() const
{
    return static_cast<int>(m_entries.size());
}

long VCOneOfButtonCombo::GetChosenKey() const
{
    return m_nChosen < 0 ? -1 : m_entries[static_cast<size_t>(m_nChosen)].key;
}

bool VCOneOfButtonCombo::TriggerEntry(long key)
{
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].key == key) {
            m_nChosen = static_cast<int>(i);
            Trigger(m_entries[i]);
            return true;
        }
    }
    return false;
}

void VCOneOfButtonCombo::sl_clicked()
{
    if (m_nChosen >= 0)
        Trigger(m_entries[static_cast<size_t>(m_nChosen)]);
}

void VCOneOfButtonCombo::Trigger(const Entry& entry)
{
    auto selection = m_link->ValueAs<values::ValueSelection>();
    if (!selection || !m_link->IsUsable() || !isEnabled()) {
        Refresh();
        return;
    }
    const long key = selection->GetCurrentKey() == entry.key ? entry.keyOnRelease : entry.key;
    selection->SelectIndex(key, m_link->Writer());
    Refresh();
}

void VCOneOfButtonCombo::Refresh()
{
    auto selection = m_link->ValueAs<values::ValueSelection>();
    SetValueUsable(selection && m_link->IsUsable());
    m_bPressedState = false;
    if (selection) {
        const long current = selection->GetCurrentKey();
        for (size_t i = 0; i < m_entries.size(); ++i) {
            if (m_entries[i].key == current) {
                m_nChosen = static_cast<int>(i);
                m_bPressedState = true;
                break;
            }
        }
    }
    // Items may be named only once the selection is bound, and renamed when
    // the channel is built again.
    for (Entry& entry : m_entries) {
        const QString name = ItemNameOf(entry.key);
        entry.action->setText(name.isEmpty() ? QString::number(entry.key) : GuiCentral::ItemText(name));
    }
    if (m_nChosen < 0) {
        setIcon(m_defaultIcon);
        SetShownActivity(VCLook::eNone);
        return;
    }
    const Entry& chosen = m_entries[static_cast<size_t>(m_nChosen)];
    SetShownActivity(m_bPressedState ? VCLook::ActivityOf(ItemNameOf(chosen.key)) : VCLook::eNone);
    const QIcon& icon = m_bPressedState ? chosen.pressedIcon : chosen.icon;
    setIcon(icon.isNull() ? m_defaultIcon : icon);
    setText(chosen.action->text());
    setDown(false);
}

// ---------------------------------------------------------------------------
// VCLineEdit
// ---------------------------------------------------------------------------

VCLineEdit::VCLineEdit(QWidget* parent, const QString& name, int /*type*/)
    : QLineEdit(parent),
      m_link(new vcdetail::ValueLink(this, [this]() { Refresh(); })),
      m_gate(this)
{
    if (!name.isEmpty())
        setObjectName(name);
    connect(this, &QLineEdit::returnPressed, this, &VCLineEdit::sl_returnPressed);
    // A name longer than the field is read from its start: the line edit
    // puts its cursor at the end on every setText (even of the same text),
    // so an unfocused field takes it back to the start once it is done.
    connect(this, &QLineEdit::cursorPositionChanged, this, [this] {
        if (!hasFocus())
            QMetaObject::invokeMethod(this, &VCLineEdit::showStart, Qt::QueuedConnection);
    });
    m_gate.SetValueUsable(false);
}

VCLineEdit::~VCLineEdit()
{
    m_link.reset();
}

bool VCLineEdit::SetText_ValuePath(const QString& path)
{
    const bool found = m_link->Bind(path) && m_link->ValueAs<values::Value<QString>>() != nullptr;
    const QString key = path.section(QLatin1Char('/'), -1);
    if (GuiCentral::ItemText(key) != key && (accessibleName().isEmpty() || accessibleName() == m_strNameFromToolTip)) {
        m_strNameFromToolTip.clear();
        setAccessibleName(GuiCentral::ItemText(key));
    }
    Refresh();
    return found;
}

QString VCLineEdit::GetText_ValuePath() const
{
    return m_link->Path();
}

void VCLineEdit::SetText(const QString& text)
{
    setText(text);
}

void VCLineEdit::changeEvent(QEvent* event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        m_gate.OnEnabledChange();
}

bool VCLineEdit::event(QEvent* event)
{
    // Assistive tools name a field by its label, and this one has none: the
    // value's name names it (when known), else the first tool tip, which says
    // what it holds; later tips may show its contents.
    if (event->type() == QEvent::ToolTipChange && accessibleName().isEmpty()) {
        m_strNameFromToolTip = toolTip();
        setAccessibleName(m_strNameFromToolTip);
    }
    const bool result = QLineEdit::event(event);
    if (event->type() == QEvent::FocusOut)
        showStart(); // whoever read or typed in it is done
    return result;
}

void VCLineEdit::showStart()
{
    if (!hasFocus())
        setCursorPosition(0);
}

// A read-only field shows no cursor, so its focus would go unseen.
void VCLineEdit::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    if (hasFocus()) {
        QPainter painter(this);
        VCLook::DrawFocusFrame(painter, rect(), palette());
    }
}

void VCLineEdit::sl_returnPressed()
{
    if (isReadOnly())
        return;
    auto value = m_link->ValueAs<values::Value<QString>>();
    if (value && m_link->IsUsable())
        value->Set(text(), m_link->Writer());
}

void VCLineEdit::Refresh()
{
    auto value = m_link->ValueAs<values::Value<QString>>();
    m_gate.SetValueUsable(value && m_link->IsUsable());
    if (value)
        setText(value->Get());
}
