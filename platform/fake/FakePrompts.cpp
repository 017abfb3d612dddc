#include "FakePrompts.h"

namespace vellora {

void FakePrompts::message(const QString& caption, const QString& text)
{
    m_asked.append({Asked::Kind::Message, caption, text, {}});
    if (onMessage)
        onMessage(caption, text);
}

QString FakePrompts::nextFileAnswer()
{
    if (m_answers.empty() || !std::holds_alternative<QString>(m_answers.front())) {
        ++m_unanswered;
        return {};
    }
    QString answer = std::get<QString>(m_answers.front());
    m_answers.pop_front();
    return answer;
}

QString FakePrompts::openFileName(const FileDialogRequest& request)
{
    m_asked.append({Asked::Kind::OpenFile, request.title, request.filter, request});
    return nextFileAnswer();
}

QString FakePrompts::saveFileName(const FileDialogRequest& request)
{
    m_asked.append({Asked::Kind::SaveFile, request.title, request.filter, request});
    return nextFileAnswer();
}

std::optional<QColor> FakePrompts::chooseColor(const QColor& initial)
{
    m_asked.append({Asked::Kind::Color, {}, initial.name(), {}});
    if (m_answers.empty() || !std::holds_alternative<std::optional<QColor>>(m_answers.front())) {
        ++m_unanswered;
        return std::nullopt;
    }
    auto answer = std::get<std::optional<QColor>>(m_answers.front());
    m_answers.pop_front();
    return answer;
}

QStringList FakePrompts::messages() const
{
    QStringList result;
    for (const Asked& asked : m_asked) {
        if (asked.kind == Asked::Kind::Message)
            result.append(asked.caption + u": " + asked.text);
    }
    return result;
}

void FakePrompts::clear()
{
    m_answers.clear();
    m_asked.clear();
    m_unanswered = 0;
}

} // namespace vellora
