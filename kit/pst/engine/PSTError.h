#pragma once

#include <QString>

namespace ostrel {

class PSTError {
public:
    enum class Kind {
        parsingFailed,
        fileNotFound,
        invalidFormat,
        accessDenied,
        libpffNotInitialized,
        unsupportedEncryption,
    };

    static PSTError parsingFailed(QString message) { return {Kind::parsingFailed, std::move(message)}; }
    static PSTError fileNotFound() { return {Kind::fileNotFound, {}}; }
    static PSTError invalidFormat() { return {Kind::invalidFormat, {}}; }
    static PSTError accessDenied() { return {Kind::accessDenied, {}}; }
    static PSTError libpffNotInitialized() { return {Kind::libpffNotInitialized, {}}; }
    static PSTError unsupportedEncryption() { return {Kind::unsupportedEncryption, {}}; }

    Kind kind() const { return m_kind; }
    // The library-level message of parsingFailed; empty for the other kinds.
    const QString &message() const { return m_message; }

    // The text the user sees, translated where a translation exists.
    QString errorDescription() const;

    friend bool operator==(const PSTError &, const PSTError &) = default;

private:
    PSTError(Kind kind, QString message) : m_kind(kind), m_message(std::move(message)) {}

    Kind m_kind;
    QString m_message;
};

}  // namespace ostrel
