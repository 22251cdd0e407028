#include "uDialogsWidgets.h"

#include "uWidgets.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpacerItem>

namespace {

QWidget* owner() { return QApplication::activeWindow(); }

dialogs::Answer message(const dialogs::Request& r)
{
    QMessageBox box(owner());
    box.setWindowTitle(r.caption);
    box.setText(r.text);
    switch (r.kind) {
    case dialogs::Kind::Question:
        box.setIcon(QMessageBox::NoIcon);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case dialogs::Kind::QuestionWithCancel:
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case dialogs::Kind::Error:
        box.setIcon(QMessageBox::Critical);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    // A box narrower than its caption has the caption cut by the window manager ("Dele…"):
    // the box is made wide enough for it, with room for the title bar's buttons.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(CaptionFitWidth(r.caption), 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0,
                      1, grid->columnCount());
    }
    const int result = box.exec();
    return {result == QMessageBox::Yes || result == QMessageBox::Ok, {}, {}, result == QMessageBox::Cancel};
}

dialogs::Answer login(const dialogs::Request& r)
{
    QDialog dlg(owner());
    dlg.setWindowTitle(r.caption.isEmpty() ? QStringLiteral("Login") : r.caption);
    auto* form = new QFormLayout(&dlg);
    auto* user = new QLineEdit(r.user, &dlg);
    auto* password = new QLineEdit(r.value, &dlg);
    user->setObjectName(QStringLiteral("edUserName"));
    password->setObjectName(QStringLiteral("edPassword"));
    password->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("User Name:"), user);
    form->addRow(QStringLiteral("Password:"), password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    if (dlg.exec() != QDialog::Accepted)
        return {};
    return {true, user->text(), password->text()};
}

dialogs::Answer file(const dialogs::Request& r)
{
    QString selected = r.user;
    const QString name = r.kind == dialogs::Kind::OpenFile
                             ? QFileDialog::getOpenFileName(owner(), r.caption, r.value, r.filter, &selected)
                             : QFileDialog::getSaveFileName(owner(), r.caption, r.value, r.filter, &selected);
    return {!name.isEmpty(), name, selected};
}

} // namespace

dialogs::Answer WidgetDialogs::answer(const dialogs::Request& r)
{
    switch (r.kind) {
    case dialogs::Kind::Input: {
        bool ok = false;
        const QString text = QInputDialog::getText(owner(), r.caption, r.text, QLineEdit::Normal, r.value, &ok);
        return {ok, text, {}};
    }
    case dialogs::Kind::Login:
        return login(r);
    case dialogs::Kind::OpenFile:
    case dialogs::Kind::SaveFile:
        return file(r);
    default:
        return message(r);
    }
}

void installWidgetDialogs()
{
    static WidgetDialogs handler;
    if (!dialogs::handler())
        dialogs::setHandler(&handler);
}
