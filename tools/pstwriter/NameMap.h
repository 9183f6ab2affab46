#pragma once

#include "ExtraProperty.h"
#include "PropertyBag.h"

#include <QHash>
#include <QList>

namespace ostrel::pstwriter {

// The archive's name-to-id map: named properties get ids from 0x8000 on, in
// the order they are first used.
class NameMap {
public:
    // The id of `name`, given now if it has none yet; 0 once all 0x7FFF ids
    // are taken.
    quint16 idFor(const PropertyName &name);
    std::optional<quint16> find(const PropertyName &name) const;
    qsizetype size() const { return m_names.size(); }

    // The map node's properties: bucket count, GUID stream, entry stream,
    // string stream and the hash buckets.
    PropertyBag properties() const;

private:
    static QString keyOf(const PropertyName &name);
    QList<PropertyName> m_names;
    QHash<QString, quint16> m_ids;
};

}  // namespace ostrel::pstwriter
