#pragma once

#include <QString>
#include <QStringList>

namespace ostrel::bench {

struct BenchOptions {
    bool quick = false;       // the small archive only
    bool profile = true;      // callgrind over the native first page of the biggest archive
    bool libpffOnHuge = false;  // libpff's floor, engine and converters on the 200,000-message archive
    QStringList engines{QStringLiteral("native"), QStringLiteral("libpff")};
    int runs = 5;
    QString cacheDir;         // generated archives, by key
    QString outPath;          // the JSON results
    QString writerPath;       // ostrel-mkpst
    QString selfPath;         // this program, for the measuring children
};

// Generates or reuses the archives, measures the viewer with each engine,
// libpff's floor and the converters people would use instead, prints the
// tables with the targets beside them and writes the JSON. Returns the
// process exit code.
int runBench(const BenchOptions &options);

}  // namespace ostrel::bench
