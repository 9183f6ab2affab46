#include "bodies/RtfBody.h"

#include "bodies/CodePageDecoder.h"
#include "bodies/CodePages.h"

#include <QHash>

#include <algorithm>
#include <limits>
#include <string_view>
#include <vector>

// A small RTF reader written for mail bodies: it recovers HTML and plain text
// that Outlook encapsulated in RTF, and reads other RTF as paragraphs of text
// with bold and italic. Everything else RTF can say is skipped.

namespace ostrel {

namespace {

constexpr int kDefaultCodePage = 1252;
constexpr int kMaxFonts = 1024;
constexpr int kMaxUnicodeSkip = 16;
constexpr int kHeaderTokens = 10;
constexpr qsizetype kOutputPerInputByte = 16;
// The longest HTML one character escapes to, and the longest run of tags
// one step of the reader writes.
constexpr qsizetype kMaxEscaped = 6;
constexpr qsizetype kMaxTagRun = 64;
constexpr char16_t kNoBreakSpace = 0x00A0;
constexpr char16_t kNonBreakingHyphen = 0x2011;

constexpr QLatin1String kParagraphStart("<p style=\"margin: 0\">");
constexpr QLatin1String kEmptyParagraph("<p style=\"margin: 0\"><br></p>");

struct Token {
    enum class Kind { end, groupStart, groupEnd, word, symbol, byte };
    static Token of(Kind kind)
    {
        Token token;
        token.kind = kind;
        return token;
    }
    Kind kind = Kind::end;
    std::string_view name;  // word
    bool hasParameter = false;
    int parameter = 0;
    char symbol = 0;  // symbol
    quint8 byte = 0;  // byte: text, \'hh, or the escaped \\ \{ \}
};

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Splits RTF into group marks, control words and symbols, and text bytes.
// Line breaks in the source are not text; \binN data is passed over here.
class Tokenizer {
public:
    Tokenizer(const char *begin, const char *end) : m_p(begin), m_end(end) {}

    Token next()
    {
        while (m_p < m_end) {
            const char c = *m_p++;
            switch (c) {
            case '{':
                return Token::of(Token::Kind::groupStart);
            case '}':
                return Token::of(Token::Kind::groupEnd);
            case '\r':
            case '\n':
                continue;
            case '\\':
                return control();
            default:
                return byte(quint8(c));
            }
        }
        return {};
    }

private:
    static Token byte(quint8 value)
    {
        Token token = Token::of(Token::Kind::byte);
        token.byte = value;
        return token;
    }

    Token control()
    {
        if (m_p >= m_end)
            return {};
        const char c = *m_p;
        if (!isLetter(c)) {
            ++m_p;
            switch (c) {
            case '\'': {
                if (m_end - m_p < 2) {
                    m_p = m_end;  // input ends inside the hex byte
                    return {};
                }
                const int high = hexValue(m_p[0]);
                const int low = hexValue(m_p[1]);
                if (high >= 0 && low >= 0) {
                    m_p += 2;
                    return byte(quint8(high * 16 + low));
                }
                break;  // not hex: the characters stay text
            }
            case '\\':
            case '{':
            case '}':
                return byte(quint8(c));
            case '\r':
            case '\n': {
                Token token = Token::of(Token::Kind::word);
                token.name = "par";
                return token;
            }
            default:
                break;
            }
            Token token = Token::of(Token::Kind::symbol);
            token.symbol = c;
            return token;
        }

        Token token = Token::of(Token::Kind::word);
        const char *start = m_p;
        while (m_p < m_end && isLetter(*m_p))
            ++m_p;
        token.name = std::string_view(start, std::size_t(m_p - start));
        const bool negative = m_p + 1 < m_end && *m_p == '-' && isDigit(m_p[1]);
        if (negative)
            ++m_p;
        if (m_p < m_end && isDigit(*m_p)) {
            // Every digit is consumed; the value stops growing past the int range.
            qint64 value = 0;
            while (m_p < m_end && isDigit(*m_p)) {
                if (value <= std::numeric_limits<int>::max())
                    value = value * 10 + (*m_p - '0');
                ++m_p;
            }
            value = std::min<qint64>(value, std::numeric_limits<int>::max());
            token.hasParameter = true;
            token.parameter = int(negative ? -value : value);
        }
        if (m_p < m_end && *m_p == ' ')
            ++m_p;
        if (token.name == "bin" && token.hasParameter && token.parameter > 0)
            m_p += std::min<qint64>(token.parameter, m_end - m_p);
        return token;
    }

