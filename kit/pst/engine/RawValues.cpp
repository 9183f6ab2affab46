#include "pst/engine/RawValues.h"

namespace ostrel {

size_t qHash(const PropertyName &name, size_t seed)
{
    seed = ::qHash(name.propertySet, seed);
    if (const auto *number = std::get_if<quint32>(&name.id))
        return ::qHash(*number, seed);
    return ::qHash(std::get<QString>(name.id), seed ^ 0x9e3779b9u);
}

void PropertyBag::insert(quint16 id, PropertyValue value)
{
    if (m_tagged.isEmpty() || m_tagged.constLast().id < id) {
        m_tagged.append(Tagged{id, std::move(value)});  // the usual case: ids in order
        return;
    }
    const qsizetype at = position(id);
    if (m_tagged[at].id == id)
        m_tagged[at].value = std::move(value);  // a repeated id replaces the value
    else
        m_tagged.insert(at, Tagged{id, std::move(value)});
}

void PropertyBag::remove(quint16 id)
{
    const qsizetype at = position(id);
    if (at < m_tagged.size() && m_tagged[at].id == id)
        m_tagged.remove(at);
}

size_t qHash(const MessageKey &key, size_t seed)
{
    return ::qHash(key.embeddedPath, ::qHash(key.node, seed));
}

bool RawAttachment::operator==(const RawAttachment &other) const
{
    const bool sameEmbedded = embedded == other.embedded
        || (embedded && other.embedded && *embedded == *other.embedded);
    return index == other.index && properties == other.properties && dataSize == other.dataSize
        && data == other.data && sameEmbedded && embeddedFailure == other.embeddedFailure;
}

}  // namespace ostrel
