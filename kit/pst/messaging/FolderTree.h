#pragma once

#include "pst/messaging/PropertyMap.h"

namespace ostrel::pst {

// One folder as its parent's hierarchy table describes it (name, counts,
// container class, whether it has sub folders), with the folder's own
// properties filling in what the row lacks; its sub folders from its own
// hierarchy table. No contents table is read.
struct Folder {
    static constexpr quint16 kDisplayName = 0x3001;
    static constexpr quint16 kContentCount = 0x3602;
    static constexpr quint16 kUnreadCount = 0x3603;
    static constexpr quint16 kSubfolders = 0x360A;

    quint32 nid = 0;
    PropertyMap properties;
    bool searchFolder = false;
    QList<Folder> children;
    std::optional<QString> childrenFailure;  // why the sub folders could not be read
};

struct FolderTree {
    static constexpr int kMaxDepth = 64;
    static constexpr int kMaxFolders = 100000;

    // The sub folders of `parent`, each with its tree. Fails only when the
    // parent's own hierarchy table cannot be read; a sub folder whose
    // table cannot be read carries the reason.
    static Result<QList<Folder>> read(NodeDatabase &db, quint32 parent);
    // A folder's contents table (a search folder's: its search contents
    // table), for reading its rows by range.
    static Result<TableContext> contents(NodeDatabase &db, quint32 folder);
};

}  // namespace ostrel::pst