    const char *m_p;
    const char *m_end;
};

// Text for HTML element content and attribute values alike.
void appendEscaped(QString &out, QStringView text)
{
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&': out += QLatin1String("&amp;"); break;
        case u'<': out += QLatin1String("&lt;"); break;
        case u'>': out += QLatin1String("&gt;"); break;
        case u'"': out += QLatin1String("&quot;"); break;
        case u'\'': out += QLatin1String("&#39;"); break;
        default: out += c; break;
        }
    }
}

// Where "{\rtf" begins after leading blanks and NULs, or -1.
qsizetype documentStart(const QByteArray &rtf)
{
    qsizetype start = 0;
    while (start < rtf.size() && (rtf.at(start) == '\0' || QChar::isSpace(uchar(rtf.at(start)))))
        ++start;
    return QByteArrayView(rtf).sliced(start).startsWith("{\\rtf") ? start : -1;
}

// The Windows code page of a font's \fcharsetN; 0 when the document's own
// code page applies.
int charsetCodePage(int charset)
{
    switch (charset) {
    case 0: return 1252;
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: case 179: case 180: case 181: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 254: return 437;
    case 255: return 850;
    default: return 0;
    }
}

enum class Action {
    skipDestination, fontTable, fontCharset, fontCodePage, ansi, mac, pc, pca, ansiCodePage, defaultFont, font, unicodeSkip, unicode,
    bold, italic, hidden, plain, htmlRtf, paragraph, section, line, tab, cell, character
};

struct Word {
    std::string_view name;
    Action action;
    char16_t character = 0;
};

