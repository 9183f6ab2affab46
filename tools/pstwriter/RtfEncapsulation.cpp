#include "RtfEncapsulation.h"

#include "ExtraProperty.h"

namespace ostrel::pstwriter {

namespace {

QByteArray header(quint32 codepage, const char *from)
{
    return "{\\rtf1\\ansi\\ansicpg" + QByteArray::number(codepage) + from
           + "\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}{\\f1\\fmodern Courier New;}}\\uc1\r\n";
}

// Text escaped for RTF; line breaks are the caller's.
QByteArray escape(const QString &text, quint32 codepage)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += '\\';
            out += char(u);
        } else if (u == '\t') {
            out += "\\tab ";
        } else if (u >= 0x20 && u < 0x7F) {
            out += char(u);
        } else if (u < 0x20) {
            continue;
        } else {
            // A surrogate pair stays one character for the code page.
            const qsizetype n = c.isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
            const QString ch = text.mid(i, n);
            const auto bytes = encode8bit(ch, codepage);
            if (bytes && !bytes->isEmpty() && !bytes->contains('?')) {
                for (char b : *bytes)
                    out += "\\'" + QByteArray::number(quint8(b), 16).rightJustified(2, '0');
            } else {
                for (qsizetype k = 0; k < n; ++k)
                    out += "\\u" + QByteArray::number(qint16(text.at(i + k).unicode())) + '?';
            }
            i += n - 1;
        }
    }
    return out;
}

}  // namespace

QByteArray encapsulateHtml(const QString &html, quint32 codepage)
{
    QByteArray out = header(codepage, "\\fromhtml1 ");
    out += "{\\*\\htmltag64}";
    qsizetype at = 0;
    while (at < html.size()) {
        if (html.at(at) == QLatin1Char('<')) {
            qsizetype end = html.indexOf(QLatin1Char('>'), at);
            end = end < 0 ? html.size() : end + 1;
            const QString tag = html.mid(at, end - at);
            out += "{\\*\\htmltag84 " + escape(tag, codepage) + '}';
            // What an RTF reader shows for the tag, which de-encapsulation skips.
            const QString name = tag.mid(1).section(QLatin1Char(' '), 0, 0).toLower();
            if (name == QLatin1String("br") || name == QLatin1String("br/") || name == QLatin1String("/p")
                || name == QLatin1String("/div") || name == QLatin1String("/h1") || name == QLatin1String("/h2"))
                out += "\\htmlrtf \\par \\htmlrtf0 ";
            at = end;
            continue;
        }
        qsizetype end = html.indexOf(QLatin1Char('<'), at);
        if (end < 0)
            end = html.size();
        const QStringList lines = html.mid(at, end - at).split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0)
                out += "{\\*\\htmltag0 \\par }";
            QString line = lines[i];
            if (line.endsWith(QLatin1Char('\r')))
                line.chop(1);
            out += escape(line, codepage);
        }
        at = end;
    }
    out += "}";
    return out;
}

namespace {

QByteArray paragraphs(const QString &text, quint32 codepage, const char *from, bool boldFirst)
{
    QByteArray out = header(codepage, from);
    out += "\\pard\\plain\\f0\\fs20 ";
    QString normal = text;
    normal.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QStringList lines = normal.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            out += "\\par\r\n";
        if (i == 0 && boldFirst)
            out += "{\\b " + escape(lines[i], codepage) + "}";
        else
            out += escape(lines[i], codepage);
    }
    out += "}";
    return out;
}

}  // namespace

QByteArray encapsulateText(const QString &text, quint32 codepage)
{
    return paragraphs(text, codepage, "\\fromtext ", false);
}

QByteArray plainRtf(const QString &text, quint32 codepage)
{
    return paragraphs(text, codepage, " ", true);
}

}  // namespace ostrel::pstwriter
