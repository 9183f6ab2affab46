#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QStringList>

namespace ostrel {

// One compact JSON object whose keys stay in the order they are added
// (QJsonObject would sort them), for output that diffs line by line.
class JsonLine {
public:
    JsonLine &add(const char *key, const QJsonValue &value);
    JsonLine &add(const char *key, const QStringList &texts);
    // A nested object or array written by another JsonLine or by hand.
    JsonLine &addRaw(const char *key, const QByteArray &json);

    // Adds other's keys after these.
    JsonLine &append(const JsonLine &other);

    QByteArray object() const { return "{" + m_body + "}"; }

    // One value as compact JSON.
    static QByteArray scalar(const QJsonValue &value);
    static QByteArray array(const QList<QByteArray> &items);

private:
    QByteArray m_body;
};

}  // namespace ostrel
