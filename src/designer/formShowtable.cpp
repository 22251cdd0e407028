#include "formShowtable.h"

#include "uDbDataSource.h"
#include "uDbGrid.h"
#include "uDbNavigator.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

TfrmShowtable::TfrmShowtable(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmShowtable"));
    resize(592, 350);

    dscMain = new TDbDataSource(this);
    dscMain->setObjectName(QStringLiteral("dscMain"));

    grdMain = new TDbGrid(this);
    grdMain->setObjectName(QStringLiteral("grdMain"));
    grdMain->SetDataSource(dscMain);

    // Named "top" but it lies along the bottom edge.
    pnlTop = new QFrame(this);
    pnlTop->setObjectName(QStringLiteral("pnlTop"));
    pnlTop->setFixedHeight(33);
    DBNavigator1 = new TDbNavigator(pnlTop);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->SetDataSource(dscMain);
    // Four buttons only: the page moves are not offered here.
    DBNavigator1->ButtonAt(TDbNavigator::PriorPage)->hide();
    DBNavigator1->ButtonAt(TDbNavigator::NextPage)->hide();
    btnClose = new QPushButton(QStringLiteral("&Close"), pnlTop);
    btnClose->setObjectName(QStringLiteral("btnClose"));
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
