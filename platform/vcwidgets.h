#pragma once

// Host value-bound widget library: widgets that show and write values of the
// value tree.
//
// Threading: the widgets observe their values; notifications may arrive on
// any thread. A notification on the widget's own thread refreshes at once;
// from any other thread the refresh is posted to the widget and runs in its
// thread (dropped if the widget dies first). Widgets are touched only in the
// GUI thread.
//
// Enablement: a widget is enabled when its owner wants it enabled AND its
// value is usable (bound, present, state normal). The owner's wish is simply
// the last setEnabled()/setDisabled() call, made through the widget or through
// any QWidget pointer (a recursive enable/disable over a parent reaches it the
// same way); the widget never overwrites that wish. While the value is not
// usable the widget stays disabled whatever the wish, and becomes enabled
// again by itself when the value is usable and the wish is "enabled".
// isEnabledByOwner() reports the wish, IsValueUsable() the value side.

#include "platform_export.h"
#include "values.h"

#include <QColor>
#include <QLineEdit>
#include <QString>
#include <QToolButton>

#include <atomic>
#include <memory>
#include <vector>

class QMenu;
class QAction;
class QPainter;
class QPalette;

namespace vcdetail {
class ValueLink;
}

class VRXPLATFORM_EXPORT GuiCentral
{
public:
    static GuiCentral& Instance();

    // Creates a selection under a new unique path and returns that path.
    QString CreateUniqueValueSelection();

    // What the operator reads for an identifier: the item names of the
    // recorder's mode selections and the names of known values are shown as
    // translated words; any other name is shown as it is.
    static QString ItemText(const QString& itemName);

private:
    GuiCentral() = default;
    std::atomic<unsigned> m_nextId{1};
};

// The look the value-bound widgets share, so that a state reads the same on
// every widget and in light and dark palettes alike.
namespace VCLook {
enum Activity { eNone, eRecording, eReplaying, ePaused };
// The activity an item of the mode selections stands for.
VRXPLATFORM_EXPORT Activity ActivityOf(const QString& itemName);
// Strong enough to read against the palette's window and base colours.
VRXPLATFORM_EXPORT QColor ActivityColor(Activity activity, const QPalette& palette);
VRXPLATFORM_EXPORT bool IsDark(const QPalette& palette);
// Disabled by its owner while an answer is awaited: a widget or one of its
// ancestors shows the wait cursor.
VRXPLATFORM_EXPORT bool IsWaiting(const QWidget* widget);
// Repaints `widget` whenever the cursor of one of its ancestors below its
// window changes (the waiting look); call again after the widget moved to
// another parent.
VRXPLATFORM_EXPORT void WatchAncestorCursors(QWidget* widget);
// A focus mark that every style shows, also where the style draws none.
VRXPLATFORM_EXPORT void DrawFocusFrame(QPainter& painter, const QRect& rect, const QPalette& palette);
} // namespace VCLook

// Keeps "owner's wish AND value usable" on one widget (see the header
// comment). Used by every value-bound widget of the platform.
class VRXPLATFORM_EXPORT VCEnableGate
{
public:
    explicit VCEnableGate(QWidget* widget) : m_pWidget(widget) {}
    // Call from the widget's changeEvent for QEvent::EnabledChange.
    void OnEnabledChange();
    void SetValueUsable(bool usable);
    bool IsValueUsable() const { return m_bValueUsable; }
    bool IsEnabledByOwner() const;

private:
    void Apply();
    QWidget* m_pWidget;
    bool m_bValueUsable = true;
    bool m_bApplying = false;
};

// A tool button with a picture (XPM data).
class VRXPLATFORM_EXPORT VCButton : public QToolButton
{
    Q_OBJECT
public:
    explicit VCButton(QWidget* parent = nullptr, const QString& name = QString());
    ~VCButton() override;

    // The picture shown when no other picture applies.
    void SetDefaultPicture(const char* const* xpm);

    bool IsValueUsable() const { return m_gate.IsValueUsable(); }
    bool isEnabledByOwner() const { return m_gate.IsEnabledByOwner(); }

    // The activity shown by a coloured frame (none while not pressed).
    VCLook::Activity ShownActivity() const { return m_activity; }

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void SetValueUsable(bool usable) { m_gate.SetValueUsable(usable); }
    void SetShownActivity(VCLook::Activity activity);
    // Names the button for assistive tools unless someone else named it.
    void SetDefaultAccessibleName(const QString& name);
    QIcon m_defaultIcon;

private:
    VCEnableGate m_gate;
    VCLook::Activity m_activity = VCLook::eNone;
    QString m_strDefaultAccessibleName;
};

