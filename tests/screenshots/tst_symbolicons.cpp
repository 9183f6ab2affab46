#include "icons/SymbolIcons.h"
#include "model/FolderType.h"

#include <QImage>
#include <QPainter>
#include <QSet>
#include <QTest>
#include <QWidget>

using namespace ostrel;

namespace {

// Every symbol name the window, the screenshots and the shell ask for.
const QStringList designNames = {
    "tray",          "paperplane",   "doc",
    "trash",         "archivebox",   "exclamationmark.octagon",
    "calendar",      "person.crop.circle", "note.text",
    "checklist",     "folder",       "photo",
    "film",          "music.note",   "doc.richtext",
    "doc.text",      "tablecells",   "rectangle.on.rectangle",
    "doc.zipper",    "doc.plaintext", "folder.badge.plus",
    "sidebar.left",  "magnifyingglass", "envelope",
    "paperclip",     "exclamationmark.circle.fill", "heart",
};

QImage imageOf(const QString &name, const QColor &tint, int size = 48)
{
    return symbolPixmap(name, size, tint).toImage().convertToFormat(QImage::Format_ARGB32);
}

int maximumAlpha(const QImage &image)
{
    int maximum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            maximum = qMax(maximum, qAlpha(image.pixel(x, y)));
    return maximum;
}

// Black at half opacity: the secondary colour's kind of tint.
QColor halfBlack()
{
    QColor tint(0, 0, 0);
    tint.setAlphaF(0.5f);
    return tint;
}

// Bounds of every pixel that is not the background.
QRect inkBounds(const QImage &image, QRgb background)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != background)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

// Paints one translucent symbol at a fixed place in its own coordinates.
class SymbolWidget final : public QWidget {
public:
    using QWidget::QWidget;
    static constexpr QRect symbolRect{10, 10, 24, 24};

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        paintSymbol(painter, symbolRect, QStringLiteral("tray"), halfBlack());
    }
};

}  // namespace

