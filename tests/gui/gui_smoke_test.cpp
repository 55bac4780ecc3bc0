#include <gtest/gtest.h>

#include <QWidget>

TEST(GuiPlatform, CreatesAWidgetOffscreen) {
    QWidget widget;
    widget.resize(100, 50);
    EXPECT_EQ(widget.width(), 100);
}
