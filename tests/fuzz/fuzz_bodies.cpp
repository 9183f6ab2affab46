// libFuzzer entry for the body readers: the RTF reader, the HTML and 8-bit
// text decoders, the body choice and the page anchor. The first two bytes
// choose the message's code pages and which stored body the rest stands
// for. Besides crashes, it aborts when an output passes its bound, the
// rich-text fragment's tags do not pair up, or a meta or base tag is left
// without its anchor.
#include "bodies/BodyChoice.h"
#include "bodies/CodePages.h"
#include "bodies/PageAnchor.h"
#include "bodies/RtfBody.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>

namespace {

// Known and unknown numbers, single- and double-byte, 7-bit and UTF-8.
constexpr int kCodePages[] = {0,     437,   874,   932,   936,   949,   950,   1200,  1250,  1251,
                              1252,  1253,  1254,  1255,  1256,  1257,  1258,  10000, 20127, 20866,
                              28591, 28592, 50220, 50225, 51932, 52936, 54936, 65000, 65001, 99999};

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// Longest closing run and wrapper the fragment adds past the output bound.
constexpr qsizetype kFragmentSlack = 64;

void checkBody(const ostrel::RtfBody &body, qsizetype bound)
{
    require(body.text.size() <= bound);
    require(body.html.size() <= bound + kFragmentSlack);
    if (body.encapsulation == ostrel::RtfEncapsulation::html) {
        require(body.text.isEmpty());
        return;
    }
    require(body.html.count(QLatin1String("<p ")) == body.html.count(QLatin1String("</p>")));
    require(body.html.count(QLatin1String("<b>")) == body.html.count(QLatin1String("</b>")));
    require(body.html.count(QLatin1String("<i>")) == body.html.count(QLatin1String("</i>")));
    require(!body.html.contains(QLatin1String("<script")));
}

bool endsTagName(QChar c)
{
    return c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r' || c == u' ' || c == u'/' || c == u'>';
}

// Every meta and base tag of the anchored page carries the anchor first.
void checkAnchored(const QString &html)
{
    const QString out = ostrel::anchoredPage(html);
    const struct {
        QLatin1String tag;
        QLatin1String anchor;
    } kTags[] = {{QLatin1String("<meta"), QLatin1String(" http-equiv=none")},
                 {QLatin1String("<base"), QLatin1String(" target=_self")}};
    qsizetype added = 0;
    for (const auto &tag : kTags) {
        for (qsizetype at = 0; (at = out.indexOf(tag.tag, at, Qt::CaseInsensitive)) >= 0; ++at) {
            const qsizetype after = at + tag.tag.size();
            if (after >= out.size() || !endsTagName(out.at(after)))
                continue;
            require(QStringView(out).sliced(after).startsWith(tag.anchor));
            added += tag.anchor.size();
        }
    }
    require(out.size() == html.size() + added);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int internet = kCodePages[data[0] % std::size(kCodePages)];
    const int message = kCodePages[data[1] % std::size(kCodePages)];
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));

    const ostrel::RtfBody body = ostrel::readRtf(input);
    checkBody(body, 16 * input.size() + 4096);
    require(ostrel::rtfEncapsulation(input) == body.encapsulation
            || body.encapsulation == ostrel::RtfEncapsulation::none);

    // Tight bounds, so that every cut is reached.
    ostrel::RtfLimits limits;
    limits.maxDepth = 1 + data[0] % 8;
    limits.maxTokens = 16 + data[1];
    limits.maxOutput = 64 + data[0];
    checkBody(ostrel::readRtf(input, limits), limits.maxOutput);

    // No code page reads a byte as more than two UTF-16 units.
    const qsizetype decodedBound = 2 * input.size();
    const QString html = ostrel::decodeHtml(input, internet, message);
    require(html.size() <= decodedBound);
    require(ostrel::decodeText(input, internet, message).size() <= decodedBound);
    if (const auto decoded = ostrel::decodeCodePage(input, internet))
        require(decoded->size() <= decodedBound);
    checkAnchored(html);
    checkAnchored(body.html);

    // The same bytes as each stored body in turn.
    ostrel::BodySources sources;
    sources.internetCodePage = internet;
    sources.messageCodePage = message;
    switch (data[1] % 4) {
    case 0: sources.html = input; break;
    case 1: sources.text = input; break;
    case 2: sources.text = input; sources.textIsUtf16 = true; break;
    default: sources.rtf = input; break;
    }
    const ostrel::ChosenBody chosen = ostrel::chooseBody(sources, limits);
    const bool hasHtml = chosen.kind == ostrel::BodyKind::html || chosen.kind == ostrel::BodyKind::htmlFromRtf;
    const bool hasText = chosen.kind == ostrel::BodyKind::text || chosen.kind == ostrel::BodyKind::textFromRtf;
    require(hasHtml == !chosen.html.isEmpty() || chosen.kind == ostrel::BodyKind::textFromRtf);
    require(hasText == !chosen.text.isEmpty());
    require(chosen.kind != ostrel::BodyKind::none || (chosen.html.isEmpty() && chosen.text.isEmpty()));
    return 0;
}
