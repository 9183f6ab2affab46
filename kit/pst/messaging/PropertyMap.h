#pragma once

#include "pst/ltp/PropertyContext.h"
#include "pst/ltp/TableContext.h"

#include <QMap>
#include <QSet>

namespace ostrel::pst {

// An object's properties by id, as stored.
using PropertyMap = QMap<quint16, PropertyValue>;

// Every property of a context but those in `skip`, each under maxBytes.
Result<PropertyMap> readProperties(const PropertyContext &pc, qsizetype maxBytes, const QSet<quint16> &skip = {});
// One table row's present cells under the ids they were asked by.
PropertyMap rowProperties(const TableRow &row, const QList<quint16> &ids);
// Every column id of a table.
QList<quint16> columnIds(const TableContext &tc);

}  // namespace ostrel::pst
