#include "screenshots/ScreenshotGenerator.h"
#include "screenshots/ScreenshotMessageDetail.h"
#include "screenshots/ScreenshotMessageList.h"
#include "screenshots/ScreenshotSidebar.h"
#include "screenshots/ScreenshotStyle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

using namespace ostrel;
namespace Gen = ostrel::ScreenshotGenerator;

namespace {

const QStringList pictureNames = {"01-overview.png", "02-search.png", "03-empty.png", "04-item.png"};
constexpr qreal scale = Gen::pictureScale;
const QRectF frame(0, 0, Gen::pictureWidth, Gen::pictureHeight);

QColor over(const QColor &top, const QColor &bottom)
{
    const float a = top.alphaF();
    return QColor::fromRgbF(top.redF() * a + bottom.redF() * (1 - a), top.greenF() * a + bottom.greenF() * (1 - a),
                            top.blueF() * a + bottom.blueF() * (1 - a));
}

// The colour at a point given in points.
QColor probe(const QImage &image, QPointF point)
{
    return image.pixelColor(int(point.x() * scale), int(point.y() * scale));
}

bool near(const QColor &a, const QColor &b, int tolerance = 4)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

#define QCOMPARE_COLOUR(actual, expected)                                                                        \
    QVERIFY2(near(actual, expected), qPrintable(QStringLiteral("%1 is not %2").arg((actual).name(), (expected).name())))

// Pixels in a rectangle (points) that differ from the background.
int inkIn(const QImage &image, const QRectF &rect, const QColor &background)
{
    int count = 0;
    const QRect pixels(QPoint(int(rect.left() * scale), int(rect.top() * scale)),
                       QPoint(int(rect.right() * scale) - 1, int(rect.bottom() * scale) - 1));
    for (int y = pixels.top(); y <= pixels.bottom(); ++y)
        for (int x = pixels.left(); x <= pixels.right(); ++x)
            if (!near(image.pixelColor(x, y), background, 12))
                ++count;
    return count;
}

int redIn(const QImage &image, const QRectF &rect)
{
    int count = 0;
    for (int y = int(rect.top() * scale); y < int(rect.bottom() * scale); ++y) {
        for (int x = int(rect.left() * scale); x < int(rect.right() * scale); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 140 && c.blue() < 140)
                ++count;
        }
    }
    return count;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The generator's own view objects, so the probes follow its layout.
struct Layout {
    WindowChrome::Geometry chrome;
    ScreenshotComposition::Columns columns;
    std::shared_ptr<const ScreenshotComposition> composition;
};

Layout layoutOf(int picture)
{
    const Gen::Picture p = Gen::pictures().at(picture);
    Layout l;
    l.chrome = p.view->layout(frame);
    l.columns = ScreenshotComposition::columns(l.chrome.content);
    l.composition = std::dynamic_pointer_cast<const ScreenshotComposition>(p.view->content);
    return l;
}

}  // namespace

class ScreenshotGeneratorTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QList<Gen::Output> m_outputs;
    QList<QImage> m_images;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const auto outputs = Gen::generateAll(m_dir.filePath("nested/out"));
        QVERIFY2(outputs.hasValue(), qPrintable(outputs.hasValue() ? QString() : outputs.error().description));
        m_outputs = *outputs;
        for (const Gen::Output &output : m_outputs)
            m_images.append(QImage(output.url.toLocalFile()).convertToFormat(QImage::Format_RGB32));
    }

    void writesEveryPictureOfFullSize()
    {
        QCOMPARE(m_outputs.size(), pictureNames.size());
        for (int i = 0; i < pictureNames.size(); ++i) {
            QCOMPARE(m_outputs[i].name, pictureNames[i]);
            QCOMPARE(m_outputs[i].url, QUrl::fromLocalFile(m_dir.filePath("nested/out/" + pictureNames[i])));
            QCOMPARE(m_outputs[i].pixelSize, QSizeF(2880, 1800));
            QVERIFY(readAll(m_outputs[i].url.toLocalFile()).startsWith("\x89PNG\r\n\x1a\n"));
            QCOMPARE(m_images[i].size(), QSize(2880, 1800));
        }
    }

    void runningTwiceReplacesTheFiles()
    {
        QTemporaryDir dir;
        const auto first = Gen::generateAll(dir.path());
        QVERIFY(first.hasValue());
        QList<QByteArray> bytes;
        for (const Gen::Output &output : *first) {
            bytes.append(readAll(output.url.toLocalFile()));
            QFile file(output.url.toLocalFile());
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("stale");
        }
        const auto second = Gen::generateAll(dir.path());
        QVERIFY(second.hasValue());
        QCOMPARE(*second, *first);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(readAll(second->at(i).url.toLocalFile()), bytes[i]);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), pictureNames);
    }

    void directoryThatCannotBeCreatedFails_data()
    {
        QTest::addColumn<QString>("blocker");  // a regular file on the way
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("errnoValue");
        QTest::newRow("below a file") << "file" << "file/pictures" << ENOTDIR;
        QTest::newRow("is a file") << "file" << "file" << ENOTDIR;
    }

    void directoryThatCannotBeCreatedFails()
    {
        QFETCH(QString, blocker);
        QFETCH(QString, target);
        QFETCH(int, errnoValue);
        QTemporaryDir dir;
        QFile file(dir.filePath(blocker));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();

        const auto result = Gen::generateAll(dir.filePath(target));
        QVERIFY(!result.hasValue());
        QVERIFY(result.error().domain != ScreenshotError::generatorDomain());
        QCOMPARE(result.error().code, errnoValue);
        QVERIFY2(result.error().description.contains(QString::fromLocal8Bit(std::strerror(errnoValue))),
                 qPrintable(result.error().description));
        QVERIFY(result.error().description.contains(QDir::toNativeSeparators(dir.filePath(target))));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{blocker});
    }

    void writeErrorStopsAndKeepsWhatWasWritten()
    {
        // A directory already standing where the second picture goes: it
        // cannot be replaced, even by root.
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("02-search.png"));
        const auto result = Gen::generateAll(dir.path());
        QVERIFY(!result.hasValue());
        QCOMPARE(result.error().domain, QStringLiteral("QFileDevice"));
        QVERIFY(result.error().code != 0);
        QVERIFY2(result.error().description.contains(QDir::toNativeSeparators(dir.filePath("02-search.png"))),
                 qPrintable(result.error().description));
        QVERIFY2(result.error().description.contains("directory"), qPrintable(result.error().description));

        QCOMPARE(QImage(dir.filePath("01-overview.png")).size(), QSize(2880, 1800));
        QVERIFY(QFileInfo(dir.filePath("02-search.png")).isDir());
        QVERIFY(!QFileInfo::exists(dir.filePath("03-empty.png")));
        // No temporary file left behind.
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 (QStringList{"01-overview.png", "02-search.png"}));
    }

    void renderingWithoutImageIsErrorOne()
    {
        const auto view = Gen::pictures().first().view;
        // Wider than any image can be: no bitmap, so no picture.
        const auto image = Gen::render(*view, QSizeF(4e7, 10), 2.0);
        QVERIFY(!image.hasValue());
        QCOMPARE(image.error().domain, QStringLiteral("ScreenshotGenerator"));
        QCOMPARE(image.error().code, 1);
        QCOMPARE(image.error(), ScreenshotError::generator(ScreenshotError::renderingFailed));

        QTemporaryDir dir;
        const auto written = Gen::write(QImage(), "x.png", dir.path());
        QVERIFY(!written.hasValue());
        QCOMPARE(written.error().code, 1);
        QVERIFY(!QFileInfo::exists(dir.filePath("x.png")));
        QVERIFY(ScreenshotError::generator(ScreenshotError::encodingFailed).description.contains("error 2"));
    }

    void formattingIgnoresTheUsersLocale()
    {
        const auto view = Gen::pictures().first().view;
        const auto reference = Gen::render(*view);
        QVERIFY(reference.hasValue());

        const QLocale previous;
        QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
        QGuiApplication::setLayoutDirection(Qt::RightToLeft);
        const auto foreign = Gen::render(*view);
        QLocale::setDefault(previous);
        QGuiApplication::setLayoutDirection(Qt::LeftToRight);

        QVERIFY(foreign.hasValue());
        QVERIFY(*foreign == *reference);
    }

    // The detail's parts beyond mail: the kind line, the item's own fields,
    // the headers action, attached-message chips and the quiet line.
    void detailShowsItemParts_data()
    {
        QTest::addColumn<int>("picture");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<bool>("headers");
        QTest::addColumn<int>("messageChips");
        QTest::addColumn<bool>("unreadable");
        QTest::newRow("mail") << 0 << QString() << QStringList{"From", "To", "Cc", "Date"} << true << 1 << false;
        QTest::newRow("meeting request")
            << 3 << "Meeting request"
            << QStringList{"From", "To", "Date", "Start", "End", "Location", "Organiser", "Attendees"} << false << 2
            << true;
    }
    void detailShowsItemParts()
    {
        QFETCH(int, picture);
        QFETCH(QString, kind);
        QFETCH(QStringList, labels);
        QFETCH(bool, headers);
        QFETCH(int, messageChips);
        QFETCH(bool, unreadable);
        const Layout l = layoutOf(picture);
        const auto detail = std::dynamic_pointer_cast<const ScreenshotMessageDetail>(l.composition->right);
        QVERIFY(detail);
        QCOMPARE(detail->message.kind, kind);
        const auto g = detail->layout(l.columns.right);
        const QImage &image = m_images[picture];
        QStringList seen;
        for (const auto &row : g.rows) {
            seen << row.label;
            QVERIFY(row.labelOrigin.x() >= l.columns.right.left());  // no label runs out of the column
        }
        QCOMPARE(seen, labels);
        QCOMPARE(g.kindOrigin.has_value(), !kind.isEmpty());
        if (g.kindOrigin) {
            QVERIFY(g.kindOrigin->y() < g.subject.top());
            QVERIFY(inkIn(image, QRectF(g.kindOrigin->x(), g.kindOrigin->y() - 9, 80, 10), Qt::white) > 50);
        }
        QCOMPARE(g.headersButton.has_value(), headers);
        if (g.headersButton) {
            QVERIFY(g.headersButton->right() <= l.columns.right.right());
            QVERIFY(inkIn(image, *g.headersButton, Qt::white) > 50);
        }
        QCOMPARE(g.unreadable.has_value(), unreadable);
        if (g.unreadable) {
            QVERIFY(g.unreadable->top() > g.rows.last().valueOrigin.y());
            QVERIFY(g.unreadable->bottom() < g.headerDivider.top());
            QVERIFY(inkIn(image, *g.unreadable, Qt::white) > 100);
        }
        int envelopes = 0;
        for (const DetailAttachment &a : detail->message.attachments)
            envelopes += a.icon == QLatin1String("envelope");
        QCOMPARE(envelopes, messageChips);
        QCOMPARE(g.chips.size(), detail->message.attachments.size());
        QVERIFY(g.chips.last().frame.right() <= l.columns.right.right());  // every chip fits
    }

    void searchPictureHoldsOneRow()
    {
        const Layout l = layoutOf(1);
        const auto list = std::dynamic_pointer_cast<const ScreenshotMessageList>(l.composition->middle);
        QVERIFY(list);
        QCOMPARE(list->headerTitle, QStringLiteral("Inbox"));
        QCOMPARE(list->subtitleLine(), std::optional<QString>(QStringLiteral("1 results for \u201Creport\u201D")));
        QCOMPARE(list->messages.size(), 1);
        QCOMPARE(list->messages.first().subject, QStringLiteral("Q1 2026 Quarterly Report"));

        const auto g = list->layout(l.columns.middle);
        QCOMPARE(g.rows.size(), 1);
        QVERIFY(g.subtitleOrigin);
        const QImage &image = m_images[1];
        const QRectF subtitle(g.subtitleOrigin->x(), g.subtitleOrigin->y() - 8, 100, 10);
        QVERIFY(inkIn(image, subtitle, Qt::white) > 50);
        // The one row is highlighted; below its divider the column is empty.
        QCOMPARE_COLOUR(probe(image, {g.rows[0].row.left() + 4, g.rows[0].row.center().y()}),
                        over(QColor(0, 122, 255, 38), Qt::white));
        const QRectF below(l.columns.middle.left(), g.rows[0].row.bottom() + 2, l.columns.middle.width(),
                           l.columns.middle.bottom() - g.rows[0].row.bottom() - 4);
        QCOMPARE(inkIn(image, below, Qt::white), 0);
    }

    void sidebarBadgesAndHighlight_data()
    {
        QTest::addColumn<int>("picture");
        QTest::newRow("overview") << 0;
        QTest::newRow("search") << 1;
    }

    void sidebarBadgesAndHighlight()
    {
        QFETCH(int, picture);
        const Layout l = layoutOf(picture);
        const auto sidebar = std::dynamic_pointer_cast<const ScreenshotSidebar>(l.composition->left);
        QVERIFY(sidebar);
        const auto g = sidebar->layout(l.columns.left);
        QCOMPARE(g.rows.size(), 8);
        const QImage &image = m_images[picture];
        const QColor accent = ScreenshotStyle::accent();
        const QColor background = ScreenshotStyle::sidebarBackground();

        const QStringList badged = {"Inbox", "2024", "Junk Email"};
        for (qsizetype i = 0; i < g.rows.size(); ++i) {
            const QString name = sidebar->folders[i].name;
            const auto &row = g.rows[i];
            const bool selected = name == QStringLiteral("Inbox");
            const QColor rowColour = selected ? accent : background;
            // Badge ends at the row's trailing padding; probe inside its end cap, clear of the digits.
            const QPointF badgeProbe(row.row.right() - 12 - 3.5, row.row.center().y());
            QColor expected = rowColour;
            if (badged.contains(name))
                expected = selected ? over(ScreenshotStyle::white(0.35), accent) : accent;
            QVERIFY2(near(probe(image, badgeProbe), expected), qPrintable(name));
            QCOMPARE(row.badge.has_value(), badged.contains(name));
            // The highlight covers the selected row only.
            QVERIFY2(near(probe(image, {row.row.left() + 4, row.row.center().y()}), rowColour), qPrintable(name));
        }
        // Sub folders of "Archive" sit 14 points further in.
        QCOMPARE(g.rows[4].symbol.left() - g.rows[3].symbol.left(), 14.0);
        QCOMPARE(g.rows[5].symbol.left(), g.rows[4].symbol.left());
        QCOMPARE(g.rows[6].symbol.left(), g.rows[0].symbol.left());
    }

    void overviewRowsShowDotsMarksAndClips()
    {
        const Layout l = layoutOf(0);
        const auto list = std::dynamic_pointer_cast<const ScreenshotMessageList>(l.composition->middle);
        QVERIFY(list);
        QCOMPARE(list->subtitleLine(), std::optional<QString>(QStringLiteral("10 messages")));
        const auto g = list->layout(l.columns.middle);
        QCOMPARE(g.rows.size(), 10);
        QVERIFY(g.rows[0].dot && g.rows[0].paperclip && g.rows[0].importanceOrigin);
        const QImage &image = m_images[0];
        const QColor accent = ScreenshotStyle::accent();
        const QColor selected = over(QColor(0, 122, 255, 38), Qt::white);
        // Where row 0 has its dot, clip and mark, relative to each row's top.
        const QPointF dotOffset = g.rows[0].dot->center() - g.rows[0].row.topLeft();
        const QRectF clipOffset = g.rows[0].paperclip->translated(-g.rows[0].row.topLeft());
        const QRectF markOffset =
            QRectF(*g.rows[0].importanceOrigin - QPointF(0, 9), QSizeF(8, 9)).translated(-g.rows[0].row.topLeft());

        const QSet<int> clipped = {0, 4, 5, 8};
        for (int i = 0; i < 10; ++i) {
            const auto &row = g.rows[i];
            const QColor rowColour = i == 0 ? selected : QColor(Qt::white);
            QCOMPARE(row.dot.has_value(), i < 3);
            QVERIFY2(near(probe(image, row.row.topLeft() + dotOffset), i < 3 ? accent : rowColour),
                     qPrintable(QString::number(i)));
            QCOMPARE(row.paperclip.has_value(), clipped.contains(i));
            const int clipInk = inkIn(image, clipOffset.translated(row.row.topLeft()), rowColour);
            QVERIFY2(clipped.contains(i) ? clipInk > 10 : clipInk == 0, qPrintable(QString::number(i)));
            QCOMPARE(row.importanceOrigin.has_value(), i == 0);
            const int red = redIn(image, markOffset.translated(row.row.topLeft()));
            QVERIFY2(i == 0 ? red > 10 : red == 0, qPrintable(QString::number(i)));
            QVERIFY2(near(probe(image, {row.row.left() + 4, row.row.center().y()}), rowColour),
                     qPrintable(QString::number(i)));
        }
    }

    void titleBarShowsButtonAndTitle_data()
    {
        QTest::addColumn<int>("picture");
        QTest::addColumn<bool>("hasTitle");
        QTest::newRow("overview") << 0 << true;
        QTest::newRow("search") << 1 << true;
        QTest::newRow("empty") << 2 << false;
    }

    void titleBarShowsButtonAndTitle()
    {
        QFETCH(int, picture);
        QFETCH(bool, hasTitle);
        const Layout l = layoutOf(picture);
        const QImage &image = m_images[picture];
        const QColor bar = ScreenshotStyle::titleBarBackground();
        QCOMPARE(l.chrome.title.has_value(), hasTitle);
        QCOMPARE(l.chrome.titleBar, QRectF(0, 0, 1440, 40));
        QCOMPARE_COLOUR(probe(image, {l.chrome.button.left() + 3, l.chrome.button.center().y()}),
                        over(ScreenshotStyle::grey(0.12), bar));
        QVERIFY(inkIn(image, l.chrome.buttonSymbol, over(ScreenshotStyle::grey(0.12), bar)) > 20);
        // Between the button and the right edge only the title may draw.
        const QRectF rest(l.chrome.button.right() + 4, 2, 1440 - l.chrome.button.right() - 8, 36);
        const int ink = inkIn(image, rest, bar);
        QVERIFY2(hasTitle ? ink > 100 : ink == 0, qPrintable(QString::number(ink)));
        if (hasTitle)
            QCOMPARE(inkIn(image, rest, bar), inkIn(image, l.chrome.title->adjusted(-1, -1, 1, 1), bar));
        QCOMPARE_COLOUR(probe(image, {700, 40.5}), over(ScreenshotStyle::separator(), Qt::white));
    }

    void sampleData()
    {
        const auto messages = sampleMessages();
        QCOMPARE(messages.size(), 10);
        QSet<QString> people;
        for (int i : {0, 1, 3, 4, 5})
            people.insert(messages[i].sender);
        QCOMPARE(people.size(), 5);
        for (const QString &person : people)
            QCOMPARE(person.split(u' ').size(), 2);
        QCOMPARE(messages[2].sender, QStringLiteral("Newsletter"));
        QVERIFY(messages[1].subject.contains(QChar(0x2013)));
        QVERIFY(messages[2].preview.contains(QChar(0x2014)));
        QVERIFY(messages[7].preview.contains(QChar(0x2013)));

        const DetailMessage detail = sampleDetail();
        QVERIFY(detail.from.startsWith(messages[0].sender + QStringLiteral(" <")));
        QVERIFY(detail.from.endsWith(u'>') && detail.from.contains(u'@'));
        QVERIFY(detail.to.contains(u'@') && detail.cc && detail.cc->contains(u'@') && detail.to != *detail.cc);
        const QStringList lines = detail.body.split(u'\n');
        QCOMPARE(lines.size(), 15);
        QCOMPARE(lines.first(), QStringLiteral("Hi,"));
        QCOMPARE(lines.last(), messages[0].sender.split(u' ').first());
        QCOMPARE(detail.attachments.size(), 4);
        QCOMPARE(detail.attachments.last().icon, QStringLiteral("envelope"));  // an attached message
        QVERIFY(sampleFolders().first().id != sampleFolders().first().id);
    }

    void searchFilter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("rows");
        QTest::newRow("report") << "report" << QList<int>{0};
        QTest::newRow("capitals") << "REPORT" << QList<int>{0};
        QTest::newRow("preview only") << "invoice 2026" << QList<int>{5};
        QTest::newRow("subject and preview") << "phoenix" << QList<int>{1};
        QTest::newRow("several") << "strategy" << QList<int>{3, 4};
        QTest::newRow("no match") << "zebra" << QList<int>{};
        QTest::newRow("empty keeps all") << "" << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    }

    void searchFilter()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, rows);
        const auto all = sampleMessages();
        const auto found = matchingSampleMessages(all, text);
        QCOMPARE(found.size(), rows.size());
        for (qsizetype i = 0; i < rows.size(); ++i)
            QCOMPARE(found[i].id, all[rows[i]].id);
    }
};

QTEST_MAIN(ScreenshotGeneratorTest)
#include "tst_screenshotgenerator.moc"
