#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

namespace ostrel {

// Equal stored texts share one copy: a folder's rows repeat a few senders,
// addresses, recipient lines and message classes thousands of times, and
// QString's implicit sharing lets every row hold the same text. A text is
// known by its stored bytes, so a repeated one costs a look-up, not a
// decoding. Bounded: once it holds kMaxTexts texts, new ones pass through
// unshared.
class TextPool {
public:
    static constexpr qsizetype kMaxTexts = 65536;

    // The text of a stored value (its type and bytes); decode() makes it the
    // first time those bytes come.
    template <typename Decode>
    QString fromStored(quint16 type, const QByteArray &bytes, Decode &&decode)
    {
        const auto it = m_byStored.constFind(Stored{type, bytes});
        if (it != m_byStored.cend())
            return *it;
        QString text = decode();
        // The key is copied: the bytes may point into a buffer that goes.
        if (m_byStored.size() < kMaxTexts)
            m_byStored.insert(Stored{type, QByteArray(bytes.constData(), bytes.size())}, text);
        return text;
    }

    qsizetype size() const { return m_byStored.size(); }

private:
    struct Stored {
        quint16 type;
        QByteArray bytes;
        friend bool operator==(const Stored &, const Stored &) = default;
        friend size_t qHash(const Stored &key, size_t seed = 0) { return ::qHash(key.bytes, seed ^ key.type); }
    };
    QHash<Stored, QString> m_byStored;
};

}  // namespace ostrel
