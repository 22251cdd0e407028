#pragma once

#include <QFrame>
#include <QPointer>
#include <QString>
#include <QStringList>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class TDbConnection;
class TDbDataSource;
class TDbGrid;
class TDbQuery;
class TfrmQueryBuilder;

// The panel on which a query is defined, in three numbered steps: connect to a database
// (Connect... through the database type dialog, or Reconnect to the last one), write the
// SELECT statement (typed, or drawn in the designer), fetch its rows into the grid.
//
// It owns the query's connection conADO and query qryADO; the query window opens saved
// queries through them and binds its own data source to qryADO. The last connection made
// with Connect... (password scrambled) and the last SQL fetched (in tilde form) are kept
// as the parameters "Connection" and "Query".
//
// Errors: OpenConnection raises EDbError when even the prompted attempt fails. The
// button handlers never let an error out: each shows it in a message box (Reconnect,
// Fetch) or in the program's general error display (Connect...).
class TframQuery : public QFrame
{
    Q_OBJECT
public:
    explicit TframQuery(QWidget* owner);
    ~TframQuery() override;

    // Shows "FAILED TO CONNECT" (AfterConnect replaces it), then opens conADO with its
    // current connection string through ::OpenConnection.
    void OpenConnection();
    // Closes conADO, gives it the string and opens it as OpenConnection does: how a
    // saved query's connection is made.
    void Connect(const QString& connectionString);

    // The lines of memQuery (a text ending in a line break has no empty last line).
    QStringList QueryLines() const;
    // Replaces the lines of memQuery; QueryLines() gives them back unchanged.
    void SetQueryLines(const QStringList& lines);

    const QString& lastConnectionString() const { return LastConnectionString; }
    const QString& lastQueryText() const { return LastQueryText; }
    const QString& initialQueryText() const { return InitialQueryText; }
    bool hasConnected() const { return HasConnected; }
    // The frame's designer window: none until Builder... is first used, then kept.
    TfrmQueryBuilder* queryBuilder() const;
    // The designer's diagram kept with the query (text form, empty for none). The query
    // window sets the saved one; Apply replaces it; Builder... restores it.
    const QString& diagramDesign() const { return m_diagramDesign; }
    void SetDiagramDesign(const QString& text);
    // Stops a fetch that is running (its progress window is up); quietly: without the
    // "Fetch cancelled" message, for a window that is closing.
    void CancelFetch(bool quietly);

    // Published components (objectName = the member's name).
    QFrame* pnlConnection;
    QPushButton* btnConnect;
    QFrame* pnlQuery;
    QLabel* Label1;
    QPlainTextEdit* memQuery;
    QPushButton* btnQBuilder;
    QLabel* Label2;
    QPushButton* btnfetch;
    TDbConnection* conADO;
    TDbQuery* qryADO;
    TDbDataSource* dscADO;
    TDbGrid* grid1;
    // Above the rows: what the fetched rows could not hold (hidden when nothing).
    QLabel* lblWarning;
    QSplitter* Splitter1;
    QPushButton* btnReconnect;
    QLabel* lblConnected;
    // Beside lblConnected while connected: what the connection reaches (never a password).
    QLabel* lblDataSource;

signals:
    // Fetch... is over (rows, an error or a cancel).
    void FetchEnded();

public slots:
    void btnConnectClick();
    void btnReconnectClick();
    void btnQBuilderClick();
    void btnfetchClick();
    void conADOAfterConnect();
    void conADOAfterDisconnect();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FrameResize();
    void memQueryKeyDown();
    void connectCommand();

    // The last connection string with which the user connected here, password in clear.
    QString LastConnectionString;
    // The last SQL fetched successfully, in tilde form.
    QString LastQueryText;
    // memQuery's text at creation, in tilde form.
    QString InitialQueryText;
    // Whether Connect... made a connection in this frame.
    bool HasConnected = false;
    // Created on the first Builder..., owned by the frame and reused.
    QPointer<TfrmQueryBuilder> QueryBuilder;
    // Builder... asks before the designer may replace SQL that holds work of the user's.
    bool AskBeforeBuilder();
    // Puts the kept diagram into the designer on the first Builder... (or an empty one when
    // the user declines it); false when the designer is not to open at all.
    bool RestoreDiagram();
    QString m_diagramDesign;
    bool m_diagramRestored = false;
    // The statement last applied by the designer (or made by the restored diagram);
    // null while it has not been used.
    QString m_appliedSQL;
    // The statement as last set, saved or fetched.
    QString m_baselineSQL;
    bool m_destroying = false;
    bool m_quietCancel = false;
    bool m_settingLines = false;
};
