#include "ui/Dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QMessageBox>

namespace {
// Message texts carry "\r\n" as the program writes them; a box shows lines.
QString displayText(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
} // namespace

MsgResult QtDialogs::messageBox(const QString &text, const QString &caption, MsgButtons buttons, MsgIcon icon)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(caption);
    box.setText(displayText(text));
    switch (icon) {
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return MsgResult::Ok;
    case QMessageBox::Yes:
        return MsgResult::Yes;
    case QMessageBox::No:
        return MsgResult::No;
    default:
        return MsgResult::Cancel;
    }
}

void QtDialogs::showError(const QString &text)
{
    messageBox(text, applicationTitle(), MsgButtons::Ok, MsgIcon::Error);
}

QString QtDialogs::qtFilter(const QString &windowsFilter)
{
    const QStringList parts = windowsFilter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        // "*.*" means every file on Windows, extension or not.
        patterns.replace(QStringLiteral("*.*"), QStringLiteral("*"));
        QString label = parts[i];
        out << (label.contains('(') ? label.left(label.indexOf('(')).trimmed() : label) + " (" + patterns +
                   ")";
    }
    return out.join(QStringLiteral(";;"));
}

namespace {
QString withDefaultExt(QString path, const QString &ext)
{
    if (!path.isEmpty() && !ext.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += "." + ext;
    return path;
}
} // namespace

std::optional<QString> QtDialogs::openFile(const FileDialogRequest &request)
{
    QFileDialog dlg(m_parent, request.title, request.folder, qtFilter(request.filter));
    // The desktop's own dialog would bring its own font.
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (!request.fileName.isEmpty())
        dlg.selectFile(request.fileName);
    if (!request.defaultExt.isEmpty())
        dlg.setDefaultSuffix(request.defaultExt);
    QCheckBox *readOnly = nullptr;
    if (request.readOnlyChecked) {
        // Qt's own dialog can carry an extra control.
        if (auto *grid = qobject_cast<QGridLayout *>(dlg.layout())) {
            readOnly = new QCheckBox(QStringLiteral("Open as &read-only"), &dlg);
            readOnly->setObjectName(QStringLiteral("readOnlyBox"));
            grid->addWidget(readOnly, grid->rowCount(), 0, 1, grid->columnCount());
        }
        *request.readOnlyChecked = false;
    }
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return std::nullopt;
    if (readOnly)
        *request.readOnlyChecked = readOnly->isChecked();
    return withDefaultExt(dlg.selectedFiles().first(), request.defaultExt);
}

std::optional<QString> QtDialogs::saveFile(const FileDialogRequest &request)
{
    QFileDialog dlg(m_parent, request.title, request.folder, qtFilter(request.filter));
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
    if (!request.fileName.isEmpty())
        dlg.selectFile(request.fileName);
    if (!request.defaultExt.isEmpty())
        dlg.setDefaultSuffix(request.defaultExt);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return std::nullopt;
    return withDefaultExt(dlg.selectedFiles().first(), request.defaultExt);
}

std::optional<QStringList> QtDialogs::openFiles(const FileDialogRequest &request)
{
    QFileDialog dlg(m_parent, request.title, request.folder, qtFilter(request.filter));
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFiles);
    dlg.setSizeGripEnabled(true);
    if (!request.fileName.isEmpty())
        dlg.selectFile(request.fileName);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return std::nullopt;
    return dlg.selectedFiles();
}