// Control words the reader acts on. Destinations listed here hold no text a
// reader of the mail should see.
constexpr Word kWords[] = {
    {"annotation", Action::skipDestination}, {"atnauthor", Action::skipDestination},
    {"atnid", Action::skipDestination},      {"author", Action::skipDestination},
    {"bkmkend", Action::skipDestination},    {"bkmkstart", Action::skipDestination},
    {"colortbl", Action::skipDestination},   {"comment", Action::skipDestination},
    {"company", Action::skipDestination},    {"datastore", Action::skipDestination},
    {"docvar", Action::skipDestination},     {"do", Action::skipDestination},
    {"doccomm", Action::skipDestination},    {"falt", Action::skipDestination},
    {"filetbl", Action::skipDestination},    {"fldinst", Action::skipDestination},
    {"footer", Action::skipDestination},     {"footerf", Action::skipDestination},
    {"footerl", Action::skipDestination},    {"footerr", Action::skipDestination},
    {"footnote", Action::skipDestination},   {"ftncn", Action::skipDestination},
    {"ftnsep", Action::skipDestination},     {"ftnsepc", Action::skipDestination},
    {"generator", Action::skipDestination},  {"header", Action::skipDestination},
    {"headerf", Action::skipDestination},    {"headerl", Action::skipDestination},
    {"headerr", Action::skipDestination},    {"info", Action::skipDestination},
    {"keywords", Action::skipDestination},   {"latentstyles", Action::skipDestination},
    {"listoverridetable", Action::skipDestination}, {"listtable", Action::skipDestination},
    {"mhtmltag", Action::skipDestination},   {"nonesttables", Action::skipDestination},
    {"nonshppict", Action::skipDestination},
    {"object", Action::skipDestination},     {"objdata", Action::skipDestination},
    {"operator", Action::skipDestination},   {"pgdsctbl", Action::skipDestination},
    {"pict", Action::skipDestination},       {"pn", Action::skipDestination},
    {"pntxta", Action::skipDestination},     {"pntxtb", Action::skipDestination},
    {"private", Action::skipDestination},    {"revtbl", Action::skipDestination},
    {"rsidtbl", Action::skipDestination},    {"shp", Action::skipDestination},
    {"shpinst", Action::skipDestination},    {"shppict", Action::skipDestination},
    {"stylesheet", Action::skipDestination}, {"subject", Action::skipDestination},
    {"tc", Action::skipDestination},         {"template", Action::skipDestination},
    {"themedata", Action::skipDestination},  {"title", Action::skipDestination},
    {"txe", Action::skipDestination},        {"userprops", Action::skipDestination},
    {"xe", Action::skipDestination},         {"xmlnstbl", Action::skipDestination},
    {"fonttbl", Action::fontTable},          {"fcharset", Action::fontCharset},
    {"cpg", Action::fontCodePage},
    {"ansi", Action::ansi},                  {"mac", Action::mac},
    {"pc", Action::pc},                      {"pca", Action::pca},
    {"ansicpg", Action::ansiCodePage},       {"deff", Action::defaultFont},
    {"f", Action::font},                     {"uc", Action::unicodeSkip},
    {"u", Action::unicode},                  {"b", Action::bold},
    {"i", Action::italic},                   {"v", Action::hidden},
    {"plain", Action::plain},                {"htmlrtf", Action::htmlRtf},
    {"par", Action::paragraph},              {"sect", Action::section},
    {"page", Action::section},               {"row", Action::section},
    {"nestrow", Action::section},            {"line", Action::line},
    {"tab", Action::tab},                    {"cell", Action::cell},
    {"nestcell", Action::cell},
    {"lquote", Action::character, 0x2018},   {"rquote", Action::character, 0x2019},
    {"ldblquote", Action::character, 0x201C}, {"rdblquote", Action::character, 0x201D},
    {"bullet", Action::character, 0x2022},   {"endash", Action::character, 0x2013},
    {"emdash", Action::character, 0x2014},   {"enspace", Action::character, 0x2002},
    {"emspace", Action::character, 0x2003},  {"qmspace", Action::character, 0x2005},
    {"zwj", Action::character, 0x200D},      {"zwnj", Action::character, 0x200C},
    {"ltrmark", Action::character, 0x200E},  {"rtlmark", Action::character, 0x200F},
};

const Word *findWord(std::string_view name)
{
    static const std::vector<Word> sorted = [] {
        std::vector<Word> words(std::begin(kWords), std::end(kWords));
        std::sort(words.begin(), words.end(), [](const Word &a, const Word &b) { return a.name < b.name; });
        return words;
    }();
    const auto found = std::lower_bound(sorted.begin(), sorted.end(), name,
                                        [](const Word &word, std::string_view key) { return word.name < key; });
    return found != sorted.end() && found->name == name ? &*found : nullptr;
}

enum class Destination : quint8 { text, skip, htmlTag, fontTable };

// What a group carries into its inner groups and gets back when they close.
struct GroupState {
    int font = -1;  // -1: the document's default font
    int fontDefinition = -1;
    int unicodeSkip = 1;
    Destination destination = Destination::text;
    bool bold = false;
    bool italic = false;
    bool hidden = false;
    bool htmlRtf = false;
};

struct Font {
    int charset = -1;
    int codePage = 0;
};

class Reader {
public:
    Reader(const QByteArray &rtf, const RtfLimits &limits, RtfEncapsulation kind)
        : m_rtf(rtf), m_limits(limits), m_kind(kind),
          m_outputCap(std::min<qsizetype>(std::max<qsizetype>(limits.maxOutput, 0),
                                          kOutputPerInputByte * rtf.size() + 4096))
    {
    }

