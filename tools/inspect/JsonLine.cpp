#include "JsonLine.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace ostrel {

QByteArray JsonLine::scalar(const QJsonValue &value)
{
    // A one-element array is the cheapest way to get Qt's escaping of a value.
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

QByteArray JsonLine::array(const QList<QByteArray> &items)
{
    QByteArray out = "[";
    for (qsizetype i = 0; i < items.size(); ++i)
        out += (i > 0 ? "," : "") + items[i];
    return out + "]";
}

JsonLine &JsonLine::addRaw(const char *key, const QByteArray &json)
{
    if (!m_body.isEmpty())
        m_body += ',';
    m_body += scalar(QString::fromLatin1(key)) + ':' + json;
    return *this;
}

JsonLine &JsonLine::append(const JsonLine &other)
{
    if (!m_body.isEmpty() && !other.m_body.isEmpty())
        m_body += ',';
    m_body += other.m_body;
    return *this;
}

JsonLine &JsonLine::add(const char *key, const QJsonValue &value)
{
    return addRaw(key, scalar(value));
}

JsonLine &JsonLine::add(const char *key, const QStringList &texts)
{
    QList<QByteArray> items;
    for (const QString &text : texts)
        items.append(scalar(text));
    return addRaw(key, array(items));
}

}  // namespace ostrel
