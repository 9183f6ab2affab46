#include "bodies/CodePages.h"

#include "bodies/CodePageDecoder.h"

#include <QList>

#include <algorithm>
#include <utility>

namespace ostrel {

namespace {

struct CodePageName {
    int codePage;
    const char *converter;
};

// Windows code page numbers and the ICU converters that read them. Latin-1
// and US-ASCII read as windows-1252, as browsers do: mail labelled so often
// carries windows-1252 quotes and dashes, and the two agree on every other
// byte. Only converters that keep ASCII as ASCII are listed.
constexpr CodePageName kCodePages[] = {
    {437, "ibm-437"},        {708, "ASMO-708"},      {720, "ibm-720"},
    {737, "ibm-737"},        {775, "ibm-775"},       {850, "ibm-850"},
    {852, "ibm-852"},        {855, "ibm-855"},       {857, "ibm-857"},
    {858, "ibm-858"},        {860, "ibm-860"},       {861, "ibm-861"},
    {862, "ibm-862"},        {863, "ibm-863"},       {864, "ibm-864"},
    {865, "ibm-865"},        {866, "ibm-866"},       {869, "ibm-869"},
    {874, "windows-874"},    {932, "windows-932"},   {936, "windows-936"},
    {949, "windows-949"},    {950, "windows-950"},   {1250, "windows-1250"},
    {1251, "windows-1251"},  {1252, "windows-1252"}, {1253, "windows-1253"},
    {1254, "windows-1254"},  {1255, "windows-1255"}, {1256, "windows-1256"},
    {1257, "windows-1257"},  {1258, "windows-1258"}, {10000, "macintosh"},
    {10006, "x-mac-greek"},
    {10007, "x-mac-cyrillic"}, {10029, "x-mac-centraleurroman"}, {10081, "x-mac-turkish"},
    {20127, "windows-1252"}, {20866, "KOI8-R"},      {20932, "EUC-JP"},
    {20936, "GB2312"},       {21866, "KOI8-U"},      {28591, "windows-1252"},
    {28592, "iso-8859-2"},   {28593, "iso-8859-3"},  {28594, "iso-8859-4"},
    {28595, "iso-8859-5"},   {28596, "iso-8859-6"},  {28597, "iso-8859-7"},
    {28598, "iso-8859-8"},   {28599, "iso-8859-9"},  {28603, "iso-8859-13"},
    {28605, "iso-8859-15"},  {38598, "iso-8859-8-i"}, {50220, "ISO-2022-JP"},
    {50221, "ISO-2022-JP"},  {50222, "ISO-2022-JP"}, {50225, "ISO-2022-KR"},
    {50227, "ISO-2022-CN"},  {51932, "EUC-JP"},      {51936, "GB2312"},
    {51949, "EUC-KR"},       {52936, "HZ-GB-2312"},  {54936, "GB18030"},
    {65001, "UTF-8"},
};

// Charset labels that browsers read as a wider code page than ICU does.
struct LabelName {
    const char *label;
    const char *converter;
};
constexpr LabelName kLabelOverrides[] = {
    {"iso-8859-1", "windows-1252"},  {"iso8859-1", "windows-1252"},     {"iso_8859-1", "windows-1252"},
    {"latin1", "windows-1252"},      {"l1", "windows-1252"},            {"us-ascii", "windows-1252"},
    {"ascii", "windows-1252"},       {"ansi_x3.4-1968", "windows-1252"}, {"cp819", "windows-1252"},
    {"ibm819", "windows-1252"},      {"iso-ir-100", "windows-1252"},    {"csisolatin1", "windows-1252"},
    {"x-cp1252", "windows-1252"},    {"iso-8859-9", "windows-1254"},    {"iso8859-9", "windows-1254"},
    {"latin5", "windows-1254"},      {"iso-8859-11", "windows-874"},    {"tis-620", "windows-874"},
    {"gb2312", "windows-936"},       {"gb_2312", "windows-936"},        {"gb_2312-80", "windows-936"},
    {"csgb2312", "windows-936"},     {"x-gbk", "windows-936"},          {"euc-cn", "windows-936"},
    {"chinese", "windows-936"},      {"euc-kr", "windows-949"},         {"ks_c_5601-1987", "windows-949"},
    {"ks_c_5601", "windows-949"},    {"ksc5601", "windows-949"},        {"csksc56011987", "windows-949"},
    {"korean", "windows-949"},       {"shift_jis", "windows-932"},      {"shift-jis", "windows-932"},
    {"sjis", "windows-932"},         {"x-sjis", "windows-932"},         {"ms_kanji", "windows-932"},
    {"csshiftjis", "windows-932"},   {"ms932", "windows-932"},          {"windows-31j", "windows-932"},
    {"utf8", "UTF-8"},               {"unicode-1-1-utf-8", "UTF-8"},
};

// Far enough into an HTML document to pass the namespaces and comments some
// mailers put before the head's meta elements.
constexpr qsizetype kMetaScanLimit = 16 * 1024;

bool isUtf8Converter(const QByteArray &name)
{
    return name.compare("UTF-8", Qt::CaseInsensitive) == 0;
}

// Code pages whose text is 7-bit: valid UTF-8 as bytes, yet not UTF-8 text.
bool isSevenBitConverter(const QByteArray &name)
{
    return name.startsWith("ISO-2022") || name == "HZ-GB-2312";
}

bool isValidUtf8(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const auto *const end = p + bytes.size();
    while (p < end) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        int length = 0;
        unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0)
                low = 0xA0;  // no overlong forms
            else if (lead == 0xED)
                high = 0x9F;  // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;  // nothing past U+10FFFF
        } else {
            return false;
        }
        if (end - p < length)
            return false;
        if (p[1] < low || p[1] > high)
            return false;
        for (int i = 2; i < length; ++i) {
            if (p[i] < 0x80 || p[i] > 0xBF)
                return false;
        }
        p += length;
    }
    return true;
}

