#include "PropertyBag.h"

#include "Bytes.h"
#include "pst/format/PropertyType.h"

#include <algorithm>

namespace ostrel::pstwriter {

int fixedSize(quint16 type)
{
    // Values of up to 8 bytes sit in table rows and property records; a GUID
    // (16 bytes) is referenced like a variable value.
    const int size = pst::ptype::fixedSize(type);
    return size <= 8 ? size : 0;
}

namespace {

QByteArray le(quint64 v, int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char((v >> (8 * i)) & 0xFF);
    return b;
}

}  // namespace

void PropertyBag::set(Property p)
{
    const auto it = std::lower_bound(m_props.begin(), m_props.end(), p.id,
                                     [](const Property &a, quint16 id) { return a.id < id; });
    if (it != m_props.end() && it->id == p.id)
        *it = std::move(p);
    else
        m_props.insert(it, std::move(p));
}

void PropertyBag::remove(quint16 id)
{
    const auto it = std::lower_bound(m_props.begin(), m_props.end(), id,
                                     [](const Property &a, quint16 key) { return a.id < key; });
    if (it != m_props.end() && it->id == id)
        m_props.erase(it);
}

const Property *PropertyBag::find(quint16 id) const
{
    const auto it = std::lower_bound(m_props.begin(), m_props.end(), id,
                                     [](const Property &a, quint16 key) { return a.id < key; });
    return it != m_props.end() && it->id == id ? &*it : nullptr;
}

void PropertyBag::setInt16(quint16 id, quint16 v) { set({id, PtInt16, le(v, 2)}); }
void PropertyBag::setInt32(quint16 id, quint32 v) { set({id, PtInt32, le(v, 4)}); }
void PropertyBag::setBool(quint16 id, bool v) { set({id, PtBool, le(v ? 1 : 0, 1)}); }
void PropertyBag::setInt64(quint16 id, quint64 v) { set({id, PtInt64, le(v, 8)}); }
void PropertyBag::setTime(quint16 id, quint64 filetime) { set({id, PtTime, le(filetime, 8)}); }

void PropertyBag::setString(quint16 id, const QString &v)
{
    QByteArray b(v.size() * 2, '\0');
    for (qsizetype i = 0; i < v.size(); ++i)
        bytes::put16(b, 2 * i, v.at(i).unicode());
    set({id, PtUnicode, b});
}

void PropertyBag::setString8(quint16 id, const QByteArray &v) { set({id, PtString8, v}); }
void PropertyBag::setBinary(quint16 id, const QByteArray &v) { set({id, PtBinary, v}); }

void PropertyBag::setObject(quint16 id, quint32 nid, quint32 size)
{
    set({id, PtObject, le(nid, 4) + le(size, 4)});
}

}  // namespace ostrel::pstwriter
