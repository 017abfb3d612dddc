#pragma once

#include <QString>
#include <exception>

namespace vellora {

// The program's failures are exceptions that carry the text shown to the user.
class EVellora : public std::exception
{
public:
    explicit EVellora(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8())
    {}
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

} // namespace vellora
