// ostrel-inspect: prints what the reader makes of an archive, without the window.
#include "ArchiveDump.h"
#include "RowListing.h"
#include "pst/PSTActor.h"

#include <array>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

using namespace ostrel;

namespace {


const MailFolder *findByPath(const QList<MailFolder> &folders, const QStringList &path)
{
    const QList<MailFolder> *level = &folders;
    const MailFolder *found = nullptr;
    for (const QString &name : path) {
        found = nullptr;
        for (const MailFolder &folder : *level) {
            if (folder.name == name) {
                found = &folder;
                break;
            }
        }
        if (!found)
            return nullptr;
        level = &found->children;
    }
    return found;
}

QString isoDate(double seconds)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(seconds * 1000.0), Qt::UTC).toString(Qt::ISODate);
}

// Where a folder stands in the tree the sidebar shows.
std::array<std::pair<const char *, bool>, 3> folderFlags(const MailFolder &folder)
{
    return {{{"searchFolder", folder.searchFolder}, {"mailboxRoot", folder.mailboxRoot}, {"storeFolder", folder.storeFolder}}};
}

QJsonArray foldersJson(const QList<MailFolder> &folders, int depth)
{
    QJsonArray array;
    for (const MailFolder &folder : folders) {
        QJsonObject object{{"name", folder.name},
                           {"folderType", rawValue(folder.folderType)},
                           {"messageCount", folder.messageCount},
                           {"unreadCount", folder.unreadCount},
                           {"depth", depth},
                           {"children", foldersJson(folder.children, depth + 1)}};
        for (const auto &[key, set] : folderFlags(folder)) {
            if (set)
                object.insert(QLatin1String(key), true);
        }
        array.append(object);
    }
    return array;
}

void printFolders(QTextStream &out, const QList<MailFolder> &folders, int depth)
{
    for (const MailFolder &folder : folders) {
        out << QString(depth * 2, QLatin1Char(' ')) << "'" << folder.name << "' [" << rawValue(folder.folderType)
            << "] messages=" << folder.messageCount << " unread=" << folder.unreadCount;
        for (const auto &[key, set] : folderFlags(folder)) {
            if (set)
                out << ' ' << key;
        }
        out << '\n';
        printFolders(out, folder.children, depth + 1);
    }
}

QJsonObject messageJson(const MailMessage &message)
{
    QJsonArray attachments;
    for (const Attachment &a : message.attachments) {
        attachments.append(QJsonObject{{"filename", a.filename},
                                       {"mimeType", a.mimeType},
                                       {"size", a.size},
                                       {"contentId", a.contentId ? QJsonValue(*a.contentId) : QJsonValue()},
                                       {"dataLoaded", a.data.has_value()},
                                       {"dataSize", a.data ? QJsonValue(a.data->size()) : QJsonValue()}});
    }
    const auto size = [](const auto &body) { return body ? QJsonValue(qint64(body->size())) : QJsonValue(); };
    return QJsonObject{{"subject", message.subject},
                       {"sender", message.sender},
                       {"senderEmail", message.senderEmail},
                       {"date", isoDate(message.date)},
                       {"importance", rawValue(message.importance)},
                       {"recipients", QJsonArray::fromStringList(message.recipients)},
                       {"bodyText", size(message.bodyText)},
                       {"bodyHTML", size(message.bodyHTML)},
                       {"bodyRTF", size(message.bodyRTF)},
                       {"attachments", attachments},
                       {"readFailure", message.readFailure ? QJsonValue(*message.readFailure) : QJsonValue()}};
}

void printMessage(QTextStream &out, const MailMessage &m, qint64 index)
{
    out << '#' << index << " " << m.subject << '\n';
    if (m.readFailure) {
        out << "  could not be read: " << *m.readFailure << '\n';
        return;
    }
    out
        << "  from: " << m.sender << " <" << m.senderEmail << ">\n"
        << "  date: " << isoDate(m.date) << "  importance: " << rawValue(m.importance) << '\n'
        << "  to: " << m.recipients.join(QStringLiteral(", ")) << '\n'
        << "  bodies: text=" << (m.bodyText ? QString::number(m.bodyText->size()) : QStringLiteral("-"))
        << " html=" << (m.bodyHTML ? QString::number(m.bodyHTML->size()) : QStringLiteral("-"))
        << " rtf=" << (m.bodyRTF ? QString::number(m.bodyRTF->size()) : QStringLiteral("-")) << '\n';
    for (const Attachment &a : m.attachments) {
        out << "  attachment: " << a.filename << " (" << a.mimeType << ", " << a.size << " bytes"
            << (a.contentId ? QStringLiteral(", cid ") + *a.contentId : QString())
            << (a.data ? QStringLiteral(", loaded") : QString()) << ")\n";
    }
}

