// ostrel-mkpst: writes archives for tests, the demo and benchmarks.
#include "ArchiveBuilder.h"
#include "ArchiveVerifier.h"
#include "Damage.h"
#include "Description.h"
#include "Synthetic.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

using namespace ostrel::pstwriter;

namespace {

int failWith(const QString &message, int code = 1)
{
    std::fprintf(stderr, "ostrel-mkpst: %s\n", qPrintable(message));
    return code;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ostrel-mkpst"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes a Unicode PST archive from a JSON description or as a large synthetic archive."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("output"), QStringLiteral("The archive to write."));
    const QCommandLineOption description({QStringLiteral("d"), QStringLiteral("description")},
                                         QStringLiteral("Build from this JSON description."), QStringLiteral("file"));
    const QCommandLineOption synthetic(
        QStringLiteral("synthetic"),
        QStringLiteral("Build a synthetic archive: folders=N,messages=M,seed=S,biggest=B,depth=D,body=CHARS,"
                       "htmlEvery=K,attachEvery=K,attachSize=BYTES,inlineEvery=K,encoding=none|permute|cyclic,"
                       "layout=outlook|legacy,internal=0|1,exchangeEvery=K,bccEvery=K,undatedEvery=K,itemsEvery=K,"
                       "searchFolders=N (see README.md)."),
        QStringLiteral("settings"));
    const QCommandLineOption encoding(
        QStringLiteral("encoding"),
        QStringLiteral("Store data blocks as they are (none), permuted (permute, the default) or cyclic (cyclic)."),
        QStringLiteral("none|permute|cyclic"));
    const QCommandLineOption layoutOption(
        QStringLiteral("layout"),
        QStringLiteral("outlook (the default: wide tables, B-tree headers first, scrambled folder ids) or legacy "
                       "(no encoding, narrow tables, headers last, ordered ids); before --encoding."),
        QStringLiteral("outlook|legacy"));
    const QCommandLineOption damage(QStringLiteral("damage"),
                                    QStringLiteral("Spoil the finished archive (repeatable): truncate=OFFSET, "
                                                   "overwrite=TARGET or bytes=OFFSET:HEX."),
                                    QStringLiteral("settings"));
    const QCommandLineOption verify(QStringLiteral("verify"),
                                    QStringLiteral("Read the archive back and check checksums, trees and maps "
                                                   "(before any damage)."));
    const QCommandLineOption summary(QStringLiteral("summary"),
                                     QStringLiteral("Print a JSON summary of what was written."));
    parser.addOptions({description, synthetic, encoding, layoutOption, damage, verify, summary});
    parser.process(app);

    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return failWith(QStringLiteral("exactly one output file is needed (see --help)"), 2);
    if (parser.isSet(description) && parser.isSet(synthetic))
        return failWith(QStringLiteral("--description and --synthetic exclude each other"), 2);
    const QString output = positional.first();

    QString error;
    std::optional<Description> desc;
    std::optional<SyntheticSettings> settings;
    ArchiveOptions options;
    if (parser.isSet(description)) {
        desc = Description::fromFile(parser.value(description), &error);
        if (!desc)
            return failWith(error, 2);
        options = desc->options();
    }
    if (parser.isSet(synthetic)) {
        settings = SyntheticSettings::parse(parser.value(synthetic), &error);
        if (!settings)
            return failWith(error, 2);
        settings->applyTo(options);
    }
    if (parser.isSet(layoutOption)) {
        const QString l = parser.value(layoutOption);
        if (l != QLatin1String("outlook") && l != QLatin1String("legacy"))
            return failWith(QStringLiteral("--layout takes outlook or legacy"), 2);
        const ArchiveOptions base = l == QLatin1String("legacy") ? ArchiveOptions::legacy() : ArchiveOptions();
        options.encoding = base.encoding;
        options.tables = base.tables;
        options.heapOrder = base.heapOrder;
        options.folderIds = base.folderIds;
    }
    if (parser.isSet(encoding)) {
        const auto e = encodingFromName(parser.value(encoding));
        if (!e)
            return failWith(QStringLiteral("--encoding takes none, permute or cyclic"), 2);
        options.encoding = *e;
    }
    QList<Damage> damages;
    for (const QString &d : parser.values(damage)) {
        const auto parsed = Damage::parse(d, &error);
        if (!parsed)
            return failWith(error, 2);
        damages.append(*parsed);
    }

    const QFileInfo out(output);
    if (!out.absoluteDir().exists() && !QDir().mkpath(out.absolutePath()))
        return failWith(QStringLiteral("cannot create the folder %1").arg(out.absolutePath()));

    ArchiveBuilder builder(options);
    if (!builder.open(output))
        return failWith(builder.errorString());
    QList<MessageId> messages;
    bool ok = true;
    if (desc)
        ok = desc->build(builder, &messages, &error);
    else if (settings)
        ok = buildSynthetic(*settings, builder, &messages, &error);
    if (!ok)
        return failWith(error);  // the builder removes the half-written file
    if (!builder.finish())
        return failWith(builder.errorString());

    if (parser.isSet(verify)) {
        const VerifyReport report = verifyArchive(output);
        if (!report.ok()) {
            for (const QString &p : report.problems)
                std::fprintf(stderr, "ostrel-mkpst: verify: %s\n", qPrintable(p));
            return 1;
        }
    }
    for (const Damage &d : damages) {
        if (!applyDamage(output, d, builder, messages, &error))
            return failWith(error);
    }
    if (parser.isSet(summary)) {
        const NdbLayout layout = builder.layout();
        const QJsonObject s{{QStringLiteral("file"), out.absoluteFilePath()},
                            {QStringLiteral("bytes"), qint64(layout.fileSize)},
                            {QStringLiteral("folders"), builder.folderCount() - 2},
                            {QStringLiteral("messages"), builder.messageCount()},
                            {QStringLiteral("encoding"), encodingName(options.encoding)},
                            {QStringLiteral("nbtRoot"), qint64(layout.nbtRoot)},
                            {QStringLiteral("bbtRoot"), qint64(layout.bbtRoot)},
                            {QStringLiteral("damaged"), !damages.isEmpty()}};
        std::fprintf(stdout, "%s\n", QJsonDocument(s).toJson(QJsonDocument::Compact).constData());
    }
    return 0;
}
