#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

namespace ostrel {

// Equal texts share one copy: a folder's rows repeat a few senders,
// addresses, recipient lines and message classes thousands of times, and
// QString's implicit sharing lets every row hold the same text. Bounded:
// once it holds kMaxTexts texts, new ones pass through unshared.
class TextPool {
public:
    static constexpr qsizetype kMaxTexts = 65536;

    // text itself, or an equal text the pool already holds.
    QString intern(QString text)
    {
        if (text.isEmpty())
            return QString();
        const auto it = m_texts.constFind(text);
        if (it != m_texts.cend())
            return *it;
        if (m_texts.size() < kMaxTexts)
            m_texts.insert(text);
        return text;
    }

    // The text of a stored value (its type and bytes), decoded by decode()
    // only the first time those bytes come: a repeated value costs a look-up,
    // not a decoding. Bounded like the texts.
    template <typename Decode>
    QString fromStored(quint16 type, const QByteArray &bytes, Decode &&decode)
    {
        const auto it = m_byStored.constFind(Stored{type, bytes});
        if (it != m_byStored.cend())
            return *it;
        QString text = intern(decode());
        // The key is copied: the bytes may point into a buffer that goes.
        if (m_byStored.size() < kMaxTexts)
            m_byStored.insert(Stored{type, QByteArray(bytes.constData(), bytes.size())}, text);
        return text;
    }

    qsizetype size() const { return m_texts.size(); }

private:
    struct Stored {
        quint16 type;
        QByteArray bytes;
        friend bool operator==(const Stored &, const Stored &) = default;
        friend size_t qHash(const Stored &key, size_t seed = 0) { return ::qHash(key.bytes, seed ^ key.type); }
    };
    QSet<QString> m_texts;
    QHash<Stored, QString> m_byStored;
};

}  // namespace ostrel
