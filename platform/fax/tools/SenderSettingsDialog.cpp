#include "platform/fax/tools/SenderSettingsDialog.h"

#include "platform/fax/FaxService.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>

SenderSettingsDialog::SenderSettingsDialog(QString faxFolder, QWidget *parent)
    : QDialog(parent), m_folder(std::move(faxFolder))
{
    setObjectName(QStringLiteral("SenderSettingsDialog"));
    setWindowTitle(QStringLiteral("Fax Sender Information"));
    auto *form = new QFormLayout(this);
    auto field = [&](const QString &label, const char *name) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        form->addRow(label, e);
        return e;
    };
    editName = field(QStringLiteral("&Name:"), "editName");
    editFaxNumber = field(QStringLiteral("&Fax number:"), "editFaxNumber");
    editCompany = field(QStringLiteral("&Company:"), "editCompany");
    editPhone = field(QStringLiteral("&Phone:"), "editPhone");
    editEmail = field(QStringLiteral("&E-mail:"), "editEmail");
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (save())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    FaxSender s(m_folder);
    s.LoadDefaultSender();
    editName->setText(s.info.Name);
    editFaxNumber->setText(s.info.FaxNumber);
    editCompany->setText(s.info.Company);
    editPhone->setText(s.info.Phone);
    editEmail->setText(s.info.Email);
}

bool SenderSettingsDialog::save()
{
    FaxSender s(m_folder);
    s.info = {editName->text(), editFaxNumber->text(), editCompany->text(), editPhone->text(),
              editEmail->text()};
    try {
        s.SaveDefaultSender();
        return true;
    } catch (const EFaxError &e) {
        QMessageBox::warning(this, windowTitle(), e.text());
        return false;
    }
}