bool hasSevenBitEscapes(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (quint8(c) >= 0x80)
            return false;
    }
    return bytes.contains('\x1b') || bytes.contains("~{");
}

QByteArray converterForLabel(QByteArray label)
{
    label = label.trimmed().toLower();
    if (label.isEmpty() || label.size() > 64)
        return {};
    for (const LabelName &entry : kLabelOverrides) {
        if (label == entry.label)
            return entry.converter;
    }
    return label;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// The charset named in "text/html; charset=windows-1252".
QByteArray charsetFromContent(const QByteArray &content)
{
    qsizetype at = 0;
    while ((at = content.indexOf("charset", at)) >= 0) {
        qsizetype p = at + 7;
        while (p < content.size() && isSpace(content.at(p)))
            ++p;
        if (p >= content.size() || content.at(p) != '=') {
            at = p;
            continue;
        }
        ++p;
        while (p < content.size() && isSpace(content.at(p)))
            ++p;
        if (p < content.size() && (content.at(p) == '"' || content.at(p) == '\'')) {
            const char quote = content.at(p++);
            const qsizetype close = content.indexOf(quote, p);
            return close < 0 ? QByteArray() : content.mid(p, close - p);
        }
        qsizetype stop = p;
        while (stop < content.size() && !isSpace(content.at(stop)) && content.at(stop) != ';')
            ++stop;
        return content.mid(p, stop - p);
    }
    return {};
}

// The charset an HTML document states in a meta element of its beginning:
// <meta charset=...> or <meta http-equiv="Content-Type" content="...; charset=...">.
// Read in place, case-insensitively: only the names and values it keeps are
// lower-cased, not the whole beginning of every body.
QByteArray declaredCharset(const QByteArray &html)
{
    const QByteArrayView head = QByteArrayView(html).first(std::min<qsizetype>(html.size(), kMetaScanLimit));
    const qsizetype size = head.size();
    const auto startsAt = [&head](qsizetype at, QByteArrayView text) {
        return head.size() - at >= text.size() && qstrnicmp(head.data() + at, text.data(), size_t(text.size())) == 0;
    };
    const auto is = [](QByteArrayView name, QByteArrayView lower) {
        return name.size() == lower.size() && qstrnicmp(name.data(), lower.data(), size_t(lower.size())) == 0;
    };
    qsizetype p = 0;
    while ((p = head.indexOf('<', p)) >= 0) {
        if (startsAt(p, "<!--")) {
            const qsizetype close = head.indexOf("-->", p + 4);
            if (close < 0)
                return {};
            p = close + 3;
            continue;
        }
        if (startsAt(p, "<body"))
            return {};
        const bool isMeta = startsAt(p, "<meta") && p + 5 < size && (isSpace(head.at(p + 5)) || head.at(p + 5) == '/');
        if (!isMeta) {
            ++p;
            continue;
        }
        p += 5;
        QByteArray charset, httpEquiv, content;
        while (p < size && head.at(p) != '>') {
            if (isSpace(head.at(p)) || head.at(p) == '/') {
                ++p;
                continue;
            }
            const qsizetype nameStart = p;
            while (p < size && !isSpace(head.at(p)) && head.at(p) != '=' && head.at(p) != '>')
                ++p;
            const QByteArrayView name = head.sliced(nameStart, p - nameStart);
            while (p < size && isSpace(head.at(p)))
                ++p;
            QByteArrayView value;
            if (p < size && head.at(p) == '=') {
                ++p;
                while (p < size && isSpace(head.at(p)))
                    ++p;
                if (p < size && (head.at(p) == '"' || head.at(p) == '\'')) {
                    const char quote = head.at(p++);
                    const qsizetype close = head.indexOf(quote, p);
                    if (close < 0)
                        return {};
                    value = head.sliced(p, close - p);
                    p = close + 1;
                } else {
                    const qsizetype valueStart = p;
                    while (p < size && !isSpace(head.at(p)) && head.at(p) != '>')
                        ++p;
                    value = head.sliced(valueStart, p - valueStart);
                }
            }
            if (is(name, "charset"))
                charset = value.toByteArray().toLower();
            else if (is(name, "http-equiv"))
                httpEquiv = value.toByteArray().toLower().trimmed();
            else if (is(name, "content"))
                content = value.toByteArray().toLower();
        }
        if (!charset.trimmed().isEmpty())
            return charset;
        if (httpEquiv == "content-type") {
            const QByteArray fromContent = charsetFromContent(content);
            if (!fromContent.trimmed().isEmpty())
                return fromContent;
        }
    }
    return {};
}

// A byte order mark names the encoding before anything else. Trailing NULs
// are dropped after decoding, as characters: as bytes, the NUL high half of
// a UTF-16 character would go too. A lone NUL past the last whole unit is
// the terminator's remainder and goes as well.
std::optional<QString> decodeByteOrderMark(const QByteArray &bytes)
{
    static constexpr struct {
        const char *mark;
        qsizetype size;
        qsizetype unit;
        const char *converter;
    } kMarks[] = {{"\xEF\xBB\xBF", 3, 1, "UTF-8"}, {"\xFF\xFE", 2, 2, "UTF-16LE"}, {"\xFE\xFF", 2, 2, "UTF-16BE"}};
    for (const auto &mark : kMarks) {
        if (!bytes.startsWith(QByteArrayView(mark.mark, mark.size)))
            continue;
        qsizetype size = bytes.size() - mark.size;
        if (size % mark.unit != 0 && bytes.endsWith('\0'))
            --size;
        CodePageDecoder decoder;
        QString out;
        if (!decoder.append(out, bytes.constData() + mark.size, size, mark.converter))
            return std::nullopt;
        while (out.endsWith(QChar(u'\0')))
            out.chop(1);
        return out;
    }
    return std::nullopt;
}

QByteArray withoutTrailingNuls(const QByteArray &bytes)
{
    qsizetype size = bytes.size();
    while (size > 0 && bytes.at(size - 1) == '\0')
        --size;
    return bytes.left(size);
}

// The shared order: UTF-8 when valid, else the first candidate converter that
// opens, else windows-1252.
QString decodeWithCandidates(const QByteArray &input, const QList<QByteArray> &candidates, bool requireAscii)
{
    if (auto marked = decodeByteOrderMark(input))
        return *marked;
    const QByteArray bytes = withoutTrailingNuls(input);

    CodePageDecoder decoder;
    const bool validUtf8 = isValidUtf8(bytes);
    for (const QByteArray &name : candidates) {
        if (name.isEmpty() || (requireAscii && !decoder.isAsciiCompatible(name)))
            continue;
        if (isUtf8Converter(name) && !validUtf8)
            continue;  // the bytes contradict it
        if (validUtf8 && !(isSevenBitConverter(name) && hasSevenBitEscapes(bytes)))
            break;  // UTF-8 comes first
        QString out;
        if (decoder.append(out, bytes.constData(), bytes.size(), name))
            return out;
    }
    // Checked UTF-8 needs no converter: Qt's decoder gives the same text
    // without opening one for every body.
    if (validUtf8)
        return QString::fromUtf8(bytes);
    QString out;
    decoder.append(out, bytes.constData(), bytes.size(), QByteArrayLiteral("windows-1252"));
    return out;
}

}  // namespace

