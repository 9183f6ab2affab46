#include "bodies/HtmlText.h"

#include <QHash>

namespace ostrel {

namespace {

// The elements whose content is no text a reader sees.
bool hiddenElement(QStringView name)
{
    for (const auto hidden : {u"head", u"style", u"script", u"title", u"template", u"noscript"}) {
        if (name.compare(QStringView(hidden), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The name of the tag that starts at html[at] (just after '<' and any '/').
QStringView tagName(QStringView html, qsizetype at)
{
    qsizetype end = at;
    while (end < html.size() && (html[end].isLetterOrNumber() || html[end] == u'-' || html[end] == u':'))
        ++end;
    return html.sliced(at, end - at);
}

// A character reference at html[at] ('&'): the text it stands for and how
// many characters it takes; nothing for a lone '&'.
std::optional<std::pair<QString, qsizetype>> reference(QStringView html, qsizetype at)
{
    static const QHash<QString, QString> named{
        {QStringLiteral("amp"), QStringLiteral("&")},   {QStringLiteral("lt"), QStringLiteral("<")},
        {QStringLiteral("gt"), QStringLiteral(">")},    {QStringLiteral("quot"), QStringLiteral("\"")},
        {QStringLiteral("apos"), QStringLiteral("'")},  {QStringLiteral("nbsp"), QString(QChar(0x00A0))},
        {QStringLiteral("shy"), QString()},             {QStringLiteral("copy"), QString(QChar(0x00A9))},
        {QStringLiteral("reg"), QString(QChar(0x00AE))}, {QStringLiteral("euro"), QString(QChar(0x20AC))},
        {QStringLiteral("ndash"), QString(QChar(0x2013))}, {QStringLiteral("mdash"), QString(QChar(0x2014))},
        {QStringLiteral("lsquo"), QString(QChar(0x2018))}, {QStringLiteral("rsquo"), QString(QChar(0x2019))},
        {QStringLiteral("ldquo"), QString(QChar(0x201C))}, {QStringLiteral("rdquo"), QString(QChar(0x201D))},
        {QStringLiteral("hellip"), QString(QChar(0x2026))}, {QStringLiteral("auml"), QString(QChar(0x00E4))},
        {QStringLiteral("ouml"), QString(QChar(0x00F6))}, {QStringLiteral("uuml"), QString(QChar(0x00FC))},
        {QStringLiteral("Auml"), QString(QChar(0x00C4))}, {QStringLiteral("Ouml"), QString(QChar(0x00D6))},
        {QStringLiteral("Uuml"), QString(QChar(0x00DC))}, {QStringLiteral("szlig"), QString(QChar(0x00DF))},
        {QStringLiteral("eacute"), QString(QChar(0x00E9))}, {QStringLiteral("egrave"), QString(QChar(0x00E8))},
        {QStringLiteral("aacute"), QString(QChar(0x00E1))}, {QStringLiteral("agrave"), QString(QChar(0x00E0))},
        {QStringLiteral("ccedil"), QString(QChar(0x00E7))}, {QStringLiteral("ntilde"), QString(QChar(0x00F1))},
        {QStringLiteral("laquo"), QString(QChar(0x00AB))}, {QStringLiteral("raquo"), QString(QChar(0x00BB))},
        {QStringLiteral("bull"), QString(QChar(0x2022))},  {QStringLiteral("trade"), QString(QChar(0x2122))},
    };
    constexpr qsizetype kLongest = 12;  // "&#x10FFFF;" and the names above fit
    const qsizetype semicolon = html.sliced(at).left(kLongest).indexOf(u';');
    if (semicolon < 2)
        return std::nullopt;
    const QStringView body = html.sliced(at + 1, semicolon - 1);
    if (body.startsWith(u'#')) {
        bool ok = false;
        const bool hexadecimal = body.size() > 1 && (body[1] == u'x' || body[1] == u'X');
        const uint code = body.sliced(hexadecimal ? 2 : 1).toUInt(&ok, hexadecimal ? 16 : 10);
        // Nothing, a surrogate or a code beyond Unicode reads as U+FFFD.
        const char32_t shown = ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF) ? code : 0xFFFD;
        return std::pair{QString::fromUcs4(&shown, 1), semicolon + 1};
    }
    const auto it = named.constFind(body.toString());
    if (it == named.cend())
        return std::nullopt;
    return std::pair{it.value(), semicolon + 1};
}

}  // namespace

QString htmlText(QStringView html, qsizetype maxChars)
{
    QString out;
    QString hiddenUntil;  // the element whose end closes hidden content
    qsizetype at = 0;
    const auto space = [&out] {
        if (!out.isEmpty() && !out.back().isSpace())
            out.append(u' ');
    };
    while (at < html.size() && out.size() < maxChars) {
        const QChar c = html[at];
        // A '<' that opens no tag (as in "1 < 2") is text.
        const QChar after = at + 1 < html.size() ? html[at + 1] : QChar();
        if (c == u'<' && (after.isLetter() || after == u'/' || after == u'!' || after == u'?')) {
            if (html.sliced(at).startsWith(u"<!--")) {
                const qsizetype end = html.indexOf(u"-->", at + 4);
                if (end < 0)
                    break;
                at = end + 3;
                continue;
            }
            const qsizetype close = html.indexOf(u'>', at + 1);
            if (close < 0)
                break;  // cut inside a tag: what was read stands
            const bool ending = at + 1 < html.size() && html[at + 1] == u'/';
            const QStringView name = tagName(html, at + (ending ? 2 : 1));
            at = close + 1;
            if (!hiddenUntil.isEmpty()) {
                if (ending && name.compare(hiddenUntil, Qt::CaseInsensitive) == 0)
                    hiddenUntil.clear();
                continue;
            }
            if (!ending && hiddenElement(name) && html[close - 1] != u'/') {
                hiddenUntil = name.toString();
                continue;
            }
            // Tags separate words unless they only style a run of text.
            static const QStringView inlineTags[] = {u"a", u"b", u"i", u"u", u"em", u"strong", u"span", u"font",
                                                     u"small", u"big", u"sub", u"sup", u"s", u"strike", u"code"};
            const bool inlineTag = std::any_of(std::begin(inlineTags), std::end(inlineTags), [&name](QStringView t) {
                return name.compare(t, Qt::CaseInsensitive) == 0;
            });
            if (!inlineTag)
                space();
            continue;
        }
        if (!hiddenUntil.isEmpty()) {
            ++at;
            continue;
        }
        if (c == u'&') {
            if (const auto ref = reference(html, at)) {
                out.append(ref->first);
                at += ref->second;
                continue;
            }
        }
        if (c.isSpace())
            space();
        else
            out.append(c);
        ++at;
    }
    return out.trimmed();
}

}  // namespace ostrel
