#include "Synthetic.h"

#include "FileGenerators.h"

#include <QCoreApplication>
#include <QStringList>

#include <array>

namespace ostrel::pstwriter {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ostrel::pstwriter::Synthetic", text);
}

struct Random {
    quint64 state;
    explicit Random(quint64 seed) : state(seed) {}
    quint64 next()
    {
        quint64 z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    quint64 below(quint64 n) { return n ? next() % n : 0; }
    template <typename T, size_t N>
    const T &pick(const std::array<T, N> &a) { return a[size_t(below(N))]; }
};

const std::array<const char *, 24> kFirstNames{"Anna", "Ben", "Clara", "David", "Elif", "Felix", "Greta", "Hannah",
                                               "Ivan", "Jonas", "Katrin", "Lukas", "Maria", "Nils", "Olivia",
                                               "Paul", "Rosa", "Samir", "Tanja", "Ulrich", "Vera", "Wei", "Yusuf",
                                               "Zoe"};
const std::array<const char *, 20> kLastNames{"Becker", "Chen", "Dubois", "Fischer", "García", "Hoffmann",
                                              "Jensen", "Kowalski", "Lehmann", "Martin", "Novak", "Okafor",
                                              "Petrov", "Quinn", "Rossi", "Schmidt", "Tanaka", "Vogel",
                                              "Wagner", "Yilmaz"};
const std::array<const char *, 16> kTopics{"Quarterly report", "Project kickoff", "Invoice", "Meeting notes",
                                           "Travel plans", "Budget review", "Release schedule", "Customer feedback",
                                           "Contract draft", "Team offsite", "Hiring update", "Server maintenance",
                                           "Design review", "Newsletter", "Weekly status", "Order confirmation"};
const std::array<const char *, 14> kFolderNames{"Projects", "Clients", "Finance", "Travel", "Receipts",
                                                "Newsletters", "Team", "Suppliers", "Support", "Legal",
                                                "Marketing", "Events", "Reports", "Personal"};
const std::array<const char *, 48> kWords{
    "the", "report", "schedule", "meeting", "please", "review", "attached", "numbers", "quarter", "team",
    "update", "project", "deadline", "customer", "thanks", "regards", "budget", "approval", "next", "week",
    "draft", "final", "version", "changes", "comments", "before", "Friday", "Monday", "office", "call",
    "agenda", "minutes", "invoice", "payment", "order", "delivery", "server", "release", "notes", "summary",
    "question", "answer", "details", "contract", "travel", "hotel", "flight", "and"};

// A pool of running text, cut into bodies at random places.
QString textPool(quint64 seed)
{
    Random r(seed ^ 0x5EED);
    QString pool;
    pool.reserve(256 * 1024);
    int sentence = 0;
    while (pool.size() < 256 * 1024) {
        QString word = QString::fromLatin1(r.pick(kWords));
        if (sentence == 0)
            word[0] = word[0].toUpper();
        pool += word;
        if (++sentence > 6 + int(r.below(10))) {
            pool += r.below(5) == 0 ? QStringLiteral(".\r\n\r\n") : QStringLiteral(". ");
            sentence = 0;
        } else {
            pool += QLatin1Char(' ');
        }
    }
    return pool;
}

bool parseInt(const QString &value, qint64 min, qint64 max, qint64 &out)
{
    bool ok = false;
    const qint64 v = value.toLongLong(&ok);
    if (!ok || v < min || v > max)
        return false;
    out = v;
    return true;
}

}  // namespace