QByteArray codePageConverterName(int windowsCodePage)
{
    const auto *end = std::end(kCodePages);
    const auto *found = std::lower_bound(std::begin(kCodePages), end, windowsCodePage,
                                         [](const CodePageName &entry, int key) { return entry.codePage < key; });
    if (found == end || found->codePage != windowsCodePage)
        return {};
    return found->converter;
}

std::optional<QString> decodeCodePage(const QByteArray &bytes, int windowsCodePage)
{
    const QByteArray name = codePageConverterName(windowsCodePage);
    QString out;
    CodePageDecoder decoder;
    if (name.isEmpty() || !decoder.append(out, bytes.constData(), bytes.size(), name))
        return std::nullopt;
    return out;
}

QString decodeHtml(const QByteArray &bytes, std::optional<int> internetCodePage, std::optional<int> messageCodePage)
{
    QList<QByteArray> candidates;
    // A stated charset must keep ASCII as ASCII: the HTML's own markup is ASCII.
    candidates << converterForLabel(declaredCharset(bytes));
    if (internetCodePage)
        candidates << codePageConverterName(*internetCodePage);
    if (messageCodePage)
        candidates << codePageConverterName(*messageCodePage);
    return decodeWithCandidates(bytes, candidates, true);
}

QString decodeText(const QByteArray &bytes, std::optional<int> internetCodePage, std::optional<int> messageCodePage)
{
    QList<QByteArray> candidates;
    if (internetCodePage)
        candidates << codePageConverterName(*internetCodePage);
    if (messageCodePage)
        candidates << codePageConverterName(*messageCodePage);
    return decodeWithCandidates(bytes, candidates, false);
}

}  // namespace ostrel
