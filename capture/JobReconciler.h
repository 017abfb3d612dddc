#pragma once

#include "CupsClient.h"

#include <QList>
#include <QSet>
#include <QString>
#include <deque>
#include <functional>

namespace vellora {

// Signals from cupsd's notifier are the fast path, never the only record: a flooded or dead
// notifier drops them, a crashed cupsd or bus loses them. The reconciler reads cupsd's own list
// of this user's jobs (Get-Jobs) and finds the completions that no signal told of. It is asked
// again on a back-off while a job of ours is still under way, and not at all when none is.
class JobReconciler
{
public:
    using ReportedQuery = std::function<bool(const QString& key)>;

    // Completions up to `since` (seconds since the epoch) are history, never reported.
    explicit JobReconciler(qint64 since) : m_since(since) {}

    struct Outcome
    {
        QList<CupsJobSummary> Completed; // to report, oldest first
        bool KeepAsking = false;         // a job of ours is not finished yet
    };

    // Reads one answer of cupsd. A completion is reported once, and never one that
    // `alreadyReported` knows (the signal path got there first).
    Outcome Read(const QList<CupsJobSummary>& jobs, const ReportedQuery& alreadyReported);

    // The pause before the next question: 1 s, 2 s, 4 s, 8 s, then 10 s.
    int NextDelayMs();
    void ResetBackOff() { m_step = 0; }

private:
    bool remember(const QString& key);

    qint64 m_since;
    int m_step = 0;
    QSet<QString> m_reported;
    std::deque<QString> m_order;
};

} // namespace vellora
