#pragma once

#include <QHash>
#include <QList>
#include <QString>

// What the corpus's MANIFEST.md records of each archive: the table row and
// the folder tree, read as libpff's own tools saw them.
struct ManifestFolder {
    int depth = 0;
    QString name;
    qint64 messageCount = 0;
};

struct ManifestEntry {
    QString file;
    bool opens = false;
    int folders = 0;
    int messages = 0;
    int html = 0;
    int text = 0;
    int attachments = 0;
    QList<ManifestFolder> tree;  // pre-order
};

QHash<QString, ManifestEntry> readManifest(const QString &path);
