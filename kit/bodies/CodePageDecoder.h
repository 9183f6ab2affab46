#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <memory>
#include <vector>

struct UConverter;

namespace ostrel {

// Decodes bytes through ICU converters, keeping each converter it opened for
// its own lifetime: the RTF reader decodes many short runs. Single-byte code
// pages go through a 256-entry table. Sequences a converter does not define
// become U+FFFD. Not shared between threads.
class CodePageDecoder {
public:
    CodePageDecoder();
    ~CodePageDecoder();
    CodePageDecoder(const CodePageDecoder &) = delete;
    CodePageDecoder &operator=(const CodePageDecoder &) = delete;

    // Appends the bytes decoded with the named converter; false, and nothing
    // appended, when ICU has no such converter.
    bool append(QString &out, const char *bytes, qsizetype size, const QByteArray &converterName);

    // Whether the named converter reads the printable ASCII range as ASCII, as
    // a charset stated inside an HTML document has to.
    bool isAsciiCompatible(const QByteArray &converterName);

private:
    struct ConverterCloser {
        void operator()(UConverter *converter) const;
    };
    struct Page {
        QByteArray name;
        std::unique_ptr<UConverter, ConverterCloser> converter;
        bool singleByte = false;
        std::array<char16_t, 256> table{};
    };
    Page *page(const QByteArray &converterName);

    std::vector<std::unique_ptr<Page>> m_pages;
};

}  // namespace ostrel
