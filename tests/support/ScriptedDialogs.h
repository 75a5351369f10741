#pragma once

#include "ui/Dialogs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <exception>
#include <stdexcept>
#include <vector>

// The dialogs service for tests: records every box and file dialog, and
// answers from queues the test fills. An unexpected dialog (nothing queued)
// throws, so a test never hangs on a box it did not plan for; an answer
// still queued when the service goes away fails the running test, because
// the question it was meant for was never asked.
class ScriptedDialogs final : public Dialogs {
public:
    ScriptedDialogs() = default;
    ScriptedDialogs(const ScriptedDialogs &) = delete;
    ScriptedDialogs &operator=(const ScriptedDialogs &) = delete;
    ~ScriptedDialogs() override
    {
        if (!allAnswersUsed() && std::uncaught_exceptions() == 0)
            ADD_FAILURE() << "scripted answers never asked for: " << m_answers.size() << " message box(es), "
                          << m_files.size() << " file dialog(s)";
    }

    struct Shown {
        enum Kind { Message, Error, Open, Save } kind;
        QString text;    // message text, or the dialog's initial file name
        QString caption; // caption, or the dialog's initial folder
        MsgButtons buttons = MsgButtons::Ok;
        MsgIcon icon = MsgIcon::None;
        FileDialogRequest request;
    };

    std::vector<Shown> shown;

    // Answers for boxes with more than an OK button, in order.
    void answer(MsgResult r) { m_answers.push_back(r); }
    // Answers for file dialogs, in order; nullopt is a cancel.
    void answerFile(std::optional<QString> path) { m_files.push_back(std::move(path)); }
    // Answers for dialogs that choose several files, in order; nullopt is a cancel.
    void answerFiles(std::optional<QStringList> paths) { m_fileLists.push_back(std::move(paths)); }
    // The next file dialog's answer with its read-only box ticked.
    void answerFileReadOnly(const QString &path)
    {
        m_files.push_back(path);
        m_readOnly.push_back(m_files.size() - 1 + m_answered);
    }

    MsgResult messageBox(const QString &text, const QString &caption, MsgButtons buttons,
                         MsgIcon icon) override
    {
        shown.push_back({Shown::Message, text, caption, buttons, icon, {}});
        if (buttons == MsgButtons::Ok)
            return MsgResult::Ok;
        if (m_answers.empty())
            throw std::logic_error("unexpected question: " + text.toStdString());
        const MsgResult r = m_answers.front();
        m_answers.pop_front();
        return r;
    }
    void showError(const QString &text) override
    {
        shown.push_back({Shown::Error, text, applicationTitle(), MsgButtons::Ok, MsgIcon::Error, {}});
    }
    std::optional<QString> openFile(const FileDialogRequest &request) override
    {
        return file(Shown::Open, request);
    }
    std::optional<QString> saveFile(const FileDialogRequest &request) override
    {
        return file(Shown::Save, request);
    }
    std::optional<QStringList> openFiles(const FileDialogRequest &request) override
    {
        shown.push_back(
            {Shown::Open, request.fileName, request.folder, MsgButtons::Ok, MsgIcon::None, request});
        if (m_fileLists.empty())
            throw std::logic_error("unexpected file dialog: " + request.title.toStdString());
        auto r = m_fileLists.front();
        m_fileLists.pop_front();
        return r;
    }

    // Texts of everything shown, in order (for compact assertions).
    QStringList texts() const
    {
        QStringList out;
        for (const Shown &s : shown)
            out << s.text;
        return out;
    }
    bool allAnswersUsed() const { return m_answers.empty() && m_files.empty() && m_fileLists.empty(); }

private:
    std::optional<QString> file(Shown::Kind kind, const FileDialogRequest &request)
    {
        shown.push_back({kind, request.fileName, request.folder, MsgButtons::Ok, MsgIcon::None, request});
        if (m_files.empty())
            throw std::logic_error("unexpected file dialog: " + request.title.toStdString());
        auto r = m_files.front();
        m_files.pop_front();
        if (request.readOnlyChecked)
            *request.readOnlyChecked =
                std::find(m_readOnly.begin(), m_readOnly.end(), m_answered) != m_readOnly.end();
        ++m_answered;
        return r;
    }

    std::deque<MsgResult> m_answers;
    std::deque<std::optional<QString>> m_files;
    std::deque<std::optional<QStringList>> m_fileLists;
    std::vector<size_t> m_readOnly; // indexes, counted over all file answers, of read-only ones
    size_t m_answered = 0;
};
