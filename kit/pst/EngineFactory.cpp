#include "pst/EngineFactory.h"

#include "pst/engine/ArchivePath.h"
#include "pst/libpff/LibpffEngine.h"
#include "pst/native/NativeEngine.h"

namespace ostrel {

namespace {
Expected<OpenedArchive, PSTError> openWith(const EngineMaker &make, const QString &path)
{
    OpenedArchive opened{make(), {}};
    auto archive = opened.engine->open(path);
    if (!archive)
        return archive.error();
    opened.archive = std::move(archive).value();
    return opened;
}
}  // namespace

EngineFactory EngineFactory::standard()
{
    EngineFactory factory;
    factory.libpff = [] { return std::make_unique<LibpffEngine>(); };
    factory.native = [] { return std::make_unique<NativeEngine>(); };
    return factory;
}

Expected<OpenedArchive, PSTError> EngineFactory::open(const QString &path, EngineChoice choice) const
{
    if (const auto refused = checkArchivePath(path))
        return *refused;
    switch (choice) {
    case EngineChoice::native:
        if (!native)
            return PSTError::parsingFailed(QStringLiteral("the native engine is not available yet"));
        return openWith(native, path);
    case EngineChoice::libpff:
        return openWith(libpff, path);
    case EngineChoice::automatic:
        break;
    }
    if (!native)
        return openWith(libpff, path);
    auto opened = openWith(native, path);
    if (opened || !libpff)
        return opened;
    auto fallback = openWith(libpff, path);
    return fallback ? std::move(fallback) : std::move(opened);
}

}  // namespace ostrel
