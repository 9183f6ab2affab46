#include "bodies/CodePageDecoder.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

namespace ostrel {

namespace {
// Converters opened at once; a document naming more code pages reopens them.
constexpr std::size_t kMaxOpenPages = 24;
constexpr char16_t kReplacement = 0xFFFD;

// Every sequence the code page does not define becomes U+FFFD. ICU's own
// substitution gives U+001A for some double-byte pages, which would vanish.
void replaceUndefined(const void *, UConverterToUnicodeArgs *args, const char *, int32_t,
                      UConverterCallbackReason reason, UErrorCode *error)
{
    if (reason > UCNV_IRREGULAR)
        return;
    *error = U_ZERO_ERROR;
    const UChar replacement = kReplacement;
    ucnv_cbToUWriteUChars(args, &replacement, 1, 0, error);
}

void convert(UConverter *converter, QString &out, const char *bytes, qsizetype size)
{
    ucnv_reset(converter);
    const char *source = bytes;
    const char *const sourceEnd = bytes + size;
    UChar buffer[4096];
    for (;;) {
        UChar *target = buffer;
        UErrorCode status = U_ZERO_ERROR;
        const char *before = source;
        ucnv_toUnicode(converter, &target, buffer + std::size(buffer), &source, sourceEnd, nullptr, true,
                       &status);
        out.append(QStringView(buffer, target - buffer));
        if (status != U_BUFFER_OVERFLOW_ERROR)
            return;
        if (target == buffer && source == before)
            return;  // no progress: never spin
    }
}
}  // namespace

void CodePageDecoder::ConverterCloser::operator()(UConverter *converter) const
{
    ucnv_close(converter);
}

CodePageDecoder::CodePageDecoder() = default;
CodePageDecoder::~CodePageDecoder() = default;

CodePageDecoder::Page *CodePageDecoder::page(const QByteArray &converterName)
{
    if (converterName.isEmpty())
        return nullptr;
    for (const auto &page : m_pages) {
        if (page->name == converterName)
            return page.get();
    }
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, ConverterCloser> converter(ucnv_open(converterName.constData(), &status));
    if (U_FAILURE(status) || !converter)
        return nullptr;
    ucnv_setToUCallBack(converter.get(), replaceUndefined, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status))
        return nullptr;

    auto page = std::make_unique<Page>();
    page->name = converterName;
    page->singleByte = ucnv_getMaxCharSize(converter.get()) == 1;
    for (int byte = 0; page->singleByte && byte < 256; ++byte) {
        const char in = char(byte);
        QString one;
        convert(converter.get(), one, &in, 1);
        if (one.size() != 1)
            page->singleByte = false;  // a byte that maps to more than one unit: convert whole runs
        else
            page->table[std::size_t(byte)] = one.at(0).unicode();
    }
    page->converter = std::move(converter);
    if (m_pages.size() >= kMaxOpenPages)
        m_pages.erase(m_pages.begin());
    m_pages.push_back(std::move(page));
    return m_pages.back().get();
}

bool CodePageDecoder::append(QString &out, const char *bytes, qsizetype size, const QByteArray &converterName)
{
    Page *found = page(converterName);
    if (!found)
        return false;
    if (size <= 0)
        return true;
    if (found->singleByte) {
        const qsizetype start = out.size();
        out.resize(start + size);
        QChar *target = out.data() + start;
        for (qsizetype i = 0; i < size; ++i)
            target[i] = QChar(found->table[quint8(bytes[i])]);
        return true;
    }
    convert(found->converter.get(), out, bytes, size);
    return true;
}

bool CodePageDecoder::isAsciiCompatible(const QByteArray &converterName)
{
    // Every printable ASCII character, and the sequences UTF-7 reads apart.
    static const QByteArray probe = [] {
        QByteArray bytes;
        for (char c = 0x20; c < 0x7F; ++c)
            bytes += c;
        return bytes + "+-+A+AD4-\t\n";
    }();
    QString decoded;
    if (!append(decoded, probe.constData(), probe.size(), converterName))
        return false;
    return decoded == QLatin1String(probe);
}

}  // namespace ostrel
