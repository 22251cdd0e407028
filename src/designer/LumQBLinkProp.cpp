#include "LumQBLinkProp.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QLineEdit* ReadOnlyEdit(QWidget* parent, const char* name)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::NoFocus);
    e->setBackgroundRole(QPalette::Button);
    QPalette pal = e->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Button));
    e->setPalette(pal);
    e->setFixedWidth(121);
    return e;
}
} // namespace

TLumQBLinkPropForm::TLumQBLinkPropForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("LumQBLinkPropForm"));
    setWindowTitle(tr("Join properties"));

    Label1 = new QLabel(tr("Table:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label3 = new QLabel(tr("Column:"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Table1 = ReadOnlyEdit(this, "Table1");
    Table2 = ReadOnlyEdit(this, "Table2");
    Field1 = ReadOnlyEdit(this, "Field1");
    Field2 = ReadOnlyEdit(this, "Field2");
    JoinOp = new QComboBox(this);
    JoinOp->setObjectName(QStringLiteral("JoinOp"));
    JoinOp->addItems({"=", "<", ">", "<=", ">=", "<>"});
    JoinOp->setFixedWidth(49 + 10);

    GroupBox1 = new QGroupBox(tr(" Include rows "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    CBAllFrom1 = new QCheckBox(tr("All rows from %s"), GroupBox1);
    CBAllFrom1->setObjectName(QStringLiteral("CBAllFrom1"));
    CBAllFrom2 = new QCheckBox(tr("All rows from %s"), GroupBox1);
    CBAllFrom2->setObjectName(QStringLiteral("CBAllFrom2"));
    auto* boxes = new QVBoxLayout(GroupBox1);
    boxes->setContentsMargins(24, 6, 8, 6);
    boxes->addWidget(CBAllFrom1);
    boxes->addWidget(CBAllFrom2);

    btnOK = new QPushButton(tr("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(tr("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    // The two names on the left, the operator between, the two fields on the right.
    auto* grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Label3, 1, 0);
    grid->addWidget(Table1, 0, 1);
    grid->addWidget(Table2, 1, 1);
    grid->addWidget(JoinOp, 0, 2, 2, 1, Qt::AlignCenter);
    grid->addWidget(Field1, 0, 3);
    grid->addWidget(Field2, 1, 3);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    auto* main = new QVBoxLayout(this);
    main->addLayout(grid);
    auto* boxRow = new QHBoxLayout;
    boxRow->addSpacing(Label1->sizeHint().width() + grid->horizontalSpacing());
    boxRow->addWidget(GroupBox1);
    main->addLayout(boxRow);
    main->addLayout(buttons);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    JoinOp->setFocus();
}
