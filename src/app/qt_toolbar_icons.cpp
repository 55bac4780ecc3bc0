#include "app/qt_toolbar_icons.h"

#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <functional>

namespace tavlin {

namespace {

constexpr int kSide = 16;

QIcon Drawn(const std::function<void(QPainter&)>& draw) {
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    draw(painter);
    painter.end();
    return QIcon(pixmap);
}

QIcon Themed(const char* name, const QIcon& fallback) {
    return QIcon::fromTheme(QString::fromLatin1(name), fallback);
}

void DrawSheet(QPainter& p, int x, int y, int w, int h) {
    p.setBrush(Qt::white);
    p.drawRect(x, y, w, h);
    for (int line = y + 3; line < y + h - 1; line += 3) {
        p.drawLine(x + 2, line, x + w - 2, line);
    }
}

}  // namespace

QIcon QtToolbarIcons::New(const QStyle& style) {
    return Themed("document-new", style.standardIcon(QStyle::SP_FileIcon));
}

QIcon QtToolbarIcons::Recall(const QStyle& style) {
    return Themed("document-open", style.standardIcon(QStyle::SP_DialogOpenButton));
}

QIcon QtToolbarIcons::Save(const QStyle& style) {
    return Themed("document-save", style.standardIcon(QStyle::SP_DialogSaveButton));
}

QIcon QtToolbarIcons::About(const QStyle& style) {
    return Themed("help-about", style.standardIcon(QStyle::SP_MessageBoxQuestion));
}

QIcon QtToolbarIcons::Cut() {
    return Themed("edit-cut", Drawn([](QPainter& p) {
                      // Bare lines: a light edge under them keeps them
                      // visible on a dark tool bar.
                      const QPen ink = p.pen();
                      for (const QPen& pen : {QPen(QColor(255, 255, 255, 190), 3), ink}) {
                          p.setPen(pen);
                          p.drawLine(4, 1, 10, 11);
                          p.drawLine(11, 1, 5, 11);
                          p.setBrush(Qt::NoBrush);
                          p.drawEllipse(QPointF(4, 13), 2.5, 2.5);
                          p.drawEllipse(QPointF(11, 13), 2.5, 2.5);
                      }
                  }));
}

QIcon QtToolbarIcons::Copy() {
    return Themed("edit-copy", Drawn([](QPainter& p) {
                      DrawSheet(p, 1, 1, 9, 10);
                      DrawSheet(p, 6, 5, 9, 10);
                  }));
}

QIcon QtToolbarIcons::Paste() {
    return Themed("edit-paste", Drawn([](QPainter& p) {
                      p.setBrush(QColor(176, 128, 64));
                      p.drawRect(1, 2, 11, 13);
                      p.setBrush(Qt::gray);
                      p.drawRect(4, 1, 5, 3);
                      DrawSheet(p, 7, 6, 8, 9);
                  }));
}

QIcon QtToolbarIcons::Print() {
    return Themed("document-print", Drawn([](QPainter& p) {
                      DrawSheet(p, 4, 1, 8, 6);
                      p.setBrush(Qt::lightGray);
                      p.drawRect(1, 7, 14, 6);
                      p.setBrush(Qt::white);
                      p.drawRect(4, 11, 8, 4);
                  }));
}

}  // namespace tavlin
