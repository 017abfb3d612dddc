// bench/capture's fault cases: the cases of the capture tests, measured. For each case, the
// jobs cupsd completed, the jobs taken (each key once, as the intake does), those reported
// twice, and the worst time from a print file being complete to its completion report.
#include "capture_faults.h"

#include <Paths.h>
#include <PrintersMonitor.h>
#include <PrivateCups.h>
#include <PrivateCupsJobs.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <algorithm>
#include <cstdio>
#include <signal.h>

using namespace vellora;
using vellora::test::PrivateCups;
using vellora::test::PrivateCupsJobs;

namespace {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QList<int> print(int count, const QString& file, const QString& asUser = QString())
{
    QList<int> ids;
    for (int i = 0; i < count; ++i)
        if (const int id =
                PrivateCups::print({QStringLiteral("-d"), QStringLiteral("vellora"),
                                    QStringLiteral("-t"), QStringLiteral("bench %1").arg(i), file},
                                   asUser))
            ids << id;
    return ids;
}

struct Finished
{
    QStringList keys; // of the completed jobs, in the order given
    QList<int> ids;
};

Finished finish(const QList<int>& ids)
{
    waitUntil(
        [&] {
            return std::all_of(ids.begin(), ids.end(), [](int id) {
                const int state = PrivateCupsJobs::job(id).state;
                return state == 0 || state >= 7;
            });
        },
        60000);
    Finished done;
    for (int id : ids)
        if (const auto job = PrivateCupsJobs::job(id);
            job.state == 9 && !done.keys.contains(job.uuid)) {
            done.keys << job.uuid;
            done.ids << id;
        }
    return done;
}

} // namespace

int faultCase(const QString& name, const QString& folder, const QString& small,
              const QString& large, const std::function<std::vector<Clock::time_point>()>& renames)
{
    PrivateCups cups;
    cups.attach(folder);
    int narrow = 0;
    if (name == QLatin1String("narrow")) {
        narrow = PrivateCupsJobs::subscribe("nobody", QStringLiteral("idle01"), "job-completed");
        const int started = PrivateCups::print(
            {QStringLiteral("-d"), QStringLiteral("idle01"), small}, QStringLiteral("nobody"));
        finish({started});
    }
    TPrintersMonitor monitor(nullptr);
    QHash<QString, Clock::time_point> reported;
    QHash<QString, int> completions;
    monitor.OnJobComplete = [&](const TJobInformation& job) {
        if (job.PrinterName != QLatin1String("vellora") || job.UserName != paths::CurrentUserName())
            return;
        if (++completions[job.JobKey] == 1)
            reported.insert(job.JobKey, Clock::now());
    };
    monitor.SetActive(true);
    waitUntil([&] { return monitor.IsSubscribed(); }, 10000);
    const std::size_t renamesBefore = renames().size();

    QList<int> ours;
    Finished before;
    if (name == QLatin1String("large")) {
        ours << print(5, small) << print(1, large) << print(5, small);
        print(1, small, QStringLiteral("nobody"));
    } else if (name == QLatin1String("notifier")) {
        ours << print(1, small);
        finish(ours);
        cups.killNotifiers();
        ours << print(6, small);
    } else if (name == QLatin1String("narrow")) {
        ours << print(5, small);
    } else if (name == QLatin1String("crash")) {
        ours << print(4, small);
        waitUntil(
            [&] {
                return std::count_if(ours.begin(), ours.end(), [](int id) {
                           return PrivateCupsJobs::job(id).state == 9;
                       }) >= 2;
            },
            30000);
        for (int id : ours)
            if (const auto job = PrivateCupsJobs::job(id); job.state == 9) {
                before.keys << job.uuid;
                before.ids << id;
            }
        cups.killCupsd();
        cups.startCupsd();
        ours << print(4, small);
    } else if (name == QLatin1String("young")) {
        waitUntil([] { return false; }, 2000);
        cups.killCupsd();
        cups.startCupsd();
        ours << print(3, small);
    } else if (name == QLatin1String("bus")) {
        cups.restartBus();
        ours << print(3, small);
    } else if (name == QLatin1String("readded")) {
        PrivateCups::lpadmin({QStringLiteral("-x"), QStringLiteral("vellora")});
        PrivateCups::addQueue(QStringLiteral("vellora"));
        ours << print(3, small);
    }
    Finished done = finish(ours);
    for (qsizetype i = 0; i < before.keys.size(); ++i)
        if (!done.keys.contains(before.keys[i])) {
            done.keys.prepend(before.keys[i]);
            done.ids.prepend(before.ids[i]);
        }
    waitUntil(
        [&] {
            return std::all_of(done.keys.begin(), done.keys.end(),
                               [&](const QString& key) { return reported.contains(key); });
        },
        30000);
    waitUntil([] { return false; }, 1500); // anything late, or twice

    // Print files appear one per completed job, in the order the jobs completed.
    std::vector<Clock::time_point> complete = renames();
    complete.erase(complete.begin(), complete.begin() + std::ptrdiff_t(renamesBefore));
    double worst = 0;
    const qsizetype paired = std::min<qsizetype>(done.keys.size(), qsizetype(complete.size()));
    for (qsizetype i = 0; i < paired; ++i) {
        const QString& key = done.keys[done.keys.size() - paired + i];
        const auto at = complete[complete.size() - std::size_t(paired) + std::size_t(i)];
        if (reported.contains(key))
            worst = std::max(worst, msBetween(at, reported.value(key)));
    }
    int taken = 0, twice = 0;
    for (const QString& key : done.keys)
        taken += reported.contains(key) ? 1 : 0;
    for (auto it = completions.begin(); it != completions.end(); ++it)
        twice += it.value() > 2 ? 1 : 0;
    const QByteArray label = name.toUtf8();
    std::printf("capture_fault_%s_completed: %lld jobs\n", label.constData(),
                static_cast<long long>(done.keys.size()));
    std::printf("capture_fault_%s_taken: %d jobs\n", label.constData(), taken);
    std::printf("capture_fault_%s_other_taken: %lld jobs\n", label.constData(),
                static_cast<long long>(reported.size() - taken));
    std::printf("capture_fault_%s_reported_twice: %d jobs\n", label.constData(), twice);
    std::printf("capture_fault_%s_worst_latency: %.0f ms\n", label.constData(), worst);
    std::fflush(stdout);
    if (narrow || name == QLatin1String("notifier"))
        cups.restartCupsd(); // frees the notifiers' lock for the cases after this one
    cups.detach();
    return 0;
}

int shutdownWithHungCupsd(const QString& folder)
{
    PrivateCups cups;
    cups.attach(folder);
    QFile pidFile(folder + QStringLiteral("/cupsd.pid"));
    pidFile.open(QIODevice::ReadOnly);
    const pid_t cupsd = pid_t(pidFile.readAll().trimmed().toInt());
    double worst = 0;
    for (int round = 0; round < 3 && cupsd > 0; ++round) {
        auto monitor = std::make_unique<TPrintersMonitor>(nullptr);
        monitor->SetActive(true);
        waitUntil([&] { return monitor->IsSubscribed(); }, 10000);
        ::kill(cupsd, SIGSTOP);
        monitor->Reconcile(); // a request under way when the window closes
        waitUntil([] { return false; }, 50);
        const auto start = Clock::now();
        monitor.reset();
        worst = std::max(worst, msBetween(start, Clock::now()));
        ::kill(cupsd, SIGCONT);
        waitUntil([] { return false; }, 500);
    }
    std::printf("capture_shutdown_hung_cupsd_worst: %.0f ms\n", worst);
    cups.detach();
    return 0;
}
