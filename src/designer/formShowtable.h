#pragma once

#include <QDialog>

class QFrame;
class QPushButton;
class TDbDataSource;
class TDbGrid;
class TDbNavigator;

// A small window showing the rows of one table: the grid, a navigator with First, Prior,
// Next and Last, and Close. The caller binds dscMain to an open query and sets the caption.
class TfrmShowtable : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmShowtable(QWidget* owner);

    // Published components (objectName = the member's name).
    QFrame* pnlTop;
    QPushButton* btnClose;
    TDbNavigator* DBNavigator1;
    TDbGrid* grdMain;
    TDbDataSource* dscMain;
};
