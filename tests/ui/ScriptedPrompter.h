#pragma once

// A Prompter for tests: answers from a script, in order, and records every prompt. A prompt that
// the script did not expect fails the test and is answered as cancelled.

#include "ui/toolkit/Prompter.h"

#include <QDialog>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace lvtest {

class ScriptedPrompter : public TessarinEditor::Prompter {
public:
    enum class Kind { Message, OpenFile, SaveFile, Folder, Modal };

    struct Prompt {
        Kind kind = Kind::Message;
        QString text;    // message text
        QString caption; // message caption (empty: the program's default) or chooser title
        Icon icon = Icon::Information;
        Buttons buttons = Buttons::Ok;
        FileRequest file;
        QString dialogTitle; // modal dialogs: the window title
    };

    void answerMessage(Answer answer) { m_messages.push_back(answer); }
    void answerFile(std::optional<QString> path) { m_files.push_back(std::move(path)); }
    void answerFolder(std::optional<QString> path) { m_folders.push_back(std::move(path)); }
    // The handler plays the user's part in the dialog and returns its result code.
    void answerModal(std::function<int(QDialog&)> handler) { m_modals.push_back(std::move(handler)); }

    const std::vector<Prompt>& prompts() const { return m_prompts; }
    bool scriptDone() const { return m_messages.empty() && m_files.empty() && m_folders.empty() && m_modals.empty(); }

    Answer message(QWidget*, const QString& text, const QString& caption, Icon icon, Buttons buttons) override
    {
        Prompt p;
        p.kind = Kind::Message;
        p.text = text;
        p.caption = caption;
        p.icon = icon;
        p.buttons = buttons;
        m_prompts.push_back(p);
        if (m_messages.empty()) {
            ADD_FAILURE() << "unexpected message box: " << text.toStdString();
            return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
        }
        const Answer a = m_messages.front();
        m_messages.pop_front();
        return a;
    }

    std::optional<QString> openFile(QWidget*, const FileRequest& request) override
    {
        return file(Kind::OpenFile, request, m_files);
    }

    std::optional<QString> saveFile(QWidget*, const FileRequest& request) override
    {
        return file(Kind::SaveFile, request, m_files);
    }

    std::optional<QString> chooseFolder(QWidget*, const QString& title, const QString& startFolder) override
    {
        FileRequest request;
        request.title = title;
        request.startPath = startFolder;
        return file(Kind::Folder, request, m_folders);
    }

    int runModal(QDialog& dialog) override
    {
        Prompt p;
        p.kind = Kind::Modal;
        p.dialogTitle = dialog.windowTitle();
        m_prompts.push_back(p);
        if (m_modals.empty()) {
            ADD_FAILURE() << "unexpected modal dialog: " << dialog.windowTitle().toStdString();
            return QDialog::Rejected;
        }
        auto handler = std::move(m_modals.front());
        m_modals.pop_front();
        return handler(dialog);
    }

private:
    std::optional<QString> file(Kind kind, const FileRequest& request, std::deque<std::optional<QString>>& answers)
    {
        Prompt p;
        p.kind = kind;
        p.caption = request.title;
        p.file = request;
        m_prompts.push_back(p);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected chooser: " << request.title.toStdString();
            return std::nullopt;
        }
        std::optional<QString> a;
        a.swap(answers.front());
        answers.pop_front();
        return a;
    }

    std::vector<Prompt> m_prompts;
    std::deque<Answer> m_messages;
    std::deque<std::optional<QString>> m_files;
    std::deque<std::optional<QString>> m_folders;
    std::deque<std::function<int(QDialog&)>> m_modals;
};

} // namespace lvtest
