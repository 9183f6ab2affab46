#include "PropertyMap.h"

namespace ostrel::pst {

Result<PropertyMap> readProperties(const PropertyContext &pc, qsizetype maxBytes, const QSet<quint16> &skip)
{
    PropertyMap out;
    for (const PropertyEntry &e : pc.entries()) {
        if (skip.contains(e.id))
            continue;
        auto v = pc.read(e, maxBytes);
        if (!v)
            return v.error();
        out.insert(e.id, std::move(v.value()));
    }
    return out;
}

PropertyMap rowProperties(const TableRow &row, const QList<quint16> &ids)
{
    PropertyMap out;
    for (qsizetype i = 0; i < ids.size() && i < row.cells.size(); ++i)
        if (row.cells[i])
            out.insert(ids[i], *row.cells[i]);
    return out;
}

QList<quint16> columnIds(const TableContext &tc)
{
    QList<quint16> ids;
    for (const ColumnDesc &c : tc.info().columns)
        ids.append(c.id());
    return ids;
}

}  // namespace ostrel::pst
