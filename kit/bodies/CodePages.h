#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace ostrel {

// The ICU converter name for a Windows code page number, or empty when this
// code page has no converter here (unknown numbers, UTF-16 and UTF-7 among them).
QByteArray codePageConverterName(int windowsCodePage);

// The bytes in the given Windows code page; nothing when the code page has no
// converter. Sequences the code page does not define become U+FFFD.
std::optional<QString> decodeCodePage(const QByteArray &bytes, int windowsCodePage);

// An HTML body's bytes as text. A byte order mark decides first; then UTF-8
// when the bytes are valid UTF-8; else the document's own meta charset, then
// the internet code page, then the message code page, then windows-1252.
// A candidate that is unknown, or that names UTF-8 the bytes contradict, is
// passed over.
QString decodeHtml(const QByteArray &bytes, std::optional<int> internetCodePage,
                   std::optional<int> messageCodePage);

// An 8-bit plain-text body as text: a byte order mark, then UTF-8 when valid,
// else the internet code page, the message code page, windows-1252.
QString decodeText(const QByteArray &bytes, std::optional<int> internetCodePage,
                   std::optional<int> messageCodePage);

}  // namespace ostrel
