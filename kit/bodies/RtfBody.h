#pragma once

#include <QByteArray>
#include <QString>

namespace ostrel {

// What an RTF body carries: the sender's HTML, the sender's plain text, or
// rich text of its own.
enum class RtfEncapsulation { none, html, text };

// Bounds for reading RTF from strangers. Groups nested deeper than maxDepth
// are skipped whole; reading stops after maxTokens tokens, or when an output
// would pass maxOutput UTF-16 units or 16 units per input byte.
struct RtfLimits {
    int maxDepth = 512;
    qsizetype maxTokens = qsizetype(64) * 1024 * 1024;
    qsizetype maxOutput = qsizetype(32) * 1024 * 1024;
};

struct RtfBody {
    RtfEncapsulation encapsulation = RtfEncapsulation::none;
    // html: the recovered HTML document, as the sender wrote it.
    // text and none: the readable text as a small HTML fragment, every
    // character escaped, in <p> paragraphs with <b> and <i>.
    QString html;
    // text and none: the readable text, paragraphs separated by "\n".
    // html: empty.
    QString text;
    // The input ended inside the document, or a bound cut the reading short:
    // what was read up to there is kept.
    bool truncated = false;
    friend bool operator==(const RtfBody &, const RtfBody &) = default;
};

// What the document's header declares (\fromhtml1 or \fromtext among its
// first ten group marks and control words).
RtfEncapsulation rtfEncapsulation(const QByteArray &rtf);

// Reads decompressed RTF bytes. Input that does not begin with "{\rtf" gives
// an empty, truncated body.
RtfBody readRtf(const QByteArray &rtf, const RtfLimits &limits = {});

}  // namespace ostrel
