#pragma once

#include <QAnyStringView>
#include <QComboBox>
#include <QGroupBox>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <optional>
#include <utility>

class QButtonGroup;
class QLabel;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

// The small toolkit every form is built from: named components, radio groups, combo boxes
// with a drop-down announcement or with values, the busy cursor and the plain message.

// Gives a component its published name, the one tests find it by; for components that
// something else creates (a button box's buttons, a menu's submenus).
template <class T> T* Named(T* component, QAnyStringView objectName)
{
    component->setObjectName(objectName.toString());
    return component;
}

// Creates a component owned by parent and gives it its published name. The arguments go
// to T's constructor ahead of the parent, in Qt's order:
// Make<QLabel>(panel, "Label1", QStringLiteral("Name:")).
template <class T, class Parent, class... Args>
T* Make(Parent* parent, QAnyStringView objectName, Args&&... args)
{
    return Named(new T(std::forward<Args>(args)..., parent), objectName);
}

// The same for a component without an owner yet (a layout or a splitter adopts it later).
template <class T, class... Args> T* Make(std::nullptr_t, QAnyStringView objectName, Args&&... args)
{
    return Named(new T(std::forward<Args>(args)...), objectName);
}

// A group box of radio buttons, one below the other, of which at most one is checked.
// ItemIndex is the checked one's position, -1 while none is.
class TRadioGroup : public QGroupBox
{
    Q_OBJECT
public:
    explicit TRadioGroup(QWidget* parent = nullptr);
    explicit TRadioGroup(const QString& title, QWidget* parent = nullptr);

    // Appends one radio button per text, each named itemNamePrefix followed by its position.
    void AddItems(const QStringList& texts, const QString& itemNamePrefix);
    int Count() const;
    // Null outside 0 .. Count() - 1.
    QRadioButton* Item(int index) const;

    int ItemIndex() const;
    // Checks the item at index; -1 (or any index without an item) checks none.
    void SetItemIndex(int index);

signals:
    // The checked item changed, by a click or by SetItemIndex; a click on the item that is
    // already checked changes nothing.
    void Changed(int index);

private:
    QButtonGroup* m_items;
    QVBoxLayout* m_layout;
};

// A combo box that announces its list is about to drop down, so that the list can be
// filled first.
class TDropDownComboBox : public QComboBox
{
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override;

signals:
    void DropDown();
};

// A combo box whose entries carry a value beside their text (a column's position, say).
class TValueComboBox : public QComboBox
{
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    void AddItem(const QString& text, int value);
    // The value of the chosen entry; none while no entry is chosen. In an editable box,
    // typed text that is not the chosen entry's text is no choice.
    std::optional<int> Value() const;
};

// The wait cursor for as long as the guard lives, the cursor before it restored however
// the work ends (through PushCursor and PopCursor of utils).
class TBusyCursor
{
public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// A push button of the forms. With a size it has that size, else at least 75 x 25 and as
// wide as its caption needs. It never becomes the default button by taking the focus
// unless autoDefault says so, so that Enter keeps to the form's default button.
QPushButton* MakeButton(QWidget* parent, QAnyStringView objectName, const QString& caption, QSize size = {},
                        bool autoDefault = false);

// A line above fetched rows that says what the rows could not hold (values the database
// layer could not read); hidden while there is nothing to say.
QLabel* MakeWarningLine(QWidget* parent, QAnyStringView objectName);
void ShowWarningLine(QLabel* line, const QString& warning);

// The width a window needs so that a window manager does not cut its caption: the text in
// the application's font and room for the title bar's icon and buttons.
int CaptionFitWidth(const QString& caption);

// The plain message: text with OK, the application's name as caption, through the dialog
// seam.
void ShowMessage(const QString& text);
