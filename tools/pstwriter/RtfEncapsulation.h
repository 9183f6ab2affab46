#pragma once

#include <QByteArray>
#include <QString>

namespace ostrel::pstwriter {

// RTF documents as Outlook stores HTML and plain-text mail when it keeps
// only an RTF body: the HTML's markup in \*\htmltag groups with its text
// between them (\fromhtml1), or the text itself (\fromtext). Characters
// go in as \'hh in `codepage` where it has them, else as \uN. Line breaks
// of the HTML become \par inside a tag group (de-encapsulation gives CRLF).
QByteArray encapsulateHtml(const QString &html, quint32 codepage = 1252);
QByteArray encapsulateText(const QString &text, quint32 codepage = 1252);
// Plain RTF (no encapsulation): one paragraph a line, the first in bold.
QByteArray plainRtf(const QString &text, quint32 codepage = 1252);

}  // namespace ostrel::pstwriter