struct Totals {
    qint64 folders = 0;
    qint64 messages = 0;
    qint64 attachments = 0;
    qint64 attachmentBytes = 0;
};

// Pages through every folder the way the window would, to show that a whole
// archive reads without a failure.
bool readFolders(PSTActor &actor, const QList<MailFolder> &folders, const QString &parent, Totals &totals,
                 QTextStream &err)
{
    constexpr qint64 page = 100;
    bool ok = true;  // every message read so far
    for (const MailFolder &folder : folders) {
        const QString path = parent.isEmpty() ? folder.name : parent + QLatin1Char('/') + folder.name;
        ++totals.folders;
        for (qint64 offset = 0; offset < folder.messageCount; offset += page) {
            const auto messages = actor.loadMessages(folder, offset, page).result();
            if (!messages) {
                err << path << " at " << offset << ": " << messages.error().errorDescription() << '\n';
                return false;
            }
            if (messages->isEmpty()) {
                err << path << " at " << offset << ": no messages, though the folder counts " << folder.messageCount
                    << '\n';
                return false;
            }
            totals.messages += messages->size();
            for (const MailMessage &m : *messages) {
                if (m.readFailure) {
                    err << path << " at " << offset << ": a message could not be read: " << *m.readFailure << '\n';
                    ok = false;
                }
                totals.attachments += m.attachments.size();
                for (const Attachment &a : m.attachments)
                    totals.attachmentBytes += a.size;
            }
        }
        if (!readFolders(actor, folder.children, path, totals, err))
            return false;
    }
    return ok;
}

int readEverything(PSTActor &actor, const QList<MailFolder> &folders, QTextStream &out, QTextStream &err)
{
    Totals totals;
    const bool ok = readFolders(actor, folders, QString(), totals, err);
    out << "folders=" << totals.folders << " messages=" << totals.messages << " attachments=" << totals.attachments
        << " attachmentBytes=" << totals.attachmentBytes << '\n';
    return ok ? 0 : 1;
}

}  // namespace

namespace {
const char *const kDescription = R"(Prints the folder tree and messages of a PST or OST archive.

--dump prints the whole archive as JSON Lines (UTF-8, one compact object per
line, keys in the order below) in an order every engine can give: folders
depth first, sibling folders by node id; each folder's line is followed by
its messages, by node id, then by its sub folders.

  {"type":"folder","path":[names from the top],"name","messageCount",
   "unreadCount","folderType","unreadable":[parts]}
  {"type":"message","folder":[path],"index":position in node order,
   "subject","sender","senderEmail","date":ISO 8601 UTC with milliseconds,
   "importance","recipients":[...],
   "bodies":{"text","html","rtf"},
   "attachments":[{"name","mimeType","size","contentId","sha256"}],
   "unreadable":[parts]}

A body is null or {"size","sha256"} of its UTF-8 bytes (RTF: of its
decompressed bytes). An attachment's sha256 is that of the bytes streamed
from the archive, null when the archive gives none (an attached message).
"unreadable" names the parts that could not be read (subFolders,
messageCount, recipients, attachments, "attachment N" for one whose bytes
would not stream or an attached message that could not be read); why goes to standard error, and the exit status is 3.
Two engines that read an archive alike print the same bytes.

Standard error says which engine read the archive.)";

std::optional<EngineChoice> engineChoice(const QString &name)
{
    if (name == QLatin1String("automatic"))
        return EngineChoice::automatic;
    if (name == QLatin1String("native"))
        return EngineChoice::native;
    if (name == QLatin1String("libpff"))
        return EngineChoice::libpff;
    return std::nullopt;
}

