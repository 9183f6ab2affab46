#include "FolderTree.h"

#include "pst/format/Nid.h"

#include <QSet>

namespace ostrel::pst {

namespace {

constexpr qsizetype kMaxFolderValue = 64 * 1024;

class Walker {
public:
    explicit Walker(NodeDatabase &db) : m_db(db) {}

    Result<QList<Folder>> children(quint32 parent, int depth)
    {
        if (depth == 0)
            m_seen.insert(parent);  // a folder that lists the root is a cycle too
        auto table = TableContext::openNode(m_db, nid::withType(parent, nid::HierarchyTable));
        if (!table)
            return table.error();
        const QList<quint16> ids = columnIds(*table);
        auto rows = table->rows(0, std::min<qint64>(table->rowCount(), FolderTree::kMaxFolders), ids, kMaxFolderValue);
        if (!rows)
            return rows.error();
        QList<Folder> out;
        for (const TableRow &row : *rows) {
            Folder f;
            f.nid = row.rowId;
            f.properties = rowProperties(row, ids);
            f.searchFolder = nid::type(f.nid) == nid::SearchFolder;
            complete(f);
            if (m_seen.contains(f.nid) || m_seen.size() >= FolderTree::kMaxFolders) {
                f.childrenFailure = QStringLiteral("folder tree: folder %1 appears twice or the tree exceeds %2 folders")
                                        .arg(hex(f.nid))
                                        .arg(FolderTree::kMaxFolders);
                out.append(std::move(f));
                continue;
            }
            m_seen.insert(f.nid);
            if (!f.searchFolder) {
                if (depth >= FolderTree::kMaxDepth) {
                    f.childrenFailure = QStringLiteral("folder tree: deeper than %1 levels").arg(FolderTree::kMaxDepth);
                } else {
                    auto sub = children(f.nid, depth + 1);
                    if (sub)
                        f.children = std::move(sub.value());
                    else if (sub.error().kind != Error::Kind::Missing || hasSubfolders(f))
                        f.childrenFailure = sub.error().text;
                }
            }
            out.append(std::move(f));
        }
        return out;
    }

private:
    static bool hasSubfolders(const Folder &f)
    {
        const auto it = f.properties.constFind(Folder::kSubfolders);
        return it == f.properties.cend() || it->toBool().value_or(true);
    }

    // A row may lack the name or a count; the folder's own properties have them.
    void complete(Folder &f)
    {
        static const quint16 wanted[] = {Folder::kDisplayName, Folder::kContentCount, Folder::kUnreadCount,
                                         Folder::kSubfolders};
        bool lacking = false;
        for (quint16 id : wanted)
            lacking = lacking || !f.properties.contains(id);
        if (!lacking)
            return;
        auto pc = PropertyContext::openNode(m_db, f.nid);
        if (!pc)
            return;  // the row is what there is
        for (quint16 id : wanted) {
            if (f.properties.contains(id))
                continue;
            if (const auto e = pc->find(id)) {
                if (auto v = pc->read(*e, kMaxFolderValue))
                    f.properties.insert(id, std::move(v.value()));
            }
        }
    }

    NodeDatabase &m_db;
    QSet<quint32> m_seen;
};

}  // namespace

Result<QList<Folder>> FolderTree::read(NodeDatabase &db, quint32 parent)
{
    return Walker(db).children(parent, 0);
}

Result<TableContext> FolderTree::contents(NodeDatabase &db, quint32 folder)
{
    if (nid::type(folder) != nid::SearchFolder)
        return TableContext::openNode(db, nid::withType(folder, nid::ContentsTable));
    // A search folder keeps its results (messages stored in other folders)
    // in a table of its own kind. A heap of yet another form is not read;
    // that is said as a missing table rather than as damage.
    const quint32 nid = nid::withType(folder, nid::SearchContentsTable);
    auto table = TableContext::openNode(db, nid);
    if (table)
        return table;
    auto node = db.node(nid);
    if (!node)
        return table;
    auto heap = Heap::open(db, node->bidData, node->bidSub);
    if (!heap || heap->client() == heap::TableContext || heap->client() == TableInfo::kTypeSearch)
        return table;
    return Error{Error::Kind::Missing, QStringLiteral("search contents table %1: results kept in a heap of client %2, "
                                                      "which is not read")
                                           .arg(hex(nid), hex(heap->client()))};
}

}  // namespace ostrel::pst
