#include "BlockCache.h"

namespace ostrel::pst {

const QByteArray *BlockCache::find(Kind kind, quint64 key)
{
    const auto it = m_index.find({kind, key});
    if (it == m_index.end()) {
        ++m_misses;
        return nullptr;
    }
    ++m_hits;
    m_order.splice(m_order.begin(), m_order, it->second);
    return &it->second->bytes;
}

void BlockCache::insert(Kind kind, quint64 key, const QByteArray &bytes)
{
    if (bytes.size() > m_bound)
        return;
    if (const auto it = m_index.find({kind, key}); it != m_index.end()) {
        m_bytes -= it->second->bytes.size();
        m_order.erase(it->second);
        m_index.erase(it);
    }
    m_order.push_front({kind, key, bytes});
    m_index[{kind, key}] = m_order.begin();
    m_bytes += bytes.size();
    while (m_bytes > m_bound && !m_order.empty()) {
        const Entry &last = m_order.back();
        m_bytes -= last.bytes.size();
        m_index.erase({last.kind, last.key});
        m_order.pop_back();
    }
}

}  // namespace ostrel::pst