    RtfBody read();

private:
    void readTokens(Tokenizer &tokens);
    void skipGroup(Tokenizer &tokens, qsizetype &count);
    void word(const Token &token, bool starred);
    void fontTableWord(const Word &known, const Token &token);
    void symbol(char symbol);
    void byte(quint8 value);
    void character(char16_t value);
    void paragraph();
    void line();
    void tab();
    void flush();
    void appendText(const QString &text);
    void openParagraph();
    void closeParagraph();
    void matchFormatting();
    bool reserve(qsizetype units);
    void finish(RtfBody &body);

    bool isHtml() const { return m_kind == RtfEncapsulation::html; }
    GroupState &group() { return m_groups.back(); }
    bool emitting() const;
    int codePage() const;
    qsizetype outputSize() const { return std::max(m_html.size(), m_text.size()); }

    const QByteArray &m_rtf;
    const RtfLimits m_limits;
    const RtfEncapsulation m_kind;
    const qsizetype m_outputCap;

    std::vector<GroupState> m_groups;
    QHash<int, Font> m_fonts;
    int m_ansiCodePage = kDefaultCodePage;
    int m_defaultFont = -1;
    int m_fallbackSkip = 0;
    bool m_atGroupStart = false;
    bool m_starred = false;
    bool m_stopped = false;
    bool m_truncated = false;

    QByteArray m_pending;  // text bytes not yet decoded, all in m_pendingCodePage
    int m_pendingCodePage = 0;
    CodePageDecoder m_decoder;

    QString m_html;
    QString m_text;
    bool m_paragraphOpen = false;
    bool m_htmlBold = false;
    bool m_htmlItalic = false;
};

RtfBody Reader::read()
{
    RtfBody body;
    body.encapsulation = m_kind;
    const qsizetype start = documentStart(m_rtf);
    if (start < 0) {
        body.truncated = true;
        return body;
    }
    Tokenizer tokens(m_rtf.constData() + start, m_rtf.constData() + m_rtf.size());
    readTokens(tokens);
    finish(body);
    return body;
}

void Reader::readTokens(Tokenizer &tokens)
{
    qsizetype count = 0;
    const int maxDepth = std::max(m_limits.maxDepth, 1);
    while (!m_stopped) {
        const Token token = tokens.next();
        if (token.kind == Token::Kind::end) {
            m_truncated = true;  // the document's group never closed
            return;
        }
        if (++count > m_limits.maxTokens) {
            m_truncated = m_stopped = true;
            return;
        }
        if (token.kind != Token::Kind::byte)
            flush();

        // The fallback text after \uN is passed over; a group mark ends it.
        if (m_fallbackSkip > 0) {
            if (token.kind == Token::Kind::groupStart || token.kind == Token::Kind::groupEnd) {
                m_fallbackSkip = 0;
            } else {
                --m_fallbackSkip;
                continue;
            }
        }

        const bool atGroupStart = m_atGroupStart;
        const bool starred = atGroupStart && m_starred;
        m_atGroupStart = m_starred = false;

        switch (token.kind) {
        case Token::Kind::groupStart:
            if (int(m_groups.size()) >= maxDepth) {
                m_truncated = true;
                skipGroup(tokens, count);
                break;
            }
            m_groups.push_back(m_groups.empty() ? GroupState{} : m_groups.back());
            m_atGroupStart = true;
            break;
        case Token::Kind::groupEnd:
            m_groups.pop_back();
            if (m_groups.empty())
                return;
            break;
        case Token::Kind::word:
            word(token, starred);
            break;
        case Token::Kind::symbol:
            if (token.symbol == '*' && atGroupStart) {
                m_atGroupStart = m_starred = true;
                break;
            }
            if (starred)
                group().destination = Destination::skip;
            symbol(token.symbol);
            break;
        case Token::Kind::byte:
            if (starred)
                group().destination = Destination::skip;
            byte(token.byte);
            break;
        case Token::Kind::end:
            break;
        }
    }
}

