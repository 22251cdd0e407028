#include "uDbSearchDialog.h"

#include "uDbDataSource.h"
#include "uDbGrid.h"
#include "uDbLocateDialog.h"
#include "uDbRowsModel.h"
#include "uErrorBox.h"
#include "uWidgets.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <algorithm>

qsizetype SearchRow(const TDbRows& rows, int column, const QString& text)
{
    if (text.isEmpty())
        return -1;
    const qsizetype row = LocateRow(rows, column, text, TLocateMatch::PartialAtBeginning, true, 0);
    return row >= 0 ? row : LocateRow(rows, column, text, TLocateMatch::PartialAtBeginning, false, 0);
}

TDbSearchDialog::TDbSearchDialog(QObject* parent) : QObject(parent) {}

void TDbSearchDialog::SetDataSource(TDbDataSource* source)
{
    m_source = source;
}

bool TDbSearchDialog::Execute(QWidget* parent)
{
    TDbRowCursor* cursor = m_source ? m_source->DataSet() : nullptr;
    if (!cursor || !cursor->Active()) {
        ShowErrorBox(QStringLiteral("Search Table is not active."));
        return false;
    }
    const qsizetype startRow = cursor->RecNo();

    // A source of its own over the same cursor: the dialog's grid moves the window's rows.
    // Declared first so that it outlives the grid that shows it.
    TDbDataSource source;
    source.SetDataSet(cursor);

    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("dlgSearch"));
    dialog.setWindowTitle(QStringLiteral("Search"));

    auto* edit = Make<QLineEdit>(&dialog, "edSearch");
    auto* label = new QLabel(QStringLiteral("&Search Characters"), &dialog);
    label->setBuddy(edit);

    auto* grid = Make<TDbGrid>(&dialog, "grdSearch");
    grid->SetDataSource(&source);
    grid->setMaximumHeight(MaxGridHeight);
    grid->verticalHeader()->show(); // the row indicator
    grid->setShowGrid(true);
    QPalette pal = grid->palette();
    pal.setColor(QPalette::Base, Qt::white);
    // The selected row stays marked while the typing has the focus.
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    grid->setPalette(pal);
    const int columns = source.Model()->columnCount();
    const int startColumn = columns > 0 ? std::clamp(m_column, 0, columns - 1) : 0;
    if (cursor->RecNo() >= 0 && columns > 0)
        grid->setCurrentIndex(source.Model()->index(int(cursor->RecNo()), startColumn));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(grid);
    layout->addWidget(buttons);

    auto searchColumn = [&] {
        const int c = grid->currentIndex().column();
        return c >= 0 ? c : startColumn;
    };
    connect(edit, &QLineEdit::textChanged, &dialog, [&](const QString& text) {
        const qsizetype row = SearchRow(*cursor->Rows(), searchColumn(), text);
        if (row >= 0)
            cursor->SetRecNo(row);
    });
    dialog.resize(std::max(dialog.sizeHint().width(), 420), dialog.sizeHint().height());
    edit->setFocus();
    const bool ok = dialog.exec() == QDialog::Accepted;
    m_column = searchColumn();
    if (!ok && cursor->Active())
        cursor->SetRecNo(startRow);
    return ok;
}
