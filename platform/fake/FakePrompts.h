#pragma once

#include "Prompts.h"

#include <QList>
#include <QStringList>
#include <deque>
#include <functional>
#include <variant>

namespace vellora {

// Answers the program's questions in the order the test queued them and records every
// question asked. A question with no queued answer is answered as "cancel" (message boxes
// just record), and counted as unexpected so the test can fail on it.
class FakePrompts final : public Prompts
{
public:
    struct Asked
    {
        enum class Kind
        {
            Message,
            OpenFile,
            SaveFile,
            Color
        } kind;
        QString caption; // message caption or dialog title
        QString text;    // message text or dialog filter
        FileDialogRequest request;
    };

    void message(const QString& caption, const QString& text) override;
    QString openFileName(const FileDialogRequest& request) override;
    QString saveFileName(const FileDialogRequest& request) override;
    std::optional<QColor> chooseColor(const QColor& initial) override;

    void answerOpenFile(const QString& path) { m_answers.emplace_back(path); }
    void answerSaveFile(const QString& path) { m_answers.emplace_back(path); }
    void answerColor(const std::optional<QColor>& color) { m_answers.emplace_back(color); }
    // Cancels the next file dialog.
    void answerCancel() { m_answers.emplace_back(QString()); }

    // Called for every message box as it is shown (for example to click something meanwhile).
    std::function<void(const QString& caption, const QString& text)> onMessage;

    const QList<Asked>& asked() const { return m_asked; }
    QStringList messages() const; // "caption: text" of every message box, in order
    int unansweredDialogs() const { return m_unanswered; }
    void clear();

private:
    QString nextFileAnswer();

    std::deque<std::variant<QString, std::optional<QColor>>> m_answers;
    QList<Asked> m_asked;
    int m_unanswered = 0;
};

} // namespace vellora
