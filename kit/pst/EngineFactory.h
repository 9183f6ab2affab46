#pragma once

#include "model/Expected.h"
#include "pst/engine/ArchiveEngine.h"

#include <functional>
#include <memory>

namespace ostrel {

// Which engine reads an archive. automatic: the native engine, and libpff
// for a file the native engine cannot open.
enum class EngineChoice { automatic, native, libpff };

using EngineMaker = std::function<std::unique_ptr<ArchiveEngine>()>;

// An engine with its archive open, and what the open read.
struct OpenedArchive {
    std::unique_ptr<ArchiveEngine> engine;
    RawArchive archive;
};

// Makes the engines and opens archives with the chosen one.
struct EngineFactory {
    EngineMaker native;
    EngineMaker libpff;

    // The engines built into ostrel.
    static EngineFactory standard();

    // Refuses a path that is not a readable regular file before any engine
    // touches it, then opens it with the chosen engine. When automatic
    // falls back and libpff fails too, the native engine's error is given.
    Expected<OpenedArchive, PSTError> open(const QString &path, EngineChoice choice) const;
};

}  // namespace ostrel
