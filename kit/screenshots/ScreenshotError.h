#pragma once

#include <QString>

namespace ostrel {

// Why generating the pictures stopped. File-system errors keep their own
// domain, code and text; the generator's own two failures carry nothing more
// than their code.
struct ScreenshotError {
    enum GeneratorCode {
        renderingFailed = 1,  // off-screen rendering gave no image
        encodingFailed = 2,   // PNG encoding gave no data
    };

    QString domain;
    int code = 0;
    QString description;

    static QString generatorDomain() { return QStringLiteral("ScreenshotGenerator"); }
    static ScreenshotError generator(GeneratorCode code);

    friend bool operator==(const ScreenshotError &, const ScreenshotError &) = default;
};

}  // namespace ostrel
