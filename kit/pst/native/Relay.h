#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace ostrel {

// Values passed from one thread that fills them to one that takes them,
// in order, with their room given back: a fixed number of values go round,
// so the filling thread runs at most that far ahead and reuses what each
// value allocated. Either side may end early; the other then stops waiting.
template <typename T>
class Relay {
public:
    explicit Relay(int rounds)
    {
        for (int i = 0; i < rounds; ++i)
            m_spare.emplace_back();
    }

    // Filling side: a value to fill, once one is free; nothing once the
    // taking side has stopped.
    std::optional<T> spare() { return pop(m_spare, m_stopped, false); }
    void hand(T value)
    {
        change([&] { m_ready.push_back(std::move(value)); });
    }
    // No more values come; what was handed is still taken.
    void finish()
    {
        change([&] { m_finished = true; });
    }

    // Taking side: the next value, or nothing once every value is taken.
    std::optional<T> take() { return pop(m_ready, m_finished, true); }
    void giveBack(T value)
    {
        change([&] { m_spare.push_back(std::move(value)); });
    }
    // Nothing more is taken: the filling side's next spare() says so.
    void stop()
    {
        change([&] { m_stopped = true; });
    }

private:
    // The front of queue once it has one; nothing once ended, at once or,
    // with drain, when the queue is empty too.
    std::optional<T> pop(std::deque<T> &queue, const bool &ended, bool drain)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return ended || !queue.empty(); });
        if (queue.empty() || (ended && !drain))
            return std::nullopt;
        T value = std::move(queue.front());
        queue.pop_front();
        return value;
    }
    // Changes the state under the lock, then wakes the other side.
    template <typename F>
    void change(F &&f)
    {
        {
            std::lock_guard lock(m_mutex);
            f();
        }
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<T> m_spare;
    std::deque<T> m_ready;
    bool m_finished = false;
    bool m_stopped = false;
};

}  // namespace ostrel
