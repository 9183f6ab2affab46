#pragma once

#include "MockView.h"
#include "ScreenshotSamples.h"

#include <QList>
#include <QPointF>
#include <optional>

namespace ostrel {

// One folder of the sidebar: symbol, name and, with unread mail, the badge.
class ScreenshotFolderRow {
public:
    SidebarFolder folder;
    bool isSelected = false;

    struct Geometry {
        QRectF row;
        QRectF symbol;
        QPointF nameOrigin;  // baseline origin
        qreal nameWidth = 0;
        std::optional<QRectF> badge;  // the capsule
        QPointF badgeTextOrigin;
    };

    static constexpr qreal indentPerLevel = 14;

    qreal height() const;
    Geometry layout(const QRectF &row) const;
    void paint(QPainter &painter, const QRectF &row) const;
};

class ScreenshotSidebar final : public MockView {
public:
    QList<SidebarFolder> folders;
    QString selectedName;
    QString filename;

    struct Geometry {
        QRectF background;
        QPointF filenameOrigin;  // baseline origin
        QList<ScreenshotFolderRow::Geometry> rows;  // one per folder, in order
    };

    ScreenshotSidebar(QList<SidebarFolder> folders, QString selectedName, QString filename);

    QList<ScreenshotFolderRow> rows() const;
    Geometry layout(const QRectF &rect) const;
    void paint(QPainter &painter, const QRectF &rect) const override;
};

// The sidebar before any archive is open.
class ScreenshotEmptySidebar final : public MockView {
public:
    struct Geometry {
        QRectF symbol;
        QPointF textOrigin;
        QRectF button;  // the capsule
        QPointF buttonTextOrigin;
    };

    static QString text();

    Geometry layout(const QRectF &rect) const;
    void paint(QPainter &painter, const QRectF &rect) const override;
};

}  // namespace ostrel
