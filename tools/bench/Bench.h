#pragma once

#include <QString>

namespace ostrel::bench {

struct BenchOptions {
    bool quick = false;       // the small archive only
    bool profile = true;      // callgrind over the first page of the biggest archive
    int runs = 5;
    QString cacheDir;         // generated archives, by key
    QString outPath;          // the JSON results
    QString writerPath;       // ostrel-mkpst
    QString selfPath;         // this program, for the measuring children
};

// Generates or reuses the archives, measures the viewer, libpff's floor and
// the converters people would use instead, prints the table and writes the
// JSON. Returns the process exit code.
int runBench(const BenchOptions &options);

}  // namespace ostrel::bench
