#include "LumQBInplaceEdit.h"

#include <QKeyEvent>
#include <QLineEdit>

TPopupListbox::TPopupListbox(QWidget* parent) : QListView(parent)
{
    setObjectName(QStringLiteral("PopupListbox"));
    setUniformItemSizes(true);
}

void TPopupListbox::keyboardSearch(const QString& text)
{
    if (text.isEmpty() || !model())
        return;
    if (!m_lastKey.isValid() || m_lastKey.elapsed() > SearchTimeout)
        m_searchText.clear();
    m_lastKey.restart();
    if (m_searchText.size() < SearchLength)
        m_searchText += text;
    for (int row = 0; row < model()->rowCount(rootIndex()); ++row) {
        const QModelIndex index = model()->index(row, modelColumn(), rootIndex());
        if (index.data().toString().startsWith(m_searchText, Qt::CaseInsensitive)) {
            setCurrentIndex(index);
            return;
        }
    }
}

void TPopupListbox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Escape)
        m_searchText.clear();
    QListView::keyPressEvent(event);
}

void TPopupListbox::showEvent(QShowEvent* event)
{
    m_searchText.clear();
    QListView::showEvent(event);
}

TLumQBInplaceEdit::TLumQBInplaceEdit(QWidget* parent) : QComboBox(parent)
{
    setObjectName(QStringLiteral("InplaceEdit"));
    setMaxVisibleItems(7); // DropDownRows
    setInsertPolicy(QComboBox::NoInsert);
    setFrame(false);
    m_list = new TPopupListbox(this);
    setView(m_list);
    // Installed after the combo's own filter, so it sees the list's keys first.
    m_list->installEventFilter(this);
    connect(this, &QComboBox::activated, this, [this](int index) {
        m_open = false;
        emit Committed(itemText(index));
    });
}

void TLumQBInplaceEdit::SetPickList(const QStringList& entries, bool editable)
{
    clear();
    addItems(entries);
    setEditable(editable);
    if (editable) {
        lineEdit()->setFrame(false);
        connect(lineEdit(), &QLineEdit::textEdited, this, &TLumQBInplaceEdit::TextTyped);
    }
}

QStringList TLumQBInplaceEdit::PickList() const
{
    QStringList entries;
    for (int i = 0; i < count(); ++i)
        entries << itemText(i);
    return entries;
}

bool TLumQBInplaceEdit::ListVisible() const
{
    return m_open;
}

void TLumQBInplaceEdit::DropDown()
{
    showPopup();
}

void TLumQBInplaceEdit::CloseUp(bool accept)
{
    if (!m_open)
        return; // closed already, by the combo's own handling of the same key
    const QModelIndex selected = m_list->currentIndex();
    hidePopup();
    if (!accept || !selected.isValid())
        return;
    setCurrentIndex(selected.row());
    emit Committed(itemText(selected.row()));
}

void TLumQBInplaceEdit::showPopup()
{
    if (count() == 0)
        return;
    // The entry equal to the editor's text is the one selected, typed text included.
    const int match = findText(currentText());
    if (match >= 0)
        setCurrentIndex(match);
    m_open = true;
    QComboBox::showPopup();
    // The combo sets its own key handling on the list as it opens; ours must see the keys first.
    m_list->removeEventFilter(this);
    m_list->installEventFilter(this);
    if (match >= 0)
        m_list->setCurrentIndex(model()->index(match, modelColumn(), rootModelIndex()));
}

void TLumQBInplaceEdit::hidePopup()
{
    m_open = false;
    QComboBox::hidePopup();
}

void TLumQBInplaceEdit::keyPressEvent(QKeyEvent* event)
{
    const bool alt = event->modifiers() & Qt::AltModifier;
    switch (event->key()) {
    case Qt::Key_Down:
    case Qt::Key_Up:
        if (alt) {
            if (ListVisible())
                CloseUp(true);
            else
                DropDown();
            return;
        }
        [[fallthrough]];
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        // Not a change of the value: the grid moves to the row above or below.
        event->ignore();
        return;
    default:
        break;
    }
    if (!isEditable()) {
        // A read-only list takes nothing typed while it is closed.
        if (!event->text().isEmpty() && event->text().at(0).isPrint())
            return;
    }
    QComboBox::keyPressEvent(event);
}

bool TLumQBInplaceEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list && event->type() == QEvent::ShortcutOverride) {
        // The combo closes its list on the override of these keys; they are ours to handle.
        auto* key = static_cast<QKeyEvent*>(event);
        const bool alt = key->modifiers() & Qt::AltModifier;
        switch (key->key()) {
        case Qt::Key_Alt:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (alt) {
                event->accept();
                return true;
            }
            break;
        default:
            break;
        }
    }
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool alt = key->modifiers() & Qt::AltModifier;
        switch (key->key()) {
        case Qt::Key_Alt:
            // Alt on its own would close the list; with Up or Down it commits it.
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (!alt) {
                CloseUp(true);
                return true;
            }
            break;
        case Qt::Key_Escape:
            if (!alt) {
                m_list->ClearSearch();
                CloseUp(false);
                return true;
            }
            break;
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (alt) {
                CloseUp(true);
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QComboBox::eventFilter(watched, event);
}