std::optional<SyntheticSettings> SyntheticSettings::parse(const QString &text, QString *error)
{
    SyntheticSettings settings;
    bool biggestSet = false;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        const QString key = part.left(eq).trimmed();
        const QString value = eq >= 0 ? part.mid(eq + 1).trimmed() : QString();
        qint64 v = 0;
        bool ok = true;
        if (key == QLatin1String("folders"))
            ok = parseInt(value, 1, 100'000, v) && (settings.folders = int(v), true);
        else if (key == QLatin1String("messages"))
            ok = parseInt(value, 0, 10'000'000, v) && (settings.messages = v, true);
        else if (key == QLatin1String("seed"))
            ok = parseInt(value, 0, std::numeric_limits<qint64>::max(), v) && (settings.seed = quint64(v), true);
        else if (key == QLatin1String("biggest"))
            ok = parseInt(value, 0, 10'000'000, v) && (settings.biggest = v, biggestSet = true);
        else if (key == QLatin1String("depth"))
            ok = parseInt(value, 1, 64, v) && (settings.depth = int(v), true);
        else if (key == QLatin1String("body"))
            ok = parseInt(value, 0, 1'000'000, v) && (settings.body = int(v), true);
        else if (key == QLatin1String("htmlEvery"))
            ok = parseInt(value, 0, 1'000'000, v) && (settings.htmlEvery = int(v), true);
        else if (key == QLatin1String("attachEvery"))
            ok = parseInt(value, 0, 1'000'000, v) && (settings.attachEvery = int(v), true);
        else if (key == QLatin1String("attachSize"))
            ok = parseInt(value, 0, 64 * 1024 * 1024, v) && (settings.attachSize = int(v), true);
        else if (key == QLatin1String("inlineEvery"))
            ok = parseInt(value, 0, 1'000'000, v) && (settings.inlineEvery = int(v), true);
        else if (key == QLatin1String("encoding"))
            ok = (settings.encoding = encodingFromName(value)).has_value();
        else if (key == QLatin1String("layout"))
            ok = (value == QLatin1String("outlook") || value == QLatin1String("legacy"))
                 && (settings.legacyLayout = value == QLatin1String("legacy"), true);
        else if (key == QLatin1String("internal"))
            ok = parseInt(value, 0, 1, v) && (settings.internalFolders = v == 1, true);
        else if (key == QLatin1String("searchFolders"))
            ok = parseInt(value, 0, 1000, v) && (settings.searchFolders = int(v), true);
        else if (int *every = key == QLatin1String("exchangeEvery")   ? &settings.exchangeEvery
                              : key == QLatin1String("bccEvery")      ? &settings.bccEvery
                              : key == QLatin1String("undatedEvery")  ? &settings.undatedEvery
                              : key == QLatin1String("itemsEvery")    ? &settings.itemsEvery
                              : key == QLatin1String("rtfEvery")      ? &settings.rtfEvery
                              : key == QLatin1String("codepageEvery") ? &settings.codepageEvery
                              : key == QLatin1String("headersEvery")  ? &settings.headersEvery
                              : key == QLatin1String("nestedEvery")   ? &settings.nestedEvery
                                                                      : nullptr)
            ok = parseInt(value, 0, 1'000'000, v) && (*every = int(v), true);
        else {
            if (error)
                *error = tr("Unknown synthetic setting \"%1\"; known are folders, messages, seed, biggest, depth, "
                            "body, htmlEvery, attachEvery, attachSize, inlineEvery, encoding, layout, internal, "
                            "exchangeEvery, bccEvery, undatedEvery, itemsEvery, rtfEvery, codepageEvery, "
                            "headersEvery, nestedEvery, searchFolders")
                             .arg(key);
            return std::nullopt;
        }
        if (!ok) {
            if (error)
                *error = tr("Bad value for synthetic setting %1: \"%2\"").arg(key, value);
            return std::nullopt;
        }
    }
    if (biggestSet && settings.biggest > settings.messages) {
        if (error)
            *error = tr("biggest=%1 is more than messages=%2").arg(settings.biggest).arg(settings.messages);
        return std::nullopt;
    }
    return settings;
}

void SyntheticSettings::applyTo(ArchiveOptions &options) const
{
    if (legacyLayout) {
        const ArchiveOptions base = ArchiveOptions::legacy();
        options.encoding = base.encoding;
        options.tables = base.tables;
        options.heapOrder = base.heapOrder;
        options.folderIds = base.folderIds;
    }
    if (encoding)
        options.encoding = *encoding;
    options.internalFolders = internalFolders;
    options.seed = seed;
}

