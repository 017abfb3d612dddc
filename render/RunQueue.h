#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <variant>

namespace vellora {

// The one queue of interpreter runs. Runs execute one after another on a worker thread, in the
// order they were asked for; a run asked for while another is in progress waits its turn, it
// is never nested and never dropped. Everything here is called on the GUI thread, and every
// callback except `work` runs there too.
//
// Anything else that must not overlap a run takes its turn in the same queue. The catalogue
// build, which reads WorkPdf while the conversion of a print job would replace it, asks for a
// hold:
//
//     GS->Queue().whenIdle([this](TRunQueue::Hold hold) {
//         // every run asked for before has finished; no run starts while `hold` lives
//         m_buildHold = std::move(hold);
//         ...start the build...
//     });
//     ...when the build is done: m_buildHold.release();   (or let it go out of scope)
//
// Runs asked for during the hold wait for its release.
class TRunQueue : public QObject
{
    Q_OBJECT
public:
    struct Job
    {
        std::function<void()> start;           // GUI thread, right before the work
        std::function<bool()> work;            // worker thread
        std::function<void(bool ok)> finished; // GUI thread, with the work's result
    };

    // Keeps the queue's later runs waiting while it lives. Move-only.
    class Hold
    {
    public:
        Hold() = default;
        Hold(Hold&& other) noexcept;
        Hold& operator=(Hold&& other) noexcept;
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        ~Hold() { release(); }

        bool isHeld() const { return !m_queue.isNull(); }
        void release();

    private:
        friend class TRunQueue;
        explicit Hold(TRunQueue* queue) : m_queue(queue) {}
        // A hold that outlives its queue releases nothing.
        QPointer<TRunQueue> m_queue;
    };

    explicit TRunQueue(QObject* parent = nullptr);
    ~TRunQueue() override;

    // Adds a run at the end of the queue. When nothing is in progress it starts at once:
    // `start` has run when this returns.
    void enqueue(Job job);

    // Calls `granted` with a hold once every run asked for before has finished (at once when
    // the queue is idle).
    void whenIdle(std::function<void(Hold)> granted);

    // A run or a hold is in progress, or something is waiting.
    bool busy() const { return m_running || m_held || !m_waiting.empty(); }
    bool running() const { return m_running; }

    // Set while the queue shuts down: a run in progress stops at its next chance.
    const std::atomic<bool>& stopFlag() const { return m_stop; }

    // Stops the run in progress, drops the waiting ones (their callbacks never run) and joins
    // the worker thread. The queue takes nothing afterwards.
    void shutdown();

Q_SIGNALS:
    // Nothing is running, held or waiting any more.
    void idle();

private:
    using Waiting = std::variant<Job, std::function<void(Hold)>>;

    void dispatch();
    void releaseHold();
    void workerLoop();
    void runOnWorker(std::function<void()> task);

    std::deque<Waiting> m_waiting;
    bool m_running = false;
    bool m_held = false;
    bool m_shutDown = false;
    std::atomic<bool> m_stop = false;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::function<void()> m_task;
    bool m_quit = false;
    std::thread m_worker;
};

} // namespace vellora
