#pragma once

#include "ExtraProperty.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace ostrel::pstwriter {

// Size of a value kept in a table row or inline in a property record; 0 for
// values that live in the heap (or a subnode) and are referenced by id.
int fixedSize(quint16 type);

struct Property {
    quint16 id = 0;
    quint16 type = 0;
    QByteArray value;  // little-endian for fixed types, the bytes themselves otherwise
};

// The properties of one object (or the cells of one table row), kept sorted
// by id, one value an id.
class PropertyBag {
public:
    void setInt16(quint16 id, quint16 v);
    void setInt32(quint16 id, quint32 v);
    void setBool(quint16 id, bool v);
    void setInt64(quint16 id, quint64 v);
    void setTime(quint16 id, quint64 filetime);
    void setString(quint16 id, const QString &v);  // UTF-16LE, no terminator
    void setString8(quint16 id, const QByteArray &v);
    void setBinary(quint16 id, const QByteArray &v);
    void setObject(quint16 id, quint32 nid, quint32 size);
    void set(Property p);
    void remove(quint16 id);

    const Property *find(quint16 id) const;
    bool contains(quint16 id) const { return find(id) != nullptr; }
    const std::vector<Property> &properties() const { return m_props; }
    std::vector<Property> &properties() { return m_props; }
    bool isEmpty() const { return m_props.empty(); }

private:
    std::vector<Property> m_props;
};

}  // namespace ostrel::pstwriter
