#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// "Join properties": the two linked fields, the comparison operator and which table's
// rows are all kept. The link fills it and reads it back (TLumQBLink::EditProperties).
class TLumQBLinkPropForm : public QDialog
{
    Q_OBJECT
public:
    explicit TLumQBLinkPropForm(QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* Label3;
    QLineEdit* Table1;
    QLineEdit* Table2;
    QLineEdit* Field1;
    QLineEdit* Field2;
    QComboBox* JoinOp;
    QGroupBox* GroupBox1;
    QCheckBox* CBAllFrom1;
    QCheckBox* CBAllFrom2;
    QPushButton* btnOK;
    QPushButton* btnCancel;
};
