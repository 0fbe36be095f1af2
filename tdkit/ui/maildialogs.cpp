#include "tdkit/ui/maildialogs.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include <cstring>

#include "tdkit/mail/simplemapi.h"

namespace {

// Copies text into a buffer of size bytes; false when it does not fit.
bool CopyOut(const QByteArray& text, char* out, unsigned size) {
    if (!out || size == 0 || static_cast<unsigned>(text.size()) >= size)
        return false;
    std::memcpy(out, text.constData(), static_cast<size_t>(text.size()) + 1);
    return true;
}

}  // namespace

int MailLogonDialog(const char* account, char* password, unsigned size, int* remember) {
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Mail Log-on"));
    auto* form = new QFormLayout(&dialog);
    form->addRow(new QLabel(QString::fromUtf8(account ? account : ""), &dialog));
    auto* edit = new QLineEdit(&dialog);
    edit->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("Password:"), edit);
    auto* keep = new QCheckBox(QStringLiteral("Remember Password"), &dialog);
    form->addRow(keep);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    QByteArray typed = edit->text().toUtf8();
    edit->clear();
    const bool ok = CopyOut(typed, password, size);
    typed.fill('\0');
    if (remember)
        *remember = keep->isChecked() ? 1 : 0;
    return ok ? 1 : 0;
}

int MailAddressDialog(const char* caption, const char* toIn, const char* ccIn, char* toOut,
                      char* ccOut, unsigned size) {
    QDialog dialog;
    dialog.setWindowTitle(QString::fromUtf8(caption && *caption ? caption : "Address"));
    auto* form = new QFormLayout(&dialog);
    auto* to = new QLineEdit(QString::fromUtf8(toIn ? toIn : ""), &dialog);
    auto* cc = new QLineEdit(QString::fromUtf8(ccIn ? ccIn : ""), &dialog);
    to->setMinimumWidth(320);
    form->addRow(QStringLiteral("To:"), to);
    form->addRow(QStringLiteral("Cc:"), cc);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    return CopyOut(to->text().toUtf8(), toOut, size) && CopyOut(cc->text().toUtf8(), ccOut, size)
               ? 1
               : 0;
}

int MailDetailsDialog(const char* name, const char* address, const char* about, int modify,
                      char* nameOut, unsigned size) {
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Recipient Details"));
    auto* form = new QFormLayout(&dialog);
    auto* nameEdit = new QLineEdit(QString::fromUtf8(name ? name : ""), &dialog);
    nameEdit->setReadOnly(!modify);
    nameEdit->setMinimumWidth(280);
    form->addRow(QStringLiteral("Name:"), nameEdit);
    auto* addressEdit = new QLineEdit(QString::fromUtf8(address ? address : ""), &dialog);
    addressEdit->setReadOnly(true);
    form->addRow(QStringLiteral("Address:"), addressEdit);
    auto* aboutLabel = new QLabel(QString::fromUtf8(about ? about : ""), &dialog);
    aboutLabel->setWordWrap(true);
    form->addRow(aboutLabel);
    auto* buttons = new QDialogButtonBox(
        modify ? QDialogButtonBox::Ok | QDialogButtonBox::Cancel : QDialogButtonBox::Close,
        &dialog);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    // A dialog that only shows has nothing to cancel: closing it is its OK.
    const bool ok = dialog.exec() == QDialog::Accepted || !modify;
    if (!ok)
        return 0;
    return CopyOut(nameEdit->text().toUtf8(), nameOut, size) ? 1 : 0;
}

void InstallMailDialogs() {
    CSimpleMapi::SetDialogs(
        [](const char* account, char* password, ULONG size, int* remember) {
            return MailLogonDialog(account, password, size, remember);
        },
        [](const char* caption, const char* toIn, const char* ccIn, char* toOut, char* ccOut,
           ULONG size) { return MailAddressDialog(caption, toIn, ccIn, toOut, ccOut, size); },
        [](const char* name, const char* address, const char* about, int modify, char* nameOut,
           ULONG size) { return MailDetailsDialog(name, address, about, modify, nameOut, size); });
}
