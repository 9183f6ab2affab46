#pragma once

#include <QString>
#include <QStringView>

namespace ostrel {

// The readable text of an HTML body, for a preview line: tags dropped (a
// block-level tag or a line break becomes a space), the contents of head,
// style, script, title and comments left out, character references decoded.
// Pure text work: nothing is fetched, nothing runs. Stops once maxChars
// characters are out; a document cut short gives what was read.
QString htmlText(QStringView html, qsizetype maxChars);

}  // namespace ostrel
