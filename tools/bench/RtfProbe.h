#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace ostrel::bench {

// The message with the largest compressed RTF body among the archives in
// corpusDir, found with the native engine, then opened whole through the
// actor as selecting its row does, runs times after one untimed read: the
// median against the open-a-message budget. Null with error when no archive
// there holds an RTF body.
std::optional<QJsonObject> probeLargestRtfMessage(const QString &corpusDir, int runs, QString *error);

}  // namespace ostrel::bench
