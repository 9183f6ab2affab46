#include "bodies/PageAnchor.h"

#include <QStringView>

namespace ostrel {

namespace {

struct Anchor {
    QLatin1String tag;        // "<" and the element name
    QLatin1String attribute;  // what goes right after the name
};

// An http-equiv value no browser acts on; an unquoted value, so that inside a
// quoted attribute value the insertion cannot end the quote.
constexpr Anchor kAnchors[] = {
    {QLatin1String("<meta"), QLatin1String(" http-equiv=none")},
    {QLatin1String("<base"), QLatin1String(" target=_self")},
};

// What ends a tag name: ASCII blanks, "/" and ">". A carriage return reads
// as a line feed.
bool endsTagName(QChar c)
{
    switch (c.unicode()) {
    case u'\t': case u'\n': case u'\f': case u'\r': case u' ': case u'/': case u'>':
        return true;
    default:
        return false;
    }
}

}  // namespace

QString anchoredPage(const QString &html)
{
    const QStringView text(html);
    QString out;
    qsizetype copied = 0;
    qsizetype at = 0;
    while ((at = text.indexOf(u'<', at)) >= 0) {
        const QStringView rest = text.sliced(at);
        const Anchor *found = nullptr;
        for (const Anchor &anchor : kAnchors) {
            if (rest.size() > anchor.tag.size() && rest.startsWith(anchor.tag, Qt::CaseInsensitive)
                && endsTagName(rest.at(anchor.tag.size()))) {
                found = &anchor;
                break;
            }
        }
        if (!found) {
            ++at;
            continue;
        }
        if (out.isEmpty())
            out.reserve(html.size() + 64);
        at += found->tag.size();
        out += text.sliced(copied, at - copied);
        out += found->attribute;
        copied = at;
    }
    if (copied == 0)
        return html;
    out += text.sliced(copied);
    return out;
}

}  // namespace ostrel
