#include "model/Text.h"

#include <QTextBoundaryFinder>

namespace ostrel {

qsizetype graphemeCount(const QString &text)
{
    if (text.isEmpty())
        return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

QString graphemePrefix(const QString &text, qsizetype count)
{
    if (count <= 0)
        return {};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype seen = 0;
    qsizetype position = 0;
    while (seen < count) {
        const qsizetype next = finder.toNextBoundary();
        if (next == -1)
            return text;
        position = next;
        ++seen;
    }
    return text.left(position);
}

QString collapseWhiteSpace(const QString &text)
{
    const QString trimmed = text.trimmed();
    QString out;
    out.reserve(trimmed.size());
    bool inSpace = false;
    for (const QChar c : trimmed) {
        if (c.isSpace()) {
            if (!inSpace)
                out.append(QLatin1Char(' '));
            inSpace = true;
        } else {
            out.append(c);
            inSpace = false;
        }
    }
    return out;
}

static bool isBlank(QChar c)
{
    return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
}

QString trimBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

QString fileExtension(const QString &fileName)
{
    const QString component = fileName.mid(fileName.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = component.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : component.mid(dot + 1);
}

}  // namespace ostrel
