#pragma once

#include "ScreenshotComposition.h"
#include "ScreenshotError.h"
#include "WindowChrome.h"
#include "model/Expected.h"

#include <QImage>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QUrl>
#include <memory>

namespace ostrel::ScreenshotGenerator {

// The three marketing pictures of the window, drawn from the built-in sample
// data. Needs a QGuiApplication; runs on the main thread, one picture after
// the other. Nothing in the application calls it.

struct Output {
    QString name;  // "01-overview.png"
    QUrl url;      // output directory plus name
    QSizeF pixelSize;

    friend bool operator==(const Output &, const Output &) = default;
};

struct Picture {
    QString name;
    std::shared_ptr<const WindowChrome> view;
};

inline constexpr qreal pictureWidth = 1440;
inline constexpr qreal pictureHeight = 900;
inline constexpr qreal pictureScale = 2.0;
inline const QString searchText = QStringLiteral("report");

std::shared_ptr<const ScreenshotComposition> overviewComposition();
std::shared_ptr<const ScreenshotComposition> searchComposition();
std::shared_ptr<const ScreenshotComposition> emptyComposition();
// A meeting request: its kind, fields and a quiet line for what could not be read.
std::shared_ptr<const ScreenshotComposition> itemComposition();

// The pictures in the order they are written.
QList<Picture> pictures();

// Draws the view at `size` points and `scale` device pixels per point.
Expected<QImage, ScreenshotError> render(const MockView &view, const QSizeF &size = {pictureWidth, pictureHeight},
                                         qreal scale = pictureScale);

// Encodes the image as PNG and writes it to directory/name, replacing any file.
Expected<Output, ScreenshotError> write(const QImage &image, const QString &name, const QString &directory);

// Creates the directory (and its parents) and writes the pictures; stops
// at the first error, leaving the files already written in place.
Expected<QList<Output>, ScreenshotError> generateAll(const QString &outputDirectory);

}  // namespace ostrel::ScreenshotGenerator
