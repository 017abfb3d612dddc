#pragma once

#include <QSet>
#include <QString>
#include <cstdint>
#include <deque>

namespace vellora {

// The print jobs taken in during this run. A job that cupsd reports completed again later
// (printed, then gone from the queue; or a late report after another job) is never taken a
// second time. A job is known by its key (job-uuid), not by its id alone: a cupsd that crashed
// gives ids again, and a job under a reused id is a new job. A report without a key falls back
// to the id. Only the latest jobs are kept.
class TakenJobs
{
public:
    static constexpr std::size_t kCapacity = 1024;

    static QString KeyOf(std::uint32_t jobId, const QString& jobKey = QString())
    {
        return jobKey.isEmpty() ? QStringLiteral("id:%1").arg(jobId) : jobKey;
    }

    bool contains(std::uint32_t jobId, const QString& jobKey = QString()) const
    {
        return m_keys.contains(KeyOf(jobId, jobKey));
    }

    void remember(std::uint32_t jobId, const QString& jobKey = QString())
    {
        const QString key = KeyOf(jobId, jobKey);
        if (m_keys.contains(key))
            return;
        m_keys.insert(key);
        m_order.push_back(key);
        if (m_order.size() > kCapacity) {
            m_keys.remove(m_order.front());
            m_order.pop_front();
        }
    }

    std::size_t size() const { return m_order.size(); }

private:
    QSet<QString> m_keys;
    std::deque<QString> m_order;
};

} // namespace vellora
