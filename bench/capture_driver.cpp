// bench/capture's measuring program: the print-queue monitor against the private cupsd that
// the script started (its environment names it).
//
//   bench_capture_driver latency <jobs> <postscript file> <drop folder>
//   bench_capture_driver idle <seconds> [label]
//   bench_capture_driver faults <server folder> <drop folder> <small file> <large file> <case>...
//   bench_capture_driver shutdown <server folder>
//
// latency: prints one job at a time on "vellora" and measures, for each, the time from the
// moment its print file is complete (the backend renames it into place) to the monitor's
// first completion report on the GUI thread; at the same time a loop that asks cupsd for the
// completed jobs once per second measures the same for comparison.
// idle: the CPU time the monitor uses while it watches every printer and nothing happens.
#include "capture_faults.h"

#include <CupsClient.h>
#include <Paths.h>
#include <PrintersMonitor.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cups/cups.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace vellora;

namespace {

// Timestamps of every print file that appears complete in the user's drop folder.
class PrintFileWatch
{
public:
    explicit PrintFileWatch(const QString& folder)
    {
        m_fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_MOVED_TO);
        m_thread = std::thread([this] { run(); });
    }
    ~PrintFileWatch()
    {
        m_stop = true;
        m_thread.join();
        close(m_fd);
    }
    std::vector<Clock::time_point> times()
    {
        std::lock_guard lock(m_mutex);
        return m_times;
    }

private:
    void run()
    {
        alignas(inotify_event) char buffer[4096];
        while (!m_stop) {
            pollfd watch{m_fd, POLLIN, 0};
            if (poll(&watch, 1, 100) <= 0)
                continue;
            const auto now = Clock::now();
            const ssize_t got = read(m_fd, buffer, sizeof buffer);
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len && QByteArray(event->name) == "Vellora.ps") {
                    std::lock_guard lock(m_mutex);
                    m_times.push_back(now);
                }
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
    }
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<Clock::time_point> m_times;
    std::thread m_thread;
};