// A button bound to one key of a selection. Pressing it while its key is not
// the current one selects the key on press; pressing it while its key is
// current selects the key on release. It shows the pressed picture (and is
// checked) while the selection's current key is its key on press.
class VRXPLATFORM_EXPORT VCOneOfButton : public VCButton
{
    Q_OBJECT
public:
    VCOneOfButton(long key, QWidget* parent, const char* const* pressedXpm, const char* const* xpm, const QString& text);
    ~VCOneOfButton() override;

    // Binds the button; false (button disabled) when there is no selection
    // at `path`. Rebinding to the same path only updates the keys.
    bool SetSelection_ValuePath(const QString& path, long keyOnPress, long keyOnRelease);
    QString GetSelection_ValuePath() const;

    long GetKeyOnPress() const { return m_nKeyOnPress; }
    long GetKeyOnRelease() const { return m_nKeyOnRelease; }
    // The selection's current key is the key on press.
    bool IsPressedState() const { return m_bPressedState; }

private slots:
    void sl_clicked();

private:
    void Refresh();
    std::unique_ptr<vcdetail::ValueLink> m_link;
    long m_nKeyOnPress;
    long m_nKeyOnRelease;
    QIcon m_pressedIcon;
    QIcon m_icon;
    bool m_bPressedState = false;
};

// A button with a drop-down of selections of one selection value. The button
// shows the chosen entry (the one whose key is current, else the last chosen)
// and triggers it like a VCOneOfButton; picking an entry from the drop-down
// chooses and triggers it. The drop-down also opens from the keyboard
// (Alt+Down, Alt+Up, F4, the menu key) and on a right click. Entries read as
// their selection items' words (GuiCentral::ItemText).
class VRXPLATFORM_EXPORT VCOneOfButtonCombo : public VCButton
{
    Q_OBJECT
public:
    // `textBesideIcon`: show the entry's text beside the picture.
    VCOneOfButtonCombo(QWidget* parent, const QString& name, bool textBesideIcon);
    ~VCOneOfButtonCombo() override;

    // Adds an entry, or updates the entry with the same key. The first entry
    // is the chosen one until another is chosen.
    void AddSelection(long key, long keyOnRelease, const char* const* pressedXpm, const char* const* xpm);
    // Binds the combo to the selection at `path` and adds/updates the entry.
    // False (combo disabled) when there is no selection at `path`.
    bool SetSelection_ValuePath(const QString& path, long key, long keyOnRelease,
                                const char* const* pressedXpm, const char* const* xpm);
    QString GetSelection_ValuePath() const;
    void SetToolTipText(const QString& text);

    int EntryCount() const;
    // Key of the chosen entry (-1 without entries).
    long GetChosenKey() const;
    // Chooses and triggers the entry with `key`, as a pick from the drop-down
    // does. False when there is no such entry.
    bool TriggerEntry(long key);
    bool IsPressedState() const { return m_bPressedState; }
    // The drop-down (owned by the combo).
    QMenu* Menu() const { return m_pMenu; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private slots:
    void sl_clicked();

private:
    struct Entry
    {
        long key;
        long keyOnRelease;
        QIcon pressedIcon;
        QIcon icon;
        QAction* action;
    };
    Entry* FindEntry(long key);
    QString ItemNameOf(long key) const;
    void Trigger(const Entry& entry);
    void Refresh();

    std::unique_ptr<vcdetail::ValueLink> m_link;
    std::vector<Entry> m_entries;
    QMenu* m_pMenu;
    int m_nChosen = -1;
    bool m_bPressedState = false;
};

// A line edit bound to a text value. It shows the value's text; when it is
// editable, Return writes the text into the value.
class VRXPLATFORM_EXPORT VCLineEdit : public QLineEdit
{
    Q_OBJECT
public:
    // Type 0 is plain text (the only type).
    VCLineEdit(QWidget* parent, const QString& name, int type);
    ~VCLineEdit() override;

    // Binds the field to the string value at `path`; false (field disabled)
    // when there is none. Binding shows the value's text.
    bool SetText_ValuePath(const QString& path);
    QString GetText_ValuePath() const;
    // Shows `text` without writing the value.
    void SetText(const QString& text);

    bool IsValueUsable() const { return m_gate.IsValueUsable(); }
    bool isEnabledByOwner() const { return m_gate.IsEnabledByOwner(); }

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private slots:
    void sl_returnPressed();

private:
    void showStart();
    void Refresh();
    std::unique_ptr<vcdetail::ValueLink> m_link;
    VCEnableGate m_gate;
    QString m_strNameFromToolTip;
};
