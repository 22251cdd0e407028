#include "uWidgets.h"

#include "uDialogs.h"
#include "utils.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TRadioGroup::TRadioGroup(QWidget* parent) : TRadioGroup(QString(), parent) {}

TRadioGroup::TRadioGroup(const QString& title, QWidget* parent)
    : QGroupBox(title, parent), m_items(new QButtonGroup(this)), m_layout(new QVBoxLayout(this))
{
    m_items->setExclusive(true);
    m_layout->setContentsMargins(8, 4, 8, 4);
    m_layout->setSpacing(2);
    connect(m_items, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            emit Changed(id);
    });
}

void TRadioGroup::AddItems(const QStringList& texts, const QString& itemNamePrefix)
{
    for (const QString& text : texts) {
        const int index = Count();
        auto* item = new QRadioButton(text, this);
        item->setObjectName(itemNamePrefix + QString::number(index));
        m_items->addButton(item, index);
        m_layout->addWidget(item);
    }
}

int TRadioGroup::Count() const
{
    return int(m_items->buttons().size());
}

QRadioButton* TRadioGroup::Item(int index) const
{
    return qobject_cast<QRadioButton*>(m_items->button(index));
}

int TRadioGroup::ItemIndex() const
{
    return m_items->checkedId();
}

void TRadioGroup::SetItemIndex(int index)
{
    if (QRadioButton* item = Item(index)) {
        item->setChecked(true);
        return;
    }
    QAbstractButton* checked = m_items->checkedButton();
    if (!checked)
        return;
    // An exclusive group refuses to uncheck its last checked button.
    m_items->setExclusive(false);
    checked->setChecked(false);
    m_items->setExclusive(true);
    emit Changed(-1);
}

void TDropDownComboBox::showPopup()
{
    emit DropDown();
    QComboBox::showPopup();
}

void TValueComboBox::AddItem(const QString& text, int value)
{
    addItem(text, value);
}

std::optional<int> TValueComboBox::Value() const
{
    const int index = currentIndex();
    if (index < 0 || itemText(index) != currentText())
        return std::nullopt;
    return itemData(index).toInt();
}

TBusyCursor::TBusyCursor()
{
    PushCursor(Qt::WaitCursor);
}

TBusyCursor::~TBusyCursor()
{
    try {
        PopCursor();
    } catch (const EUtilsError&) {
        // Someone else emptied the stack meanwhile; nothing left to restore.
    }
}

int CaptionFitWidth(const QString& caption)
{
    constexpr int titleBarButtons = 120;
    return QFontMetrics(QApplication::font()).horizontalAdvance(caption) + titleBarButtons;
}

void ShowMessage(const QString& text)
{
    dialogs::showInfo(text, QCoreApplication::applicationName());
}

QPushButton* MakeButton(QWidget* parent, QAnyStringView objectName, const QString& caption, QSize size,
                        bool autoDefault)
{
    auto* button = Make<QPushButton>(parent, objectName, caption);
    if (size.isValid())
        button->setFixedSize(size);
    else
        button->setMinimumSize(75, 25);
    button->setAutoDefault(autoDefault);
    return button;
}

QLabel* MakeWarningLine(QWidget* parent, QAnyStringView objectName)
{
    auto* line = Make<QLabel>(parent, objectName);
    line->setWordWrap(true);
    line->setTextFormat(Qt::PlainText);
    line->setStyleSheet(QStringLiteral("color: #a00000"));
    line->setVisible(false);
    return line;
}

void ShowWarningLine(QLabel* line, const QString& warning)
{
    line->setText(warning);
    line->setVisible(!warning.isEmpty());
}
