#pragma once

#include <QComboBox>
#include <QElapsedTimer>
#include <QListView>

// The pop-up list of the cell editor. Typed characters search it incrementally: a
// character more than 2000 ms after the previous one starts a new search text, which
// grows to at most 32 characters and selects the first entry beginning with it, in any
// case. Backspace and Escape clear the search text.
class TPopupListbox : public QListView
{
    Q_OBJECT
public:
    static constexpr int SearchTimeout = 2000;
    static constexpr int SearchLength = 32;

    explicit TPopupListbox(QWidget* parent = nullptr);

    const QString& SearchText() const { return m_searchText; }
    void ClearSearch() { m_searchText.clear(); }
    void keyboardSearch(const QString& text) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Each opening of the list starts a new search.
    void showEvent(QShowEvent* event) override;

private:
    QString m_searchText;
    QElapsedTimer m_lastKey;
};

// The field grid's cell editor for the columns with a pick list: Qt's combo box, its list
// a TPopupListbox. Read-only lists take only their entries; the Group By list also takes
// typed text. Enter commits and Escape cancels an open list; Alt+Down or Alt+Up opens it,
// or commits it when open. With the list closed, Up, Down, Page Up and Page Down move in
// the grid, as in any other cell.
//
// A choice from the list raises Committed; typed text raises TextTyped on every change.
class TLumQBInplaceEdit : public QComboBox
{
    Q_OBJECT
public:
    explicit TLumQBInplaceEdit(QWidget* parent = nullptr);

    // The entries; editable allows typed text besides them.
    void SetPickList(const QStringList& entries, bool editable);
    QStringList PickList() const;
    TPopupListbox* PopupList() const { return m_list; }
    bool ListVisible() const;

    // Opens the list below the editor with the entry equal to the editor's text selected.
    void DropDown();
    // Closes the list; with accept the selected entry becomes the editor's value and is committed.
    void CloseUp(bool accept);

    void showPopup() override;
    void hidePopup() override;

signals:
    void Committed(const QString& value);
    void TextTyped(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TPopupListbox* m_list;
    bool m_open = false;
};
