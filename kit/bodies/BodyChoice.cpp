#include "bodies/BodyChoice.h"

#include "bodies/CodePageDecoder.h"
#include "bodies/CodePages.h"

namespace ostrel {

namespace {

QString decodeUtf16(const QByteArray &bytes)
{
    QString out;
    CodePageDecoder decoder;
    // An odd last byte is half a unit: the rest of a terminator, or damage.
    decoder.append(out, bytes.constData(), bytes.size() & ~qsizetype(1), QByteArrayLiteral("UTF-16LE"));
    while (out.endsWith(QChar(u'\0')))
        out.chop(1);
    return out;
}

}  // namespace

QString bodyKindName(BodyKind kind)
{
    switch (kind) {
    case BodyKind::html: return QStringLiteral("html");
    case BodyKind::htmlFromRtf: return QStringLiteral("html-from-rtf");
    case BodyKind::text: return QStringLiteral("text");
    case BodyKind::textFromRtf: return QStringLiteral("text-from-rtf");
    case BodyKind::none: break;
    }
    return QStringLiteral("none");
}

ChosenBody chooseBody(const BodySources &sources, const RtfLimits &limits)
{
    ChosenBody chosen;
    if (sources.html && !sources.html->isEmpty()) {
        chosen.html = decodeHtml(*sources.html, sources.internetCodePage, sources.messageCodePage);
        if (!chosen.html.isEmpty()) {
            chosen.kind = BodyKind::html;
            return chosen;
        }
    }

    std::optional<RtfBody> rtf;
    if (sources.rtf && !sources.rtf->isEmpty()
        && rtfEncapsulation(*sources.rtf) == RtfEncapsulation::html) {
        rtf = readRtf(*sources.rtf, limits);
        // A document that declares HTML but holds none comes back as rich text.
        if (rtf->encapsulation == RtfEncapsulation::html && !rtf->html.isEmpty()) {
            chosen.kind = BodyKind::htmlFromRtf;
            chosen.html = std::move(rtf->html);
            chosen.truncated = rtf->truncated;
            return chosen;
        }
    }

    if (sources.text && !sources.text->isEmpty()) {
        chosen.text = sources.textIsUtf16
                          ? decodeUtf16(*sources.text)
                          : decodeText(*sources.text, sources.internetCodePage, sources.messageCodePage);
        if (!chosen.text.isEmpty()) {
            chosen.kind = BodyKind::text;
            return chosen;
        }
    }

    if (!rtf && sources.rtf && !sources.rtf->isEmpty())
        rtf = readRtf(*sources.rtf, limits);
    if (rtf && !rtf->text.isEmpty()) {
        chosen.kind = BodyKind::textFromRtf;
        chosen.html = std::move(rtf->html);
        chosen.text = std::move(rtf->text);
        chosen.truncated = rtf->truncated;
        return chosen;
    }
    return ChosenBody{};
}

}  // namespace ostrel
