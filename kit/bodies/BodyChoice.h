#pragma once

#include "bodies/RtfBody.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace ostrel {

// Which body a message shows, in the order it is looked for.
enum class BodyKind { html, htmlFromRtf, text, textFromRtf, none };

// "html", "html-from-rtf", "text", "text-from-rtf" or "none".
QString bodyKindName(BodyKind kind);

// A message's bodies as the archive stores them, and the code pages that
// say how to read their bytes.
struct BodySources {
    std::optional<QByteArray> html;  // the HTML body's bytes
    std::optional<QByteArray> text;  // the plain-text body's bytes
    bool textIsUtf16 = false;        // stored as a Unicode string (UTF-16LE), not 8-bit
    std::optional<QByteArray> rtf;   // the RTF body, already decompressed
    std::optional<int> internetCodePage;
    std::optional<int> messageCodePage;
};

struct ChosenBody {
    BodyKind kind = BodyKind::none;
    // html, htmlFromRtf: the HTML document. textFromRtf: the text as an
    // escaped HTML fragment with paragraphs, bold and italic, when the RTF
    // carried any text. text, none: empty.
    QString html;
    // text, textFromRtf: the plain text. html, htmlFromRtf, none: empty.
    QString text;
    // The RTF body was damaged or cut at a bound; what was read is shown.
    bool truncated = false;

    friend bool operator==(const ChosenBody &, const ChosenBody &) = default;
};

// HTML, then HTML recovered from RTF, then plain text, then text read from
// RTF, then none. A body counts when it gives at least one character after
// decoding (blanks count; trailing NULs do not). The RTF is read only when
// the HTML body gives nothing, and at most once.
ChosenBody chooseBody(const BodySources &sources, const RtfLimits &limits = {});

}  // namespace ostrel
