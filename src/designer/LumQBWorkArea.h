#pragma once

#include "LumQBDesignText.h"
#include "LumQBDocument.h"
#include "LumQBModel.h"
#include "LumQBSQL.h"

#include <QList>
#include <QListWidget>
#include <QPointer>
#include <QScrollArea>
#include <QStringList>

class TLumQBCanvas;
class TLumQBLink;
class TLumQBTable;

// The designer's work area: a scroll area whose canvas holds one table window per table
// of the query and draws the links between their fields.
//
// A view over its document (TLumQBDocument), which owns the diagram (tables, aliases,
// places, ticks, links) and the field grid's rows and is the only code that changes them.
// The work area creates, places and removes its table windows and links as the document
// signals; they and the field grid edit through Document(). The published signals below
// follow the document's: OnChange after every change of the diagram (not of a window's
// place), GridRowsChanged after every change of the rows.
//
// Coordinates ("work-area pixels") are those of Canvas(), the widget that holds the
// table windows; put labels meant to lie on the work area on it too.
//
// Errors: refused edits raise ELumQBException and leave the document as it was. AddTables
// shows the error of a table it cannot add in the error box and goes on with the next;
// menu commands and drops show theirs in the error box.
//
// Ownership: the document, the table windows (children of Canvas()) and the links are
// destroyed with the work area. Deleting a table window removes its table as its Close
// button does; Clear() empties the whole.
class TLumQBWorkArea : public QScrollArea
{
    Q_OBJECT
public:
    explicit TLumQBWorkArea(QWidget* parent = nullptr);
    ~TLumQBWorkArea() override;

    // Text placed directly after "SELECT " and the statement's last line; setting raises Change.
    QString OptionsClause() const { return Diagram().OptionsClause; }
    void SetOptionsClause(const QString& text);
    QString ClosingClause() const { return Diagram().ClosingClause; }
    void SetClosingClause(const QString& text);

    // The field grid (TLumQBGrid). The rows are the document's whether or not a grid is set;
    // the statement uses them only while one is. Becomes null when the grid is destroyed.
    QWidget* FieldGrid() const { return m_fieldGrid; }
    void SetFieldGrid(QWidget* grid);

    // The list from which table names are dragged (every selected entry is added at the
    // drop point). Setting it makes drags from it start after dragThreshold pixels.
    // Becomes null when the list is destroyed.
    QListWidget* TableList() const { return m_tableList; }
    void SetTableList(QListWidget* list, int dragThreshold = -1);

    TLumQBDocument* Document() const { return m_document; }
    const TLumQBDiagram& Diagram() const { return m_document->Diagram(); }
    const TLumQBGridData& GridData() const { return m_document->Grid(); }
    QWidget* Canvas() const;

    int TableCount() const { return int(m_tables.size()); }
    TLumQBTable* Tables(int index) const { return m_tables.at(index); }
    int LinkCount() const { return int(m_links.size()); }
    TLumQBLink* Links(int index) const { return m_links.at(index); }
    // The selected table window or link, or null.
    QObject* SelectedObject() const { return m_selected; }

    // Adds the named table, or every selected entry of TableList() when name is empty
    // (raises "Property TableList not assigned!" without a list), at x, y; several are
    // cascaded 20 pixels apart. A table already present is only selected. Fields come
    // from OnGetTableFields. Raises OnChange once.
    void AddTables(int x, int y, const QString& name = QString());
    // Links field index1 of table1 to field index2 of table2 (an inner join with "=") and
    // selects the link. Raises "These tables are already linked!" for the same two fields
    // in either direction, and the field error for "*" or a missing field.
    TLumQBLink* AddLink(TLumQBTable* table1, TLumQBTable* table2, int index1, int index2);

    TLumQBTable* FindTable(const QString& name) const;
    TLumQBTable* FindAlias(const QString& alias) const;
    // Index of the first link from start that joins the same two fields in either direction, or -1.
    int FindLink(const TLumQBTable* a, const TLumQBTable* b, int indexA, int indexB, int start = 0) const;

    void UpdateLinkPositions(TLumQBTable* table);
    void RemoveTableLinks(TLumQBTable* table);
    // Closes a table window: OnRemoveTable, its links go (OnRemoveLink and OnChange each),
    // its grid rows go, OnChange; the window is deleted later.
    void RemoveTableWindow(TLumQBTable* table);
    void RemoveLink(TLumQBLink* link);
    void ClearSelection();
    // Raises OnChange.
    void Change();
    // Empties the document: every window and link goes at once; GridRowsChanged and
    // OnChange once.
    void Clear();

    // The diagram and grid as kept with a query.
    TLumQBDesign Design() const { return m_document->Design(); }
    // Replaces the work area's content with a kept design. Tables the database no longer
    // has (OnGetTableFields gives no fields) and fields a table no longer has are left
    // out, with the links and rows that use them; their names ("Table" or "Table.Field")
    // are returned. Raises GridRowsChanged and OnChange once.
    QStringList RestoreDesign(const TLumQBDesign& design);
    // The statement of the diagram and, with a field grid set, its rows; names written
    // by quote (a connection's QuoteName), else in the bracket form.
    QStringList GetSQL(const TLumQBQuoteName& quote = {}) const;

    // The window or link that shows a table or link of the document; null if none.
    TLumQBTable* WindowOf(const TLumQBTableData* table) const;
    TLumQBLink* ViewOf(const TLumQBLinkData* link) const;

signals:
    // Asked for the field names of a table being added; append them to fields.
    void OnGetTableFields(const QString& tableName, QStringList& fields);
    // Before a new table window is created.
    void OnAddTable(const QString& tableName);
    // A table window is being removed: it and its links still exist.
    void OnRemoveTable(const QString& tableName);
    // Before a new link is created, with table and field names.
    void OnAddLink(const QString& table1, const QString& table2, const QString& field1,
                   const QString& field2);
    // A link is being removed: it still exists.
    void OnRemoveLink(const QString& table1, const QString& table2, const QString& field1,
                      const QString& field2);
    // Before a link's or a table window's menu shows (pos in its own coordinates: the
    // canvas for a link); set handled to keep the menu from showing.
    void OnLinkPopupMenu(TLumQBLink* link, QPoint pos, bool& handled);
    void OnTablePopupMenu(TLumQBTable* table, QPoint pos, bool& handled);
    // After every change of the diagram.
    void OnChange();
    // After every change of the field grid's rows; currentRow is the row an added field
    // got (the grid makes it current), else -1.
    void GridRowsChanged(int currentRow);

private:
    friend class TLumQBTable;
    friend class TLumQBLink;
    friend class TLumQBCanvas;

    void AddOneTable(const QString& name, QPoint drop, int n);
    void Select(QObject* object);
    TLumQBLink* LinkAt(QPoint canvasPos) const;
    // Following the document.
    void Follow();
    void ShowTable(const TLumQBTableData* table);
    void DropTable(const TLumQBTableData* table);
    void TableChanged(const TLumQBTableData* table, TLumQBDocument::TTablePart part);
    void ShowLink(const TLumQBLinkData* link);
    void DropLink(TLumQBLink* link);
    void LinkChanged(const TLumQBLinkData* link);
    void DropAll();
    void ShowAll();

    TLumQBDocument* m_document;
    TLumQBCanvas* m_canvas;
    QList<TLumQBTable*> m_tables;
    QList<TLumQBLink*> m_links;
    QObject* m_selected = nullptr;
    QPointer<QWidget> m_fieldGrid;
    QPointer<QListWidget> m_tableList;
    bool m_destroying = false;
};