// Passes over a group nested too deep, up to its closing brace.
void Reader::skipGroup(Tokenizer &tokens, qsizetype &count)
{
    qsizetype depth = 1;
    while (depth > 0) {
        const Token token = tokens.next();
        if (token.kind == Token::Kind::end || ++count > m_limits.maxTokens) {
            m_stopped = true;
            return;
        }
        if (token.kind == Token::Kind::groupStart)
            ++depth;
        else if (token.kind == Token::Kind::groupEnd)
            --depth;
    }
}

bool Reader::emitting() const
{
    const GroupState &state = m_groups.back();
    if (m_kind == RtfEncapsulation::html)
        return (state.destination == Destination::text || state.destination == Destination::htmlTag)
               && !state.htmlRtf;
    return state.destination == Destination::text && !state.hidden;
}

int Reader::codePage() const
{
    const int number = m_groups.back().font >= 0 ? m_groups.back().font : m_defaultFont;
    const auto found = m_fonts.constFind(number);
    if (found != m_fonts.constEnd()) {
        if (found->codePage > 0 && !codePageConverterName(found->codePage).isEmpty())
            return found->codePage;
        const int fromCharset = charsetCodePage(found->charset);
        if (fromCharset > 0)
            return fromCharset;
    }
    return m_ansiCodePage;
}

void Reader::word(const Token &token, bool starred)
{
    GroupState &state = group();
    if (starred) {
        // {\*\name ...}: a destination this reader does not know is skipped whole.
        const bool htmlTag = isHtml() && token.name == "htmltag";
        if (htmlTag && (state.destination == Destination::text || state.destination == Destination::htmlTag))
            state.destination = Destination::htmlTag;
        else
            state.destination = Destination::skip;
        return;
    }
    if (state.destination == Destination::skip)
        return;
    const Word *known = findWord(token.name);
    if (!known)
        return;

    if (state.destination == Destination::fontTable) {
        fontTableWord(*known, token);
        return;
    }

    const int parameter = token.parameter;
    const bool on = !token.hasParameter || parameter != 0;
    switch (known->action) {
    case Action::skipDestination:
        state.destination = Destination::skip;
        break;
    case Action::fontTable:
        state.destination = Destination::fontTable;
        break;
    case Action::fontCharset:
    case Action::fontCodePage:
        break;  // only meaningful in the font table
    case Action::ansi:
        m_ansiCodePage = kDefaultCodePage;
        break;
    case Action::mac:
        m_ansiCodePage = 10000;
        break;
    case Action::pc:
        m_ansiCodePage = 437;
        break;
    case Action::pca:
        m_ansiCodePage = 850;
        break;
    case Action::ansiCodePage:
        if (token.hasParameter && !codePageConverterName(parameter).isEmpty())
            m_ansiCodePage = parameter;
        break;
    case Action::defaultFont:
        if (token.hasParameter)
            m_defaultFont = parameter;
        break;
    case Action::font:
        if (token.hasParameter)
            state.font = parameter;
        break;
    case Action::unicodeSkip:
        if (token.hasParameter)
            state.unicodeSkip = std::clamp(parameter, 0, kMaxUnicodeSkip);
        break;
    case Action::unicode:
        // A UTF-16 unit, written signed above 32767; others are not characters.
        if (token.hasParameter) {
            if (parameter >= -32768 && parameter <= 65535)
                character(char16_t(parameter < 0 ? parameter + 65536 : parameter));
            m_fallbackSkip = state.unicodeSkip;
        }
        break;
    case Action::bold:
        state.bold = on;
        break;
    case Action::italic:
        state.italic = on;
        break;
    case Action::hidden:
        state.hidden = on;
        break;
    case Action::plain:
        state.bold = state.italic = state.hidden = false;
        break;
    case Action::htmlRtf:
        if (isHtml())
            state.htmlRtf = on;
        break;
    case Action::paragraph:
        paragraph();
        break;
    case Action::section:
        if (!isHtml())
            paragraph();
        break;
    case Action::line:
        line();
        break;
    case Action::tab:
        tab();
        break;
    case Action::cell:
        if (!isHtml())
            tab();
        break;
    case Action::character:
        character(known->character);
        break;
    }
}

