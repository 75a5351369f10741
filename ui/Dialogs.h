#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

// Every message box, question and file dialog of the program goes through
// this service. QtDialogs shows real boxes; ScriptedDialogs (tests) records
// each one and answers from a script.
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgResult { Ok, Cancel, Yes, No };

struct FileDialogRequest {
    QString title;
    QString folder;               // initial folder
    QString fileName;             // initial file name
    QString defaultExt;           // without the dot, added when the operator types none
    QString filter;               // Windows form: "DBF files (*.dbf)|*.dbf|Any file (*.*)|*.*"
    bool overwritePrompt = false; // save: confirm replacing an existing file
    bool mustExist = false;       // open: refuse names that do not exist
    // open: offer an "Open as read-only" box; its state is written here.
    bool *readOnlyChecked = nullptr;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // The application's title, the caption of a plain box.
    static QString applicationTitle() { return QStringLiteral("Brenvoy"); }

    virtual MsgResult messageBox(const QString &text, const QString &caption, MsgButtons buttons,
                                 MsgIcon icon) = 0;
    // The general error display: an exception's text with an error icon.
    virtual void showError(const QString &text) = 0;
    // Empty when the operator cancels.
    virtual std::optional<QString> openFile(const FileDialogRequest &request) = 0;
    virtual std::optional<QString> saveFile(const FileDialogRequest &request) = 0;
    // Several files at once, in the order the dialog gives them; empty when
    // the operator cancels. By default, the one file openFile gives.
    virtual std::optional<QStringList> openFiles(const FileDialogRequest &request)
    {
        if (std::optional<QString> one = openFile(request))
            return QStringList{*one};
        return std::nullopt;
    }

    // A plain box: OK button, the application title as caption.
    void showMessage(const QString &text)
    {
        messageBox(text, applicationTitle(), MsgButtons::Ok, MsgIcon::None);
    }
    // A refusal: OK box, warning icon, caption "Warning!".
    void showWarning(const QString &text)
    {
        messageBox(text, QStringLiteral("Warning!"), MsgButtons::Ok, MsgIcon::Warning);
    }
};

class QtDialogs final : public Dialogs {
public:
    explicit QtDialogs(QWidget *parent = nullptr) : m_parent(parent) {}
    MsgResult messageBox(const QString &text, const QString &caption, MsgButtons buttons,
                         MsgIcon icon) override;
    void showError(const QString &text) override;
    std::optional<QString> openFile(const FileDialogRequest &request) override;
    std::optional<QString> saveFile(const FileDialogRequest &request) override;
    std::optional<QStringList> openFiles(const FileDialogRequest &request) override;

    // "A|*.a|B|*.b" -> "A (*.a);;B (*.b)" as QFileDialog wants it.
    static QString qtFilter(const QString &windowsFilter);

private:
    QWidget *m_parent;
};
