#include "pst/SerialExecutor.h"

#include <pthread.h>

namespace ostrel {

SerialExecutor::SerialExecutor(std::function<void()> finalJob)
    : m_finalJob(std::move(finalJob)), m_thread([this] { run(); })
{
}

SerialExecutor::~SerialExecutor()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void SerialExecutor::enqueue(std::function<void()> job)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void SerialExecutor::run()
{
    pthread_setname_np(pthread_self(), "ostrel-reader");
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty())
                break;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        job();
    }
    if (m_finalJob)
        m_finalJob();
}

}  // namespace ostrel