// In the font table: the font being defined, its character set, its code page.
void Reader::fontTableWord(const Word &known, const Token &token)
{
    GroupState &state = group();
    if (known.action == Action::skipDestination) {
        state.destination = Destination::skip;
        return;
    }
    if (!token.hasParameter)
        return;
    if (known.action == Action::font) {
        state.fontDefinition = token.parameter;
        return;
    }
    if (known.action != Action::fontCharset && known.action != Action::fontCodePage)
        return;
    if (state.fontDefinition < 0 || (!m_fonts.contains(state.fontDefinition) && m_fonts.size() >= kMaxFonts))
        return;
    Font &font = m_fonts[state.fontDefinition];
    if (known.action == Action::fontCharset)
        font.charset = token.parameter;
    else
        font.codePage = token.parameter;
}

void Reader::symbol(char symbol)
{
    switch (symbol) {
    case '~':
        character(kNoBreakSpace);
        break;
    case '_':
        character(kNonBreakingHyphen);
        break;
    default:
        break;  // \- optional hyphen, \: index, \| formula: nothing to show
    }
}

void Reader::byte(quint8 value)
{
    if (!emitting())
        return;
    if (value == '\t') {
        flush();
        tab();
        return;
    }
    if (value < 0x20)
        return;
    const int page = codePage();
    if (!m_pending.isEmpty() && page != m_pendingCodePage)
        flush();
    m_pendingCodePage = page;
    m_pending.append(char(value));
    if (m_pending.size() + outputSize() > m_outputCap) {
        flush();
        m_truncated = m_stopped = true;
    }
}

void Reader::character(char16_t value)
{
    if (!emitting())
        return;
    if (value == u'\t') {
        tab();
        return;
    }
    if (value < 0x20)
        return;
    appendText(QString(QChar(value)));
}

void Reader::flush()
{
    if (m_pending.isEmpty())
        return;
    QString decoded;
    if (!m_decoder.append(decoded, m_pending.constData(), m_pending.size(),
                          codePageConverterName(m_pendingCodePage)))
        m_decoder.append(decoded, m_pending.constData(), m_pending.size(), QByteArrayLiteral("windows-1252"));
    m_pending.resize(0);
    appendText(decoded);
}

void Reader::appendText(const QString &text)
{
    if (text.isEmpty())
        return;
    if (isHtml()) {
        const qsizetype room = m_outputCap - m_html.size();
        if (text.size() <= room) {
            m_html += text;
        } else {
            m_html += QStringView(text).left(std::max<qsizetype>(room, 0));
            m_truncated = m_stopped = true;
        }
        return;
    }
    if (!reserve(kMaxTagRun))
        return;
    openParagraph();
    matchFormatting();
    if (reserve(kMaxEscaped * text.size())) {
        m_text += text;
        appendEscaped(m_html, text);
        return;
    }
    // Only part fits: as many whole characters as the bound leaves room for.
    for (const QChar c : text) {
        const qsizetype before = m_html.size();
        appendEscaped(m_html, QStringView(&c, 1));
        if (m_html.size() > m_outputCap) {
            m_html.truncate(before);
            break;
        }
        m_text += c;
    }
}

void Reader::paragraph()
{
    if (!emitting() || !reserve(kMaxTagRun))
        return;
    if (isHtml()) {
        m_html += QLatin1String("\r\n");
    } else {
        m_text += u'\n';
        if (m_paragraphOpen)
            closeParagraph();
        else
            m_html += kEmptyParagraph;
    }
}

