#pragma once

#include <QFuture>
#include <QPromise>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace ostrel {

// One worker thread running submitted jobs one at a time, in arrival order.
// The destructor runs what is still queued, then the final job, then joins.
class SerialExecutor {
public:
    explicit SerialExecutor(std::function<void()> finalJob = {});
    ~SerialExecutor();
    SerialExecutor(const SerialExecutor &) = delete;
    SerialExecutor &operator=(const SerialExecutor &) = delete;

    template <typename F>
    auto submit(F job) -> QFuture<std::invoke_result_t<F>>
    {
        using R = std::invoke_result_t<F>;
        auto promise = std::make_shared<QPromise<R>>();
        QFuture<R> future = promise->future();
        promise->start();
        enqueue([promise, job = std::move(job)]() mutable {
            promise->addResult(job());
            promise->finish();
        });
        return future;
    }

    // A job that reports through its promise (results, progress) and may
    // give several results; it is skipped when the future was cancelled
    // before its turn, and should check isCanceled() as it goes.
    template <typename R, typename F>
    QFuture<R> submitWithPromise(F job)
    {
        auto promise = std::make_shared<QPromise<R>>();
        QFuture<R> future = promise->future();
        promise->start();
        enqueue([promise, job = std::move(job)]() mutable {
            if (!promise->isCanceled())
                job(*promise);
            promise->finish();
        });
        return future;
    }

    // A job nobody waits for.
    void post(std::function<void()> job) { enqueue(std::move(job)); }

    std::thread::id threadId() const { return m_thread.get_id(); }

private:
    void enqueue(std::function<void()> job);
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    bool m_stopping = false;
    std::function<void()> m_finalJob;
    std::thread m_thread;
};

}  // namespace ostrel
