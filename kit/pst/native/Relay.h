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
    std::optional<T> spare()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_stopped || !m_spare.empty(); });
        if (m_stopped)
            return std::nullopt;
        T value = std::move(m_spare.front());
        m_spare.pop_front();
        return value;
    }
    void hand(T value)
    {
        {
            std::lock_guard lock(m_mutex);
            m_ready.push_back(std::move(value));
        }
        m_changed.notify_all();
    }
    // No more values come; what was handed is still taken.
    void finish()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_changed.notify_all();
    }

    // Taking side: the next value, or nothing once every value is taken.
    std::optional<T> take()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_finished || !m_ready.empty(); });
        if (m_ready.empty())
            return std::nullopt;
        T value = std::move(m_ready.front());
        m_ready.pop_front();
        return value;
    }
    void giveBack(T value)
    {
        {
            std::lock_guard lock(m_mutex);
            m_spare.push_back(std::move(value));
        }
        m_changed.notify_all();
    }
    // Nothing more is taken: the filling side's next spare() says so.
    void stop()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<T> m_spare;
    std::deque<T> m_ready;
    bool m_finished = false;
    bool m_stopped = false;
};

}  // namespace ostrel
