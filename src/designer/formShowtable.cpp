#include "formShowtable.h"

#include "uDbDataSource.h"
#include "uDbGrid.h"
#include "uDbNavigator.h"
#include "uWidgets.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

TfrmShowtable::TfrmShowtable(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmShowtable"));
    resize(592, 350);

    dscMain = Make<TDbDataSource>(this, "dscMain");

    grdMain = Make<TDbGrid>(this, "grdMain");
    grdMain->SetDataSource(dscMain);

    // Named "top" but it lies along the bottom edge.
    pnlTop = Make<QFrame>(this, "pnlTop");
    pnlTop->setFixedHeight(33);
    DBNavigator1 = Make<TDbNavigator>(pnlTop, "DBNavigator1");
    DBNavigator1->SetDataSource(dscMain);
    // Four buttons only: the page moves are not offered here.
    DBNavigator1->ButtonAt(TDbNavigator::PriorPage)->hide();
    DBNavigator1->ButtonAt(TDbNavigator::NextPage)->hide();
    btnClose = Make<QPushButton>(pnlTop, "btnClose", QStringLiteral("&Close"));
    btnClose->setFixedSize(75, 25);
    btnClose->setAutoDefault(false);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

    auto* bar = new QHBoxLayout(pnlTop);
    bar->setContentsMargins(12, 4, 17, 4);
    bar->addWidget(DBNavigator1);
    bar->addStretch(1);
    bar->addWidget(btnClose);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(grdMain, 1);
    column->addWidget(pnlTop);
}
