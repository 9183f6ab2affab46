#pragma once

#include <QFuture>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTest>
#include <optional>

namespace ostrel::test {

// The shared corpus of real archives, when this checkout has it beside it.
std::optional<QString> corpusDir();
QString corpusFile(const QString &name);

// What a program run to its end gave.
struct ToolRun {
    int exitCode = -1;  // -1 when it crashed or did not end in time
    QByteArray out;
    QByteArray err;
};
ToolRun runTool(const QString &program, const QStringList &arguments, int timeoutMs = 120000);

// Waits on the future itself (no fixed sleeps), keeping the event loop alive
// so that continuations attached to the main thread run.
template <typename T>
bool waitFor(const QFuture<T> &future, int timeoutMs = 60000)
{
    return QTest::qWaitFor([&future] { return future.isFinished(); }, timeoutMs);
}

}  // namespace ostrel::test

// Skips the current test with a clear message when the corpus is absent.
#define OSTREL_REQUIRE_CORPUS()                                                                  \
    do {                                                                                         \
        if (!ostrel::test::corpusDir())                                                          \
            QSKIP("../shared/pst-corpus is not beside this checkout; corpus tests are skipped"); \
    } while (false)