int dump(const QString &path, EngineChoice choice, QTextStream &out, QTextStream &err)
{
    auto opened = EngineFactory::standard().open(path, choice);
    if (!opened) {
        err << opened.error().errorDescription() << '\n';
        return 1;
    }
    err << "Read by the " << opened.value().engine->name() << " engine.\n";
    return ArchiveDump(*opened.value().engine, out, err).print(opened.value().archive) ? 0 : 3;
}
}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ostrel-inspect"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("ARCHIVE"), QStringLiteral("The PST or OST file."));
    const QCommandLineOption folderOption(QStringLiteral("folder"),
                                          QStringLiteral("Folder names from the root joined by \"/\"."),
                                          QStringLiteral("PATH"));
    const QCommandLineOption offsetOption(QStringLiteral("offset"), QStringLiteral("First message."),
                                          QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption limitOption(QStringLiteral("limit"), QStringLiteral("Number of messages."),
                                         QStringLiteral("N"), QStringLiteral("100"));
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("Print JSON."));
    const QCommandLineOption allOption(
        QStringLiteral("all"),
        QStringLiteral("Read every message of every folder in pages of 100; print the counts and the first failure."));
    const QCommandLineOption engineOption(
        QStringLiteral("engine"),
        QStringLiteral("Read with this engine: native, libpff, or automatic (native, then libpff for a file the "
                       "native engine cannot open; the default)."),
        QStringLiteral("ENGINE"), QStringLiteral("automatic"));
    const QCommandLineOption dumpOption(QStringLiteral("dump"),
                                        QStringLiteral("Print every folder and message as JSON Lines (see above)."));
    const QCommandLineOption rowsOption(
        QStringLiteral("rows"),
        QStringLiteral("With --folder: every row of the folder as the list shows it, newest first, as JSON Lines."));
    const QCommandLineOption searchOption(QStringLiteral("search"),
                                          QStringLiteral("With --rows: only the rows a search for TEXT shows."),
                                          QStringLiteral("TEXT"));
    parser.addOptions({folderOption, offsetOption, limitOption, jsonOption, allOption, engineOption, dumpOption,
                       rowsOption, searchOption});
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    const auto choice = engineChoice(parser.value(engineOption));
    if (parser.positionalArguments().size() != 1 || !choice) {
        err << parser.helpText();
        return 2;
    }
    const QString archive = QFileInfo(parser.positionalArguments().constFirst()).absoluteFilePath();
    if (parser.isSet(dumpOption))
        return dump(archive, *choice, out, err);

    PSTActor actor(*choice);
    const auto opened = actor.openFile(QUrl::fromLocalFile(archive)).result();
    if (!opened) {
        err << opened.error().errorDescription() << '\n';
        return 1;
    }
    err << "Read by the " << actor.engineName() << " engine.\n";
    if (const auto named = actor.namedPropertiesFailure())
        err << "Some properties could not be read: " << *named << '\n';
    err.flush();
    const QList<MailFolder> &folders = opened.value();

    if (parser.isSet(allOption))
        return readEverything(actor, folders, out, err);

    if (!parser.isSet(folderOption)) {
        if (parser.isSet(jsonOption))
            out << QJsonDocument(foldersJson(folders, 0)).toJson(QJsonDocument::Indented);
        else
            printFolders(out, folders, 0);
        return 0;
    }

    const MailFolder *folder = findByPath(folders, parser.value(folderOption).split(QLatin1Char('/')));
    if (!folder) {
        err << "No folder at " << parser.value(folderOption) << '\n';
        return 1;
    }
    if (parser.isSet(rowsOption))
        return printRows(actor, *folder, parser.value(searchOption), out, err);
    const qint64 offset = parser.value(offsetOption).toLongLong();
    const auto page = actor.loadMessages(*folder, offset, parser.value(limitOption).toLongLong()).result();
    if (!page) {
        err << page.error().errorDescription() << '\n';
        return 1;
    }
    if (parser.isSet(jsonOption)) {
        QJsonArray messages;
        for (const MailMessage &m : page.value())
            messages.append(messageJson(m));
        out << QJsonDocument(messages).toJson(QJsonDocument::Indented);
    } else {
        qint64 index = offset;
        for (const MailMessage &m : page.value())
            printMessage(out, m, index++);
    }
    return 0;
}
