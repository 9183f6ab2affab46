#pragma once

#include "pst/ndb/NodeDatabase.h"

#include <QHash>
#include <QUuid>

#include <variant>

namespace ostrel::pst {

// The archive's map from its own ids of named properties (0x8000 and up) to
// their names: a property set and a number or a string.
class NameMap {
public:
    struct Name {
        QUuid propertySet;
        std::variant<quint32, QString> id;
        friend bool operator==(const Name &, const Name &) = default;
    };

    static constexpr qsizetype kMaxStream = 16 * 1024 * 1024;

    static Result<NameMap> read(NodeDatabase &db);
    // Parses the map's three streams (property sets, entries, strings).
    static Result<NameMap> parse(const QByteArray &guids, const QByteArray &entries, const QByteArray &strings);

    std::optional<Name> name(quint16 id) const;
    qsizetype size() const { return m_names.size(); }

private:
    QHash<quint16, Name> m_names;
};

}  // namespace ostrel::pst
