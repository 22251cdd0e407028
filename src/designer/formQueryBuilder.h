#pragma once

#include "LumQBDesignerRules.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class TDbConnection;
class TDbQuery;
class TLumQBGrid;
class TLumQBWorkArea;

// The query designer: the connection's tables on the left, dragged or double-clicked onto
// the work area; ticked fields in the grid below; the generated statement in the read-only
// memo, refreshed after every change. Apply closes with OK once the diagram makes a
// statement (tables, all of them linked, some fields); Test SQL runs it; "Show data" on a
// table of the list shows its rows.
//
// The owner creates it once, calls SetConnection before every showing and shows it
// modally; between showings it keeps its diagram, grid, settings and placement. The
// connection is not owned. Errors of its commands are shown in message boxes or the
// error box; none leaves a handler.
class TfrmQueryBuilder : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmQueryBuilder(QWidget* owner);
    ~TfrmQueryBuilder() override;

    // Lists the connection's tables and views and reads fields and rows through it.
    void SetConnection(TDbConnection* connection);
    // Places the list's focused table at the next position.
    void AddSelectedTable();

    const TLumQBPlacement& Placement() const { return m_placement; }
    // The table under the pointer at the last press of a button other than the left one.
    const QString& ShowDataTable() const { return m_showDataTable; }
    // The statement as the memo shows it, one line per clause.
    QStringList SQLLines() const;
    // Empties the work area and the grid and turns grouping off.
    void ClearDesign();
    // The diagram and grid as text kept with the query.
    QString DesignText() const;
    // Replaces the diagram and grid with a kept one and returns the tables and fields
    // left out because the database no longer has them; keptSQL receives the statement
    // the diagram made when it was kept (empty in texts that lack it). Raises
    // ELumQBException for a text that cannot be read, leaving the work area empty.
    QStringList RestoreDesign(const QString& text, QString* keptSQL = nullptr);

    // Published components (objectName = the member's name).
    QListWidget* lbxTables;
    TLumQBWorkArea* workarea;
    QFrame* pnlGroupBy;
    QCheckBox* cbxGroupBy;
    QFrame* pnlButtons;
    QPushButton* btnApply;
    QPushButton* btnCancel;
    QPushButton* btnHelp;
    QSplitter* Splitter1;
    QSplitter* Splitter2;
    QLabel* lblWorkAreaHint;
    QLabel* Label1;
    QPlainTextEdit* SQLCommand;
    TLumQBGrid* LumQBGrid;
    QPushButton* btnTest;
    TDbQuery* qryADOTest;
    QMenu* mnuTableListPopup;
    QAction* mnuTableListPopupShowdata;

public slots:
    void lbxTablesDblClick();
    void workareaGetTableFields(const QString& tableName, QStringList& fields);
    void workareaChange();
    void workareaRemoveTable();
    void workareaRemoveLink();
    void WMRefreshSQL();
    void cbxGroupByClick();
    void LumQBGridSetEditText(int column, int row, const QString& text);
    void btnApplyClick();
    void btnTestClick();
    void mnuTableListPopupShowdataClick();
    void lblWorkAreaHintDblClick();
    void btnHelpClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceHint();
    void ShowData();

    QPointer<TDbConnection> m_connection;
    TLumQBPlacement m_placement;
    QString m_showDataTable;
};
