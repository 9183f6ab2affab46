#include "ScreenshotGenerator.h"

#include "ScreenshotMessageDetail.h"
#include "ScreenshotMessageList.h"
#include "ScreenshotSamples.h"
#include "ScreenshotSidebar.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <filesystem>
#include <system_error>

namespace ostrel::ScreenshotGenerator {

namespace {

const QString archiveName = QStringLiteral("Archive_2025.pst");

std::shared_ptr<const ScreenshotComposition> withSidebarAndDetail(std::shared_ptr<const MockView> middle,
                                                                  DetailMessage detail = sampleDetail())
{
    return std::make_shared<ScreenshotComposition>(
        std::make_shared<ScreenshotSidebar>(sampleFolders(), QStringLiteral("Inbox"), archiveName), std::move(middle),
        std::make_shared<ScreenshotMessageDetail>(std::move(detail)));
}

QString translate(const char *text)
{
    return QCoreApplication::translate("ScreenshotGenerator", text);
}

}  // namespace

std::shared_ptr<const ScreenshotComposition> overviewComposition()
{
    return withSidebarAndDetail(std::make_shared<ScreenshotMessageList>(
        sampleMessages(), sampleDetail().subject, QStringLiteral("Inbox"), QStringLiteral("10 messages"), std::nullopt));
}

std::shared_ptr<const ScreenshotComposition> searchComposition()
{
    return withSidebarAndDetail(std::make_shared<ScreenshotMessageList>(
        matchingSampleMessages(sampleMessages(), searchText), sampleDetail().subject, QStringLiteral("Inbox"),
        std::nullopt, searchText));
}

std::shared_ptr<const ScreenshotComposition> itemComposition()
{
    return withSidebarAndDetail(std::make_shared<ScreenshotMessageList>(sampleMessages(), QString(),
                                                                        QStringLiteral("Inbox"),
                                                                        QStringLiteral("10 messages"), std::nullopt),
                                sampleMeetingDetail());
}

std::shared_ptr<const ScreenshotComposition> emptyComposition()
{
    return std::make_shared<ScreenshotComposition>(
        std::make_shared<ScreenshotEmptySidebar>(),
        std::make_shared<ScreenshotEmptyDetailPlaceholder>(QStringLiteral("sidebar.left"), QStringLiteral("Select a folder")),
        std::make_shared<ScreenshotEmptyDetailPlaceholder>(QStringLiteral("envelope"), QStringLiteral("Select a message")));
}

QList<Picture> pictures()
{
    return {
        Picture{QStringLiteral("01-overview.png"), std::make_shared<WindowChrome>(archiveName, overviewComposition())},
        Picture{QStringLiteral("02-search.png"), std::make_shared<WindowChrome>(archiveName, searchComposition())},
        Picture{QStringLiteral("03-empty.png"), std::make_shared<WindowChrome>(std::nullopt, emptyComposition())},
        Picture{QStringLiteral("04-item.png"), std::make_shared<WindowChrome>(archiveName, itemComposition())},
    };
}

Expected<QImage, ScreenshotError> render(const MockView &view, const QSizeF &size, qreal scale)
{
    const QSize pixels(qRound(size.width() * scale), qRound(size.height() * scale));
    QImage image;
    if (pixels.width() > 0 && pixels.height() > 0)
        image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return ScreenshotError::generator(ScreenshotError::renderingFailed);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::white);

    QPainter painter(&image);
    if (!painter.isActive())
        return ScreenshotError::generator(ScreenshotError::renderingFailed);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    // Left to right whatever the application's layout direction.
    painter.setLayoutDirection(Qt::LeftToRight);
    view.paint(painter, QRectF(QPointF(0, 0), size));
    painter.end();
    return image;
}

Expected<Output, ScreenshotError> write(const QImage &image, const QString &name, const QString &directory)
{
    if (image.isNull())
        return ScreenshotError::generator(ScreenshotError::renderingFailed);

    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        if (!writer.write(image) || png.isEmpty())
            return ScreenshotError::generator(ScreenshotError::encodingFailed);
    }

    const QString path = QDir(directory).filePath(name);
    // Written beside the target and renamed over it, so an existing picture is
    // replaced whole or not at all.
    QSaveFile file(path);
    const auto failure = [&file, &path] {
        return ScreenshotError{QStringLiteral("QFileDevice"), int(file.error()),
                               translate("Cannot write “%1”: %2").arg(QDir::toNativeSeparators(path), file.errorString())};
    };
    if (!file.open(QIODevice::WriteOnly))
        return failure();
    if (file.write(png) != png.size()) {
        ScreenshotError error = failure();
        file.cancelWriting();
        return error;
    }
    if (!file.commit())
        return failure();
    return Output{name, QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()), QSizeF(image.size())};
}

Expected<QList<Output>, ScreenshotError> generateAll(const QString &outputDirectory)
{
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(outputDirectory.toStdU16String()), ec);
    if (ec) {
        return ScreenshotError{QString::fromLatin1(ec.category().name()), ec.value(),
                               translate("Cannot create the folder “%1”: %2")
                                   .arg(QDir::toNativeSeparators(outputDirectory),
                                        QString::fromLocal8Bit(ec.message()))};
    }

    QList<Output> outputs;
    for (const Picture &picture : pictures()) {
        auto image = render(*picture.view);
        if (!image)
            return image.error();
        auto output = write(*image, picture.name, outputDirectory);
        if (!output)
            return output.error();
        outputs.append(*output);
    }
    return outputs;
}

}  // namespace ostrel::ScreenshotGenerator