void Reader::line()
{
    if (!emitting() || !reserve(kMaxTagRun))
        return;
    if (isHtml()) {
        m_html += QLatin1String("\r\n");
    } else {
        m_text += u'\n';
        openParagraph();
        m_html += QLatin1String("<br>");
    }
}

void Reader::tab()
{
    if (!emitting() || !reserve(kMaxTagRun))
        return;
    if (!isHtml()) {
        m_text += u'\t';
        openParagraph();
    }
    m_html += u'\t';
}

void Reader::openParagraph()
{
    if (m_paragraphOpen)
        return;
    m_html += kParagraphStart;
    m_paragraphOpen = true;
}

void Reader::closeParagraph()
{
    if (!m_paragraphOpen)
        return;
    if (m_htmlItalic)
        m_html += QStringLiteral("</i>");
    if (m_htmlBold)
        m_html += QStringLiteral("</b>");
    m_htmlBold = m_htmlItalic = false;
    m_html += QStringLiteral("</p>");
    m_paragraphOpen = false;
}

// <b> and <i> around the text as the group says, always nested <b><i>.
void Reader::matchFormatting()
{
    const GroupState &state = m_groups.back();
    if (state.bold == m_htmlBold && state.italic == m_htmlItalic)
        return;
    if (m_htmlItalic)
        m_html += QStringLiteral("</i>");
    if (m_htmlBold && !state.bold)
        m_html += QStringLiteral("</b>");
    if (state.bold && !m_htmlBold)
        m_html += QStringLiteral("<b>");
    if (state.italic)
        m_html += QStringLiteral("<i>");
    m_htmlBold = state.bold;
    m_htmlItalic = state.italic;
}

// Whether the outputs can grow by this many units; if not, reading stops.
bool Reader::reserve(qsizetype units)
{
    if (outputSize() + units <= m_outputCap)
        return true;
    m_truncated = m_stopped = true;
    return false;
}

void Reader::finish(RtfBody &body)
{
    if (!m_groups.empty())
        flush();
    body.truncated = m_truncated;
    if (isHtml()) {
        body.html = std::move(m_html);
        return;
    }
    closeParagraph();
    while (m_html.endsWith(kEmptyParagraph))
        m_html.chop(kEmptyParagraph.size());
    while (m_text.endsWith(u'\n'))
        m_text.chop(1);
    if (!m_html.isEmpty())
        body.html = QStringLiteral("<div style=\"white-space: pre-wrap\">") + m_html + QStringLiteral("</div>");
    body.text = std::move(m_text);
}

}  // namespace

RtfEncapsulation rtfEncapsulation(const QByteArray &rtf)
{
    const qsizetype start = documentStart(rtf);
    if (start < 0)
        return RtfEncapsulation::none;
    Tokenizer tokens(rtf.constData() + start, rtf.constData() + rtf.size());
    // Only group marks and control words count; a header has no text, and
    // the guard ends a long run of it.
    int counted = 0;
    for (int guard = 0; counted < kHeaderTokens && guard < 4096; ++guard) {
        const Token token = tokens.next();
        if (token.kind == Token::Kind::end)
            break;
        if (token.kind == Token::Kind::groupStart) {
            ++counted;
        } else if (token.kind == Token::Kind::word || token.kind == Token::Kind::symbol) {
            ++counted;
            if (token.name == "fromhtml" && token.hasParameter && token.parameter == 1)
                return RtfEncapsulation::html;
            if (token.name == "fromtext")
                return RtfEncapsulation::text;
        }
    }
    return RtfEncapsulation::none;
}

RtfBody readRtf(const QByteArray &rtf, const RtfLimits &limits)
{
    const RtfEncapsulation kind = rtfEncapsulation(rtf);
    RtfBody body = Reader(rtf, limits, kind).read();
    // A document that declares HTML but holds none is read as rich text.
    if (kind == RtfEncapsulation::html && body.html.isEmpty() && !body.truncated)
        body = Reader(rtf, limits, RtfEncapsulation::none).read();
    return body;
}

}  // namespace ostrel