class SymbolIconsTest : public QObject {
    Q_OBJECT

private slots:
    void everyDesignNameIsDrawn_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &name : designNames)
            QTest::newRow(qPrintable(name)) << name;
    }

    void everyDesignNameIsDrawn()
    {
        QFETCH(QString, name);
        QVERIFY(hasSymbol(name));
        QCOMPARE(resolvedSymbolName(name), name);

        const QColor tint(200, 40, 10);
        const QImage image = imageOf(name, tint);
        QCOMPARE(image.size(), QSize(48, 48));
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                if (qAlpha(pixel) < 250)
                    continue;
                ++opaque;
                // Solid pixels carry the tint and nothing else.
                QVERIFY2(qAbs(qRed(pixel) - 200) <= 2 && qAbs(qGreen(pixel) - 40) <= 2 && qAbs(qBlue(pixel) - 10) <= 2,
                         qPrintable(QStringLiteral("pixel %1,%2 is %3").arg(x).arg(y).arg(QColor(pixel).name())));
            }
        }
        QVERIFY2(opaque > 20, "the symbol draws hardly anything");
        // Drawn inside the square, not clipped at its edges.
        for (int i = 0; i < 48; ++i) {
            QVERIFY(qAlpha(image.pixel(i, 0)) < 128 && qAlpha(image.pixel(i, 47)) < 128);
            QVERIFY(qAlpha(image.pixel(0, i)) < 128 && qAlpha(image.pixel(47, i)) < 128);
        }
    }

    void tableHoldsTheModelsIconNames()
    {
        const QSet<QString> table(symbolNames().cbegin(), symbolNames().cend());
        for (FolderType type : allFolderTypes())
            QVERIFY2(table.contains(iconName(type)), qPrintable(iconName(type)));
        QCOMPARE(symbolNames().size(), designNames.size());
    }

    void symbolsAreDistinct()
    {
        QHash<QByteArray, QString> seen;
        for (const QString &name : designNames) {
            const QImage image = imageOf(name, Qt::black);
            const QByteArray bits(reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes());
            QVERIFY2(!seen.contains(bits), qPrintable(name + QStringLiteral(" looks exactly like ") + seen.value(bits)));
            seen.insert(bits, name);
        }
    }

    void unknownNameFallsBackToDocument_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("unknown") << QStringLiteral("no.such.symbol");
        QTest::newRow("empty") << QString();
        QTest::newRow("case differs") << QStringLiteral("Tray");
    }

    void unknownNameFallsBackToDocument()
    {
        QFETCH(QString, name);
        QVERIFY(!hasSymbol(name));
        QCOMPARE(resolvedSymbolName(name), QStringLiteral("doc"));
        QCOMPARE(imageOf(name, Qt::black), imageOf(QStringLiteral("doc"), Qt::black));
        QVERIFY(!symbolIcon(name, Qt::black).pixmap(32, 32).isNull());
    }

    void tintAlphaBecomesOpacity()
    {
        QVERIFY(qAbs(maximumAlpha(imageOf("tray", halfBlack())) - 128) <= 2);
        QCOMPARE(maximumAlpha(imageOf("tray", Qt::black)), 255);
    }

    // A translucent symbol is blended through a layer in device pixels; it must
    // still land where it was asked for under every transform but the world's.
    void translucentSymbolLandsInPlace_data()
    {
        QTest::addColumn<QPoint>("viewportOffset");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QPoint>("worldOffset");
        QTest::newRow("plain") << QPoint(0, 0) << 1.0 << QPoint(0, 0);
        QTest::newRow("viewport") << QPoint(20, 30) << 1.0 << QPoint(0, 0);
        QTest::newRow("viewport and world") << QPoint(20, 30) << 1.0 << QPoint(5, 7);
        QTest::newRow("ratio 2 and viewport") << QPoint(20, 30) << 2.0 << QPoint(0, 0);
    }

    void translucentSymbolLandsInPlace()
    {
        QFETCH(QPoint, viewportOffset);
        QFETCH(qreal, ratio);
        QFETCH(QPoint, worldOffset);
        QImage image(QSize(100, 100) * ratio, QImage::Format_ARGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            painter.setViewport(QRect(viewportOffset, QSize(100, 100)));
            painter.setWindow(0, 0, 100, 100);
            painter.translate(worldOffset);
            paintSymbol(painter, QRectF(10, 10, 24, 24), QStringLiteral("tray"), halfBlack());
        }
        const QRect expected = QRect(QPoint(10, 10) + viewportOffset + worldOffset, QSize(24, 24));
        const QRect ink = inkBounds(image, qRgb(255, 255, 255));
        const QRect expectedPixels(expected.topLeft() * ratio, expected.size() * ratio);
        QVERIFY2(!ink.isEmpty(), "nothing was drawn");
        QVERIFY2(expectedPixels.contains(ink), qPrintable(QStringLiteral("ink at %1,%2 %3x%4")
                                                               .arg(ink.x()).arg(ink.y())
                                                               .arg(ink.width()).arg(ink.height())));
    }

    // In a window a child widget paints through its offset in the window.
    void translucentSymbolLandsInPlaceInAChildWidget()
    {
        QWidget window;
        window.resize(120, 100);
        window.setAutoFillBackground(true);
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, Qt::white);
        window.setPalette(palette);
        auto *child = new SymbolWidget(&window);
        child->setGeometry(40, 30, 60, 60);
        const QImage image = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
        const QRect ink = inkBounds(image, qRgb(255, 255, 255));
        QVERIFY2(!ink.isEmpty(), "nothing was drawn");
        QVERIFY(SymbolWidget::symbolRect.translated(40, 30).contains(ink));
    }

    void pixmapHonoursDevicePixelRatio()
    {
        const QPixmap pixmap = symbolPixmap("envelope", 16, Qt::black, 2.0);
        QCOMPARE(pixmap.size(), QSize(32, 32));
        QCOMPARE(pixmap.devicePixelRatio(), 2.0);
        QCOMPARE(pixmap.deviceIndependentSize(), QSizeF(16, 16));
    }

    void iconRendersAtRequestedSizesAndModes()
    {
        const QIcon icon = symbolIcon("folder", QColor(0, 122, 255));
        QVERIFY(!icon.isNull());
        const QImage normal = icon.pixmap(QSize(32, 32)).toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(normal.size(), QSize(32, 32));
        QCOMPARE(normal, imageOf("folder", QColor(0, 122, 255), 32));
        const QImage disabled =
            icon.pixmap(QSize(32, 32), QIcon::Disabled).toImage().convertToFormat(QImage::Format_ARGB32);
        QVERIFY(qAbs(maximumAlpha(disabled) - 102) <= 2);
        const QPixmap large = icon.pixmap(QSize(20, 20), 3.0);
        QCOMPARE(large.size(), QSize(60, 60));
    }

    void svgCarriesTheTint()
    {
        const QByteArray svg = symbolSvg("tray", QColor(18, 52, 86));
        QVERIFY(svg.contains("#123456"));
        QVERIFY(!svg.contains("currentColor"));
    }

    void applicationIconIsInColour()
    {
        const QIcon icon = applicationIcon();
        QVERIFY(!icon.isNull());
        QVERIFY(applicationIconSvg().startsWith("<svg"));
        const QImage image = icon.pixmap(QSize(256, 256)).toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(256, 256));
        // The blue plate near a corner, the white letter in the middle.
        const QColor plate = image.pixelColor(40, 200);
        QVERIFY2(plate.blue() > 150 && plate.red() < 80, qPrintable(plate.name()));
        QCOMPARE(qAlpha(image.pixel(2, 2)), 0);
        QCOMPARE(image.pixelColor(128, 180), QColor(Qt::white));
    }
};

QTEST_MAIN(SymbolIconsTest)
#include "tst_symbolicons.moc"
