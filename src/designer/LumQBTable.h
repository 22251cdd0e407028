#pragma once

#include "LumQBDrag.h"

#include <QListWidget>
#include <QWidget>

class QAction;
class QMenu;
class QToolButton;
class TLumQBDocument;
struct TLumQBTableData;
class TLumQBWorkArea;

class TLumQBTable;

// The tick list of a table window: "*" and the field names, ticked when in the query.
// It takes drops of fields (links) and of table names (adds tables).
class TLumQBFieldList : public QListWidget, public ILumQBDropTarget
{
    Q_OBJECT
public:
    explicit TLumQBFieldList(TLumQBTable* table);
    // The window whose list this is (a drop target such as the field grid asks it).
    TLumQBTable* Table() const { return m_table; }
    // Entry under a point of the viewport: the last when below the last entry, -1 when empty.
    int EntryAt(QPoint viewportPos) const;
    bool LumQBDragOver(QWidget* source, QPoint pos) override;
    void LumQBDragDrop(QWidget* source, QPoint pos) override;

private:
    TLumQBTable* m_table;
};

// A table window on the work area: a caption band with the table's name and alias, the
// unlink and close buttons, a sizing frame and the field tick list. A view of its table
// in the work area's document: it draws from the table's record and edits it through
// the document, its place and size included. Created by the work area when the document
// adds the table; closed by its Close button, its menu or by deleting it.
class TLumQBTable : public QWidget
{
    Q_OBJECT
public:
    TLumQBTable(TLumQBWorkArea* workArea, const TLumQBTableData* data);
    ~TLumQBTable() override;

    TLumQBWorkArea* WorkArea() const { return m_workArea; }
    // Null once the window has left the work area.
    const TLumQBTableData* Data() const { return m_data; }
    QString TableName() const;
    QString TableAlias() const;
    bool Selected() const { return m_selected; }
    void SetSelected(bool value);
    // y of a field's row in work-area pixels (the list's scrolling is not taken into account).
    int FieldRowY(int index) const;
    // The caption text as drawn (shortened from its end to fit before the buttons).
    QString CaptionText() const;
    // Ticks of the list from the record.
    void RefreshTicks();

    QToolButton* UnLinkBtn;
    QToolButton* CloseBtn;
    TLumQBFieldList* FieldList;
    QMenu* TableMenu;
    QAction* miSelectAll;
    QAction* miSelectNone;
    QAction* miSetTableAlias;
    QAction* miUnLink;
    QAction* miClose;

public slots:
    void UnLinkBtnClick();
    void CloseBtnClick();
    void SelectAllClick();
    void UnSelectAllClick();
    void SetTableAliasClick();
    void FieldListClickCheck(QListWidgetItem* item);
    void TableMenuPopup(QPoint pos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TLumQBWorkArea;
    // Which edges a point of the sizing frame grabs (Qt::Edges), none inside.
    Qt::Edges FrameEdgesAt(QPoint pos) const;
    void Detach();
    // The document the window edits; null once detached.
    TLumQBDocument* Document() const;
    // Tells the document the window's place and size.
    void GeometryChanged();

    TLumQBWorkArea* m_workArea;
    const TLumQBTableData* m_data;
    // Being deleted: its table's removal must not delete it again.
    bool m_deleting = false;
    bool m_selected = false;
    bool m_filling = false;
    // Move or resize by mouse.
    Qt::Edges m_sizing;
    bool m_moving = false;
    QPoint m_pressGlobal;
    QRect m_pressGeometry;
};
