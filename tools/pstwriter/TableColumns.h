#pragma once

#include "ExtraProperty.h"
#include "NameMap.h"

#include <QList>

namespace ostrel::pstwriter {

// How wide the writer's tables are: Outlook's column sets (13 hierarchy and
// 55 contents columns, measured on archives Outlook wrote) or the narrow
// sets earlier writers used (7 and 15).
enum class TableWidth { Outlook, Narrow };

// Column tags of each kind of table. Named columns take their ids from the
// map (registering them), so call these with the archive's map.
QList<quint32> hierarchyColumns(TableWidth width);
QList<quint32> contentsColumns(TableWidth width, NameMap &names);
QList<quint32> searchContentsColumns(TableWidth width);
QList<quint32> assocContentsColumns(TableWidth width);
// The templates; a message's recipient table adds a column for every
// property its recipients carry.
QList<quint32> recipientColumns(TableWidth width);
QList<quint32> attachmentColumns(TableWidth width);

}  // namespace ostrel::pstwriter
