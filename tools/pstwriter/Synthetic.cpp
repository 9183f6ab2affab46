#include "Synthetic.h"

#include "FileGenerators.h"
#include "RtfEncapsulation.h"
#include "SampleItems.h"

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

namespace {

bool every(int k, qint64 n)
{
    return k > 0 && n % k == k - 1;
}

// Which of `kinds` variants the n-th message of an "every k-th" setting gets.
int turn(int k, qint64 n, int kinds)
{
    return int((n / k) % kinds);
}

QString exchangeAddress(const QString &name)
{
    QString cn = name.toUpper();
    cn.remove(QLatin1Char(' '));
    return QStringLiteral("/O=EXAMPLE/OU=EXCHANGE ADMINISTRATIVE GROUP (FYDIBOHF23SPDLT)/CN=RECIPIENTS/CN=") + cn;
}

// Text a code page has, so that its 8-bit bytes matter.
QString codepageSample(quint32 codepage)
{
    switch (codepage) {
    case 1251:
        return QStringLiteral("Отчёт за квартал — «итоги» и планы.");
    case 932:
        return QStringLiteral("会議の議事録です。ご確認ください。");
    default:
        return QStringLiteral("Grüße – „Zitat“ … 5 € — ‘fertig’.");
    }
}

QString transportHeaders(const Message &m, qint64 n)
{
    const QString date = m.deliveryTime ? m.deliveryTime->toString(Qt::RFC2822Date) : QString();
    return QStringLiteral("Received: from mail.example.com (mail.example.com [192.0.2.%1])\r\n"
                          "\tby mx.example.org with ESMTPS id %2; %3\r\n"
                          "From: %4 <%5>\r\n"
                          "Subject: %6\r\n"
                          "Date: %3\r\n"
                          "Message-ID: <synthetic-%2@example.com>\r\n"
                          "MIME-Version: 1.0\r\n"
                          "Content-Type: text/plain; charset=utf-8\r\n\r\n")
        .arg(n % 250 + 1)
        .arg(n + 1)
        .arg(date, m.senderName.value_or(QString()), m.senderSmtpAddress.value_or(m.senderEmail.value_or(QString())),
             m.subject.value_or(QString()));
}

// A message with one attached that holds another, three levels in all.
Message nested(const Message &outer, qint64 n)
{
    std::shared_ptr<const Message> inner;
    for (int level = 3; level >= 1; --level) {
        Message m;
        m.subject = QStringLiteral("Level %1 of message %2").arg(level).arg(n + 1);
        m.senderName = outer.senderName;
        m.senderEmail = outer.senderEmail;
        m.deliveryTime = outer.deliveryTime;
        m.body = QStringLiteral("Embedded at depth %1.").arg(level);
        if (inner) {
            Attachment a;
            a.longFileName = *inner->subject + QStringLiteral(".msg");
            a.embedded = inner;
            m.addAttachment(a);
        }
        inner = std::make_shared<const Message>(std::move(m));
    }
    Message m = outer;
    Attachment a;
    a.longFileName = *inner->subject + QStringLiteral(".msg");
    a.embedded = inner;
    m.addAttachment(a);
    return m;
}

// The settings' variety on a plain synthetic message.
Message vary(const SyntheticSettings &s, Message m, qint64 n)
{
    if (every(s.itemsEvery, n)) {
        // Not mail: the item replaces the message, keeping its read state.
        const auto kind = ItemKind(turn(s.itemsEvery, n, kItemKinds));
        Message item = sampleItem(kind, int(n % 100000), *m.deliveryTime);
        item.flags = m.flags;
        return item;
    }
    if (every(s.exchangeEvery, n) && m.senderName && !m.recipients.isEmpty()) {
        m.senderSmtpAddress = m.senderEmail;
        m.senderAddressType = QStringLiteral("EX");
        m.senderEmail = exchangeAddress(m.senderName.value_or(QString()));
        Recipient &first = m.recipients.first();
        first.smtpAddress = first.emailAddress;
        first.addressType = QStringLiteral("EX");
        first.emailAddress = exchangeAddress(first.displayName.value_or(QString()));
    }
    if (every(s.bccEvery, n))
        m.addRecipient({QStringLiteral("Records Office"), QStringLiteral("records@example.org"), {}, {},
                        RecipientType::Bcc});
    if (every(s.codepageEvery, n)) {
        static constexpr std::array<quint32, 3> pages{1251, 1252, 932};
        const quint32 page = pages[size_t(turn(s.codepageEvery, n, int(pages.size())))];
        const QString text = codepageSample(page) + QStringLiteral("\r\n\r\n") + m.body.value_or(QString());
        m.body8bit = encode8bit(text, page).value_or(QByteArray());
        m.bodyCodepage = page;
        m.body.reset();
        if (m.html) {
            QString html = QString::fromUtf8(*m.html);
            html.replace(QLatin1String("<meta charset=\"utf-8\">"), QString());
            html.replace(QLatin1String("<body>"), QLatin1String("<body><p>") + codepageSample(page)
                                                      + QLatin1String("</p>"));
            m.html = encode8bit(html, page).value_or(QByteArray());
            m.htmlCodepage = page;
        }
    }
    if (every(s.rtfEvery, n)) {
        // The only body: HTML in RTF, text in RTF or plain RTF, in turn.
        const QString text = m.body ? *m.body : QStringLiteral("(no text)");
        switch (turn(s.rtfEvery, n, 3)) {
        case 0:
            m.rtf = encapsulateHtml(m.html ? QString::fromUtf8(*m.html)
                                           : QStringLiteral("<html><body><p>") + text.toHtmlEscaped()
                                                 + QStringLiteral("</p></body></html>"));
            break;
        case 1:
            m.rtf = encapsulateText(text);
            break;
        default:
            m.rtf = plainRtf(text);
            break;
        }
        m.body.reset();
        m.body8bit.reset();
        m.html.reset();
        m.htmlCodepage.reset();
    }
    if (every(s.undatedEvery, n)) {
        // No delivery time; every other one keeps a submit time.
        if (turn(s.undatedEvery, n, 2) == 1)
            m.submitTime = m.deliveryTime;
        m.deliveryTime.reset();
    }
    if (every(s.headersEvery, n))
        m.transportHeaders = transportHeaders(m, n);
    if (every(s.nestedEvery, n))
        m = nested(m, n);
    return m;
}

}  // namespace

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

    QList<MessageId> made;
    made.reserve(qsizetype(settings.messages));
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
        Message varied = vary(settings, std::move(m), n);
        if (!varied.attachments.isEmpty() && varied.flags)
            *varied.flags |= kFlagHasAttachments;
        const MessageId id = builder.addMessage(folders[folder].id, varied);
        if (!id || builder.failed()) {
            if (error)
                *error = builder.errorString();
            return false;
        }
        made.append(id);
    }

    // Search folders list messages of every folder: every 97th from their own start.
    for (int k = 0; k < settings.searchFolders; ++k) {
        const FolderId search = builder.addSearchFolder(builder.ipmSubtree(), QStringLiteral("Search %1").arg(k + 1));
        for (qsizetype at = k % qMax<qsizetype>(made.size(), 1), listed = 0; search && at < made.size() && listed < 2000;
             at += 97, ++listed)
            builder.addSearchResult(search, made[at]);
        if (!search || builder.failed()) {
            if (error)
                *error = builder.errorString();
            return false;
        }
    }
    if (messages)
        *messages = made;
    return true;
}

}  // namespace ostrel::pstwriter