bool buildSynthetic(const SyntheticSettings &settings, ArchiveBuilder &builder, QList<MessageId> *messages, QString *error)
{
    Random tree(settings.seed);
    struct Made {
        FolderId id;
        int depth;
    };
    QList<Made> folders;
    const std::array<const char *, 6> wellKnown{"Inbox", "Sent Items", "Drafts", "Archive", "Deleted Items",
                                                "Junk Email"};
    for (int i = 0; i < settings.folders; ++i) {
        FolderId parent = builder.ipmSubtree();
        int depth = 1;
        if (i >= int(wellKnown.size()) && settings.depth > 1) {
            // Below an earlier folder that still has room under it, or at the top.
            const Made &p = folders[qsizetype(tree.below(quint64(folders.size())))];
            if (p.depth < settings.depth && tree.below(3) != 0) {
                parent = p.id;
                depth = p.depth + 1;
            }
        }
        const QString name = i < int(wellKnown.size())
                                 ? QString::fromLatin1(wellKnown[size_t(i)])
                                 : QStringLiteral("%1 %2").arg(QString::fromUtf8(tree.pick(kFolderNames))).arg(i);
        FolderOptions options;
        options.wastebasket = i == 4;
        const FolderId id = builder.addFolder(parent, name, options);
        if (!id) {
            if (error)
                *error = builder.errorString();
            return false;
        }
        folders.append({id, depth});
    }

    const QString pool = textPool(settings.seed);
    const QDateTime start(QDate(2015, 1, 1), QTime(0, 0), Qt::UTC);
    constexpr qint64 span = 10LL * 365 * 24 * 3600;
    for (qint64 n = 0; n < settings.messages; ++n) {
        Random r(settings.seed * 0x100000001B3ULL ^ quint64(n));
        qsizetype folder = 0;
        if (n >= settings.biggest && folders.size() > 1)
            folder = settings.biggest > 0 ? 1 + qsizetype(r.below(quint64(folders.size() - 1)))
                                      : qsizetype(r.below(quint64(folders.size())));

        Message m;
        const QString first = QString::fromUtf8(r.pick(kFirstNames));
        const QString last = QString::fromUtf8(r.pick(kLastNames));
        m.subject = QStringLiteral("%1 %2 #%3").arg(QString::fromLatin1(r.pick(kTopics)), QString::fromLatin1(r.pick(kWords))).arg(n + 1);
        m.senderName = first + QLatin1Char(' ') + last;
        m.senderEmail = QStringLiteral("%1.%2@example.com").arg(first.toLower(), QString::number(n % 97));
        m.deliveryTime = start.addSecs(qint64(r.below(quint64(span))));
        const quint64 importance = r.below(20);
        m.importance = importance == 0 ? Importance::High : importance == 1 ? Importance::Low : Importance::Normal;
        m.flags = (r.below(5) != 0 ? kFlagRead : 0);
        const int recipients = 1 + int(r.below(4));
        for (int k = 0; k < recipients; ++k) {
            const QString rf = QString::fromUtf8(r.pick(kFirstNames));
            Recipient rec;
            rec.displayName = rf + QLatin1Char(' ') + QString::fromUtf8(r.pick(kLastNames));
            rec.emailAddress = rf.toLower() + QStringLiteral("@example.org");
            rec.type = k == 0 ? RecipientType::To : RecipientType::Cc;
            m.addRecipient(rec);
        }
        if (settings.body > 0) {
            const qsizetype length = qMin<qsizetype>(settings.body / 2 + qsizetype(r.below(quint64(settings.body) + 1)),
                                                     pool.size());
            const qsizetype at = qsizetype(r.below(quint64(pool.size() - length + 1)));
            m.body = pool.mid(at, length);
            if (settings.htmlEvery > 0 && n % settings.htmlEvery == 0) {
                QString html = *m.body;
                html.replace(QLatin1String("\r\n\r\n"), QLatin1String("</p>\n<p>"));
                // Counted among the HTML messages, so that inlineEvery=1 means every one.
                const bool withImage = settings.inlineEvery > 0 && (n / settings.htmlEvery) % settings.inlineEvery == 0;
                const QString cid = QStringLiteral("logo-%1@example.com").arg(n + 1);
                const QString image = withImage ? QStringLiteral("<p><img src=\"cid:%1\" alt=\"logo\"></p>").arg(cid) : QString();
                m.html = (QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body>") + image + QStringLiteral("<p>")
                          + html + QStringLiteral("</p></body></html>"))
                             .toUtf8();
                if (withImage) {
                    Attachment logo;
                    logo.longFileName = QStringLiteral("logo.png");
                    logo.mimeTag = QStringLiteral("image/png");
                    logo.contentId = cid;
                    logo.hidden = true;
                    const quint32 colour = quint32(r.below(0x1000000));
                    logo.data = makePng(96, 32, colour, colour ^ 0xFFFFFF);
                    m.addAttachment(logo);
                }
            }
        }
        if (settings.attachEvery > 0 && n % settings.attachEvery == 0) {
            Attachment a;
            a.longFileName = QStringLiteral("data-%1.bin").arg(n + 1);
            a.mimeTag = QStringLiteral("application/octet-stream");
            const qsizetype size = settings.attachSize / 2 + qsizetype(r.below(quint64(settings.attachSize) + 1));
            a.data = makeNoise(size, settings.seed ^ quint64(n));
            m.addAttachment(a);
            *m.flags |= kFlagHasAttachments;
        }
        const MessageId id = builder.addMessage(folders[folder].id, m);
        if (!id || builder.failed()) {
            if (error)
                *error = builder.errorString();
            return false;
        }
        if (messages)
            messages->append(id);
    }
    return true;
}

}  // namespace ostrel::pstwriter
