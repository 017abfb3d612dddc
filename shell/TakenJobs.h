#pragma once

#include <QSet>
#include <cstdint>
#include <deque>

namespace vellora {

// The print jobs taken in during this run. A job that cupsd reports completed again later
// (printed, then gone from the queue; or a late report after another job) is never taken a
// second time. Only the latest ids are kept: job ids grow, so old ones do not come back.
class TakenJobs
{
public:
    static constexpr std::size_t kCapacity = 1024;

    bool contains(std::uint32_t jobId) const { return m_ids.contains(jobId); }

    void remember(std::uint32_t jobId)
    {
        if (m_ids.contains(jobId))
            return;
        m_ids.insert(jobId);
        m_order.push_back(jobId);
        if (m_order.size() > kCapacity) {
            m_ids.remove(m_order.front());
            m_order.pop_front();
        }
    }

    std::size_t size() const { return m_order.size(); }

private:
    QSet<std::uint32_t> m_ids;
    std::deque<std::uint32_t> m_order;
};

} // namespace vellora
