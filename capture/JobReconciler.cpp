#include "JobReconciler.h"

#include "CupsChange.h"

#include <algorithm>

namespace vellora {

namespace {

constexpr int kBackOffMs[] = {1000, 2000, 4000, 8000, 10000};
constexpr std::size_t kRememberedJobs = 4096;

bool finished(std::uint32_t state)
{
    return state >= ipp_job_state::Canceled;
}

} // namespace

JobReconciler::Outcome JobReconciler::Read(const QList<CupsJobSummary>& jobs,
                                           const ReportedQuery& alreadyReported)
{
    Outcome outcome;
    for (const CupsJobSummary& job : jobs) {
        if (!finished(job.State)) {
            outcome.KeepAsking = true;
            continue;
        }
        // cupsd counts in whole seconds. A job that completed in the second the monitor started
        // is history, like the jobs before it, unless it was also made in that second: then it
        // was printed as the monitor started, and a lost signal must not lose it.
        if (job.State != ipp_job_state::Completed || job.CompletedAt < m_since ||
            (job.CompletedAt == m_since && job.CreatedAt < m_since))
            continue;
        if ((alreadyReported && alreadyReported(job.Key)) || !remember(job.Key))
            continue;
        outcome.Completed << job;
    }
    std::stable_sort(outcome.Completed.begin(), outcome.Completed.end(),
                     [](const CupsJobSummary& a, const CupsJobSummary& b) {
                         return a.CompletedAt < b.CompletedAt;
                     });
    return outcome;
}

int JobReconciler::NextDelayMs()
{
    const int last = int(std::size(kBackOffMs)) - 1;
    const int delay = kBackOffMs[std::min(m_step, last)];
    m_step = std::min(m_step + 1, last);
    return delay;
}

bool JobReconciler::remember(const QString& key)
{
    if (m_reported.contains(key))
        return false;
    m_reported.insert(key);
    m_order.push_back(key);
    if (m_order.size() > kRememberedJobs) {
        m_reported.remove(m_order.front());
        m_order.pop_front();
    }
    return true;
}

} // namespace vellora
