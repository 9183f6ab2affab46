#pragma once

#include "pst/libpff/LibpffCalls.h"
#include "pst/libpff/LibpffError.h"

#include <utility>

namespace ostrel {

// Owns one libpff item (a recipients table, an attachment, the store, ...)
// and frees it exactly once.
class LibpffItem {
public:
    LibpffItem(const LibpffCalls &calls, libpff_item_t *item) : m_calls(&calls), m_item(item) {}
    ~LibpffItem() { reset(); }
    LibpffItem(LibpffItem &&other) noexcept
        : m_calls(other.m_calls), m_item(std::exchange(other.m_item, nullptr))
    {
    }
    LibpffItem(const LibpffItem &) = delete;
    LibpffItem &operator=(const LibpffItem &) = delete;
    LibpffItem &operator=(LibpffItem &&) = delete;

    libpff_item_t *get() const { return m_item; }
    explicit operator bool() const { return m_item != nullptr; }
    // Hands the item to a new owner.
    libpff_item_t *release() { return std::exchange(m_item, nullptr); }

    void reset()
    {
        if (m_item) {
            LibpffErrorSlot error;
            m_calls->item_free(&m_item, &error);
            m_item = nullptr;
        }
    }

private:
    const LibpffCalls *m_calls;
    libpff_item_t *m_item;
};

}  // namespace ostrel
