#pragma once

#include <QIcon>

class QStyle;

namespace tavlin {

// The toolbar's pictures: the desktop theme's where it has one, else the
// style's standard pixmaps, else a small drawing of our own (the style has
// no scissors, copy, paste or printer).
class QtToolbarIcons {
  public:
    static QIcon New(const QStyle& style);
    static QIcon Recall(const QStyle& style);
    static QIcon Save(const QStyle& style);
    static QIcon Cut();
    static QIcon Copy();
    static QIcon Paste();
    static QIcon Print();
    static QIcon About(const QStyle& style);
};

}  // namespace tavlin
