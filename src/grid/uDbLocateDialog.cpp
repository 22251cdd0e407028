#include "uDbLocateDialog.h"

#include "uDbDataSource.h"
#include "uDbRowsModel.h"
#include "uErrorBox.h"
#include "uWidgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

qsizetype LocateRow(const TDbRows& rows, int column, const QString& value, TLocateMatch match,
                    bool caseSensitive, qsizetype from)
{
    if (column < 0 || column >= rows.FieldCount())
        return -1;
    const Qt::CaseSensitivity cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (qsizetype row = std::max<qsizetype>(from, 0); row < rows.RowCount(); ++row) {
        const QString text = TDbRowsModel::DisplayText(rows, row, column);
        bool hit = false;
        switch (match) {
        case TLocateMatch::Exact:
            hit = text.compare(value, cs) == 0;
            break;
        case TLocateMatch::PartialAtBeginning:
            hit = text.startsWith(value, cs);
            break;
        case TLocateMatch::PartialAnywhere:
            hit = text.contains(value, cs);
            break;
        }
        if (hit)
            return row;
    }
    return -1;
}

bool LocateFieldAllowed(const TDbField& field)
{
    return field.type != TDbFieldType::Blob;
}

TDbLocateDialog::TDbLocateDialog(QObject* parent) : QObject(parent) {}

void TDbLocateDialog::SetDataSource(TDbDataSource* source)
{
    m_source = source;
}

bool TDbLocateDialog::FindFirst()
{
    return find(0, QStringLiteral("No matches found"));
}

bool TDbLocateDialog::FindNext()
{
    TDbRowCursor* cursor = m_source ? m_source->DataSet() : nullptr;
    const qsizetype from = cursor && cursor->Active() ? cursor->RecNo() + 1 : 0;
    return find(from, QStringLiteral("No more matches found"));
}

bool TDbLocateDialog::find(qsizetype from, const QString& notFound)
{
    TDbRowCursor* cursor = m_source ? m_source->DataSet() : nullptr;
    if (!cursor || !cursor->Active()) {
        ShowErrorBox(QStringLiteral("DataSource does not reference an active DataSet"));
        return false;
    }
    const TDbRows& rows = *cursor->Rows();
    const qsizetype row = LocateRow(rows, rows.FieldIndex(m_field), m_value, m_match, m_caseSensitive, from);
    if (row < 0) {
        ShowMessage(notFound);
        return false;
    }
    cursor->SetRecNo(row);
    return true;
}

bool TDbLocateDialog::Execute(QWidget* parent)
{
    TDbRowCursor* cursor = m_source ? m_source->DataSet() : nullptr;
    if (!cursor || !cursor->Active()) {
        ShowErrorBox(QStringLiteral("DataSource does not reference an active DataSet"));
        return false;
    }

    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("dlgLocate"));
    dialog.setWindowTitle(QStringLiteral("Locate Field Value"));

    auto* fields = Make<QComboBox>(&dialog, "cbxField");
    // Sorted by what the user reads, as a sorted list of captions would be.
    QList<TDbField> list;
    for (const TDbField& f : cursor->Rows()->Fields())
        if (LocateFieldAllowed(f))
            list << f;
    std::stable_sort(list.begin(), list.end(), [](const TDbField& a, const TDbField& b) {
        return a.displayName.compare(b.displayName, Qt::CaseInsensitive) < 0;
    });
    for (const TDbField& f : list)
        fields->addItem(f.displayName, f.name);
    int index = -1;
    for (int i = 0; i < list.size() && index < 0; ++i)
        if (list[i].name.compare(m_field, Qt::CaseInsensitive) == 0)
            index = i;
    fields->setCurrentIndex(index < 0 ? 0 : index);

    auto* value = Make<QLineEdit>(&dialog, "edValue", m_value);
    auto* caseSensitive = Make<QCheckBox>(&dialog, "chkCase", QStringLiteral("&Case-sensitive"));
    caseSensitive->setChecked(m_caseSensitive);

    auto* matchBox = new QGroupBox(QStringLiteral("Match"), &dialog);
    auto* exact = Make<QRadioButton>(matchBox, "rbExact", QStringLiteral("&Exact Match"));
    auto* beginning =
        Make<QRadioButton>(matchBox, "rbBeginning", QStringLiteral("&Partial Match at Beginning"));
    auto* anywhere = Make<QRadioButton>(matchBox, "rbAnywhere", QStringLiteral("Partial Match &Anywhere"));
    auto* matchLayout = new QVBoxLayout(matchBox);
    matchLayout->addWidget(exact);
    matchLayout->addWidget(beginning);
    matchLayout->addWidget(anywhere);
    (m_match == TLocateMatch::Exact             ? exact
     : m_match == TLocateMatch::PartialAnywhere ? anywhere
                                                : beginning)
        ->setChecked(true);

    auto* buttons = new QDialogButtonBox(&dialog);
    auto* first =
        Named(buttons->addButton(QStringLiteral("Fi&rst"), QDialogButtonBox::ActionRole), "btnFirst");
    auto* next = Named(buttons->addButton(QStringLiteral("&Next"), QDialogButtonBox::ActionRole), "btnNext");
    auto* close = Named(buttons->addButton(QDialogButtonBox::Cancel), "btnCancel");
    first->setAutoDefault(false);
    close->setAutoDefault(false);
    next->setDefault(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Field:"), fields);
    form->addRow(QStringLiteral("&Value:"), value);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(caseSensitive);
    layout->addWidget(matchBox);
    layout->addWidget(buttons);

    // Settings are taken on every search, so what was last used is kept when the dialog
    // is closed in any way.
    auto take = [&] {
        m_field = fields->currentData().toString();
        m_value = value->text();
        m_caseSensitive = caseSensitive->isChecked();
        m_match = exact->isChecked()      ? TLocateMatch::Exact
                  : anywhere->isChecked() ? TLocateMatch::PartialAnywhere
                                          : TLocateMatch::PartialAtBeginning;
    };
    bool found = false;
    connect(first, &QPushButton::clicked, &dialog, [&] {
        take();
        found = FindFirst() || found;
    });
    connect(next, &QPushButton::clicked, &dialog, [&] {
        take();
        found = FindNext() || found;
    });
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    value->setFocus();
    dialog.exec();
    take();
    return found;
}