// The comparison: asks cupsd for the completed jobs of "vellora" once per second.
class PollingLoop
{
public:
    PollingLoop()
    {
        m_thread = std::thread([this] { run(); });
    }
    ~PollingLoop()
    {
        m_stop = true;
        m_thread.join();
    }
    std::map<int, Clock::time_point> seen()
    {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }

private:
    void run()
    {
        const QByteArray server = CupsServerName().toLocal8Bit();
        http_t* http = httpConnect2(server.constData(), ippPort(), nullptr, AF_UNSPEC,
                                    HTTP_ENCRYPTION_IF_REQUESTED, 1, 1000, nullptr);
        bool first = true;
        while (!m_stop) {
            cups_job_t* jobs = nullptr;
            const int count = cupsGetJobs2(http, &jobs, "vellora", 0, CUPS_WHICHJOBS_COMPLETED);
            const auto now = Clock::now();
            {
                std::lock_guard lock(m_mutex);
                for (int i = 0; i < count; ++i)
                    if (!first && !m_seen.count(jobs[i].id))
                        m_seen[jobs[i].id] = now;
                    else if (first)
                        m_seen[jobs[i].id] = Clock::time_point();
            }
            cupsFreeJobs(count, jobs);
            first = false;
            for (int i = 0; i < 10 && !m_stop; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        httpClose(http);
    }
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::map<int, Clock::time_point> m_seen;
    std::thread m_thread;
};

void printFigures(const char* name, std::vector<double> values)
{
    if (values.empty()) {
        std::printf("%s_median: n/a ms\n%s_worst: n/a ms\n", name, name);
        return;
    }
    std::sort(values.begin(), values.end());
    const double median = values.size() % 2
                              ? values[values.size() / 2]
                              : (values[values.size() / 2 - 1] + values[values.size() / 2]) / 2;
    std::printf("%s_median: %.1f ms\n%s_worst: %.1f ms\n", name, median, name, values.back());
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
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

int printJob(const QString& file)
{
    QProcess lp;
    lp.start(QStringLiteral("lp"), {QStringLiteral("-d"), QStringLiteral("vellora"), file});
    lp.waitForFinished(30000);
    const QString out = QString::fromLocal8Bit(lp.readAllStandardOutput());
    return out.section(u'-', 1).section(u' ', 0, 0).toInt();
}

int latency(int jobs, const QString& file, const QString& dropFolder)
{
    TPrintersMonitor monitor(nullptr);
    std::map<std::uint32_t, Clock::time_point> reported;
    monitor.OnJobComplete = [&](const TJobInformation& job) {
        reported.emplace(job.JobId, Clock::now());
    };
    monitor.SetActive(true);
    if (!waitFor([&] { return monitor.IsSubscribed(); }, 10000)) {
        std::fprintf(stderr, "no subscription\n");
        return 1;
    }
    QDir().mkpath(dropFolder);
    // The first job makes the user's folder; watching starts with the second.
    const int warmUp = printJob(file);
    waitFor([&] { return reported.count(std::uint32_t(warmUp)) > 0; }, 30000);

    PrintFileWatch watch(dropFolder);
    PollingLoop polling;
    QThread::msleep(1500); // the polling loop has read the jobs already completed
    std::vector<int> ids;
    for (int i = 0; i < jobs; ++i) {
        // A random pause, so that jobs do not fall into step with the polling loop's second.
        waitFor([] { return false; }, int(QRandomGenerator::global()->bounded(1000)));
        const int id = printJob(file);
        ids.push_back(id);
        const bool done = waitFor([&] { return reported.count(std::uint32_t(id)) > 0; }, 30000);
        const bool polled = waitFor([&] { return polling.seen().count(id) > 0; }, 5000);
        if (!done || !polled)
            std::fprintf(stderr, "job %d: reported %d polled %d\n", id, done, polled);
    }
    const std::vector<Clock::time_point> complete = watch.times();
    const auto seen = polling.seen();
    std::vector<double> monitorMs, pollMs;
    for (std::size_t i = 0; i < ids.size() && i < complete.size(); ++i) {
        if (const auto it = reported.find(std::uint32_t(ids[i])); it != reported.end())
            monitorMs.push_back(msBetween(complete[i], it->second));
        if (const auto it = seen.find(ids[i]); it != seen.end())
            pollMs.push_back(msBetween(complete[i], it->second));
    }
    if (qEnvironmentVariableIsSet("VELLORA_BENCH_VERBOSE"))
        for (std::size_t i = 0; i < monitorMs.size(); ++i)
            std::fprintf(stderr, "job %d: %.1f ms\n", ids[i], monitorMs[i]);
    printFigures("capture_latency", monitorMs);
    printFigures("capture_poll_latency", pollMs);
    if (!monitorMs.empty() && !pollMs.empty()) {
        std::sort(monitorMs.begin(), monitorMs.end());
        std::sort(pollMs.begin(), pollMs.end());
        std::printf("capture_poll_to_monitor_median_ratio: %.1f x\n",
                    pollMs[pollMs.size() / 2] / std::max(0.01, monitorMs[monitorMs.size() / 2]));
    }
    std::printf("capture_latency_jobs: %zu jobs\n", monitorMs.size());
    return 0;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// `label` names a variant of the case ("no_folder": this user has never printed).
int idle(int seconds, const QString& label)
{
    TPrintersMonitor monitor(nullptr);
    monitor.SetActive(true);
    waitFor([&] { return monitor.IsSubscribed(); }, 10000);
    waitFor([] { return false; }, 1000); // settle
    const int printers = int(monitor.WatchedPrinters().size());
    const double before = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    const double used = cpuSeconds() - before;
    const double elapsed = wall.elapsed() / 1000.0;
    const QByteArray name =
        label.isEmpty() ? QByteArray("capture_idle") : "capture_idle_" + label.toUtf8();
    std::printf("%s_printers: %d printers\n", name.constData(), printers);
    std::printf("%s_seconds: %.0f s\n", name.constData(), elapsed);
    std::printf("%s_cpu: %.4f %%\n", name.constData(), 100.0 * used / elapsed);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The private server's backend writes under its own spool: watch the user's folder there.
    if (const QString spool = qEnvironmentVariable("VELLORA_SPOOL_ROOT"); !spool.isEmpty())
        paths::setSpoolRootForTesting(spool);
    const QStringList args = app.arguments();
    if (args.size() >= 5 && args[1] == QLatin1String("latency"))
        return latency(args[2].toInt(), args[3], args[4]);
    if (args.size() >= 3 && args[1] == QLatin1String("idle"))
        return idle(args[2].toInt(), args.value(3));
    if (args.size() >= 7 && args[1] == QLatin1String("faults")) {
        QDir().mkpath(args[3]);
        PrintFileWatch watch(args[3]);
        for (const QString& name : args.mid(6))
            faultCase(name, args[2], args[4], args[5], [&] { return watch.times(); });
        return 0;
    }
    if (args.size() >= 3 && args[1] == QLatin1String("shutdown"))
        return shutdownWithHungCupsd(args[2]);
    std::fprintf(stderr,
                 "usage: %s latency <jobs> <file> <drop folder> | idle <seconds> [label] | faults "
                 "<server folder> <drop folder> <small> <large> <case>... | shutdown <folder>\n",
                 argv[0]);
    return 2;
}
