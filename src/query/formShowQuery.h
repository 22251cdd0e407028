#pragma once

#include "uWidgets.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>

class QFrame;
class QLabel;
class QToolButton;
class TPreviewForm;
class TSchedAllView;
class TSchedCalendar;
class TSchedDayViewPrint;
class TSchedMonthViewPrint;
class TSchedPrintBase;
class TSchedServer;
class TSchedWeekViewPrint;
class QPushButton;
class QSplitter;
class QTabWidget;
class QVBoxLayout;
class TDbDataSource;
class TDbGrid;
class TDbRecordView;
class TDbLocateDialog;
class TDbNavigator;
class TDbRowCursor;
class TDbSearchDialog;
class TframQuery;

// The window in which the user works on one query. A new query (LoadQuery(0)) shows the
// definition frame alone over the whole window, with Help, Save and Close; a saved query
// puts the frame on the Design page, reconnects, runs it and opens on the Data page,
// where the rows are shown from cdsData, a second cursor over the rows the frame's
// query fetched (shared, not copied).
//
// Save stores the SQL last run successfully into the favourites store dmQuillory, in the
// folder ParentId. Errors: LoadQuery reports its own failures as messages and never
// raises; the button handlers show theirs in the program's general error display.
// Gives the program's one print preview window (made on first use, kept for the run).
using TPreviewSource = std::function<TPreviewForm*()>;

class TfrmShowQuery : public QDialog
{
    Q_OBJECT
public:
    static constexpr const char* kNewQueryCaption = "New Query";
    // The help topic of this window (Help and F1).
    static constexpr int kHelpContext = 20;
    // The export dialog's filter: CSV files first, then everything.
    static constexpr const char* kExportFilter = "Comma Separated Values (*.csv);;All files (*.*)";

    explicit TfrmShowQuery(QWidget* owner = nullptr);
    ~TfrmShowQuery() override;

    // Builds the frame and, for id > 0, opens the saved query with that id.
    void LoadQuery(int id);

    int ParentId = 0; // the folder Save stores a new query into
    int queryId() const { return QueryId; }
    // Where Preview finds the program's preview window; without one, the window makes its own.
    void SetPreviewSource(TPreviewSource source) { m_previews = std::move(source); }
    // The file the export dialog offers next (the last one chosen in this window).
    QString exportFileName() const { return m_exportFileName; }

    // Published components (objectName = the member's name).
    TframQuery* QueryFrame = nullptr;
    QFrame* pnlBottom;
    QPushButton* btnHelp;
    QPushButton* btnsave;
    QPushButton* btnClose;
    TDbDataSource* dscForButton;
    QTabWidget* pagQuery;
    QWidget* TabDesign;
    QWidget* TabData;
    QFrame* Panel1;
    TDbNavigator* navData;
    QPushButton* btnLocate;
    QPushButton* btnExport;
    QPushButton* btnShowdetail;
    QSplitter* Splitter1; // grid and inspector; its handle shows with the inspector
    TDbGrid* gridData;
    // Below Panel1: what the fetched rows could not hold (hidden when nothing).
    QLabel* lblWarning;
    TDbRecordView* inspector;
    TDbDataSource* dscQuery;
    TDbRowCursor* cdsData;
    TDbLocateDialog* dlgLocate;
    TDbSearchDialog* dlgSearch;
    // The Diary page.
    QWidget* tabDiary;
    QFrame* onlDiaryLeft;
    TSchedCalendar* Calendar;
    QPushButton* btnDiaryToday;
    QPushButton* btnFirstEntry;
    QLabel* Label1;
    TValueComboBox* cboDateIndex;
    QLabel* Label2;
    TValueComboBox* cboDescription;
    QLabel* Label3;
    TValueComboBox* cboSecondary;
    QLabel* lblDiaryHint;
    QToolButton* btnPreview;
    QPushButton* btnPrintDiary;
    QPushButton* btnExportDiary;
    TRadioGroup* rgpDiaryView;
    TSchedAllView* diaryView;
    TSchedServer* SchedServer1;
    TSchedDayViewPrint* printDay;
    TSchedWeekViewPrint* printWeek;
    TSchedMonthViewPrint* printMonth;

public slots:
    void btnsaveClick();
    void btnHelpClick();
    void btnExportClick();
    void btnShowdetailClick();
    void btnLocateClick();
    void Panel1DblClick();
    // Before leaving page `leaving` for another: false refuses the change.
    bool pagQueryChanging(int leaving);
    void pagQueryChange();
    void dscForButtonStateChange();
    void dscQueryStateChange();
    // Diary page.
    void cdsDataAfterOpen();
    void FillDiary();
    void rgpDiaryViewClick();
    void CalendarClick();
    void btnDiaryTodayClick();
    void btnFirstEntryClick();
    // The print component for the view's mode, its start date set; null for none.
    TSchedPrintBase* SelectDiaryPrint();
    void btnPrintDiaryClick();
    void btnPreviewClick();
    void btnExportDiaryClick();
    void cboDateIndexChange();
    void cboDescriptionChange();
    void cboSecondaryChange();

    // Close, the close box and Escape end here: a window with SQL or a connection that
    // differs from what is saved asks whether to save it first, and stays on Cancel.
    void reject() override;
    // True when Save would store something that differs from what is saved.
    bool HasUnsavedChanges() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void openSavedQuery(int id);
    // Opens cdsData over the rows of the frame's query (a second view, no copy).
    void openCopy();
    void tabChanged(int index);
    // True when the query was stored (not when the name was cancelled or the overwrite declined).
    bool save();
    void rememberSaved();
    void exportRows();
    // Writes the rows to the file; false when the user cancelled (the file is gone then).
    bool exportTo(const QString& fileName);
    void buildDiaryPage();

    int QueryId = 0;
    bool m_closeAfterFetch = false;
    int m_lastPage = 0;
    bool m_revertingPage = false;
    QVBoxLayout* m_clientLayout = nullptr;
    QString m_exportFileName;
    // What the store holds for this window's query, as the frame holds it.
    QString m_savedSql;
    QString m_savedConnection;
    TPreviewSource m_previews;
    TPreviewForm* m_ownPreview = nullptr;
};

// The tray shell's way to open the window: owned by owner, its folder set to parentId,
// the query queryId (0 = a new query) loaded; Preview uses the window previews gives.
std::unique_ptr<QDialog> CreateQueryWindow(QWidget* owner, int parentId, int queryId,
                                           TPreviewSource previews = {});
