#pragma once

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

    qsizetype size() const { return m_texts.size(); }

private:
    QSet<QString> m_texts;
};

}  // namespace ostrel
