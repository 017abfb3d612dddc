#include "RunQueue.h"

namespace vellora {

TRunQueue::Hold::Hold(Hold&& other) noexcept : m_queue(std::exchange(other.m_queue, nullptr)) {}

TRunQueue::Hold& TRunQueue::Hold::operator=(Hold&& other) noexcept
{
    if (this != &other) {
        release();
        m_queue = std::exchange(other.m_queue, nullptr);
    }
    return *this;
}

void TRunQueue::Hold::release()
{
    if (QPointer<TRunQueue> queue = std::exchange(m_queue, nullptr))
        queue->releaseHold();
}

TRunQueue::TRunQueue(QObject* parent) : QObject(parent), m_worker([this] { workerLoop(); }) {}

TRunQueue::~TRunQueue()
{
    shutdown();
}

void TRunQueue::enqueue(Job job)
{
    if (m_shutDown)
        return;
    m_waiting.emplace_back(std::move(job));
    dispatch();
}

void TRunQueue::whenIdle(std::function<void(Hold)> granted)
{
    if (m_shutDown)
        return;
    m_waiting.emplace_back(std::move(granted));
    dispatch();
}

void TRunQueue::dispatch()
{
    while (!m_running && !m_held && !m_shutDown && !m_waiting.empty()) {
        Waiting next = std::move(m_waiting.front());
        m_waiting.pop_front();

        if (auto* granted = std::get_if<std::function<void(Hold)>>(&next)) {
            m_held = true;
            (*granted)(Hold(this));
            continue; // a hold dropped at once lets the next one go
        }

        Job job = std::move(std::get<Job>(next));
        m_running = true;
        if (job.start)
            job.start();
        runOnWorker([this, work = std::move(job.work), finished = std::move(job.finished)] {
            const bool ok = work ? work() : false;
            QMetaObject::invokeMethod(
                this,
                [this, ok, finished] {
                    if (m_shutDown)
                        return;
                    m_running = false;
                    if (finished)
                        finished(ok);
                    dispatch();
                    if (!busy())
                        Q_EMIT idle();
                },
                Qt::QueuedConnection);
        });
    }
    if (!busy())
        Q_EMIT idle();
}

void TRunQueue::releaseHold()
{
    // Released from wherever the holder is done; the next run starts from the event loop so
    // that it never runs inside the holder's own code.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_held = false;
            dispatch();
        },
        Qt::QueuedConnection);
}

void TRunQueue::runOnWorker(std::function<void()> task)
{
    {
        std::lock_guard lock(m_mutex);
        m_task = std::move(task);
    }
    m_wake.notify_one();
}

void TRunQueue::workerLoop()
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_quit || m_task; });
            if (!m_task)
                return;
            task = std::exchange(m_task, nullptr);
        }
        task();
    }
}

void TRunQueue::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_stop = true;
    m_waiting.clear();
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_one();
    if (m_worker.joinable())
        m_worker.join();
}

} // namespace vellora
