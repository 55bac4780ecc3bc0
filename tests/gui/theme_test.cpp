// The dark theme's palette reads well, and so do refusals on it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>

#include "app/qt_theme.h"
#include "base/contrast_ratio.h"
#include "panel/qt_refusal_label.h"
#include "support/row_name.h"

namespace tavlin::test {
namespace {

Rgb ToRgb(const QColor& c) {
    return {static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
            static_cast<std::uint8_t>(c.blue())};
}

struct ContrastPairRow {
    const char* name;
    QPalette::ColorGroup group;
    QPalette::ColorRole text;
    QPalette::ColorRole background;
    double least;  // 4.5 for text; greyed text is meant to read less
};

class DarkPaletteContrast : public ::testing::TestWithParam<ContrastPairRow> {};

TEST_P(DarkPaletteContrast, TextReadsOnItsBackground) {
    const ContrastPairRow& row = GetParam();
    const QPalette dark = QtTheme::DarkPalette();
    EXPECT_GE(ContrastRatio(ToRgb(dark.color(row.group, row.text)),
                            ToRgb(dark.color(row.group, row.background))),
              row.least);
}

using P = QPalette;
INSTANTIATE_TEST_SUITE_P(
    Pairs, DarkPaletteContrast,
    ::testing::Values(
        ContrastPairRow{"Window", P::Active, P::WindowText, P::Window, 4.5},
        ContrastPairRow{"Text", P::Active, P::Text, P::Base, 4.5},
        ContrastPairRow{"Button", P::Active, P::ButtonText, P::Button, 4.5},
        ContrastPairRow{"ToolTip", P::Active, P::ToolTipText, P::ToolTipBase, 4.5},
        ContrastPairRow{"Selection", P::Active, P::HighlightedText, P::Highlight, 4.5},
        ContrastPairRow{"Placeholder", P::Active, P::PlaceholderText, P::Base, 4.5},
        ContrastPairRow{"Link", P::Active, P::Link, P::Base, 4.5},
        ContrastPairRow{"Disabled", P::Disabled, P::WindowText, P::Window, 3.0},
        ContrastPairRow{"DisabledButton", P::Disabled, P::ButtonText, P::Button, 3.0}),
    kRowName);

// GTK_THEME says dark; once it no longer does, the desktop's theme change
// brings the window back to light.
TEST(ThemeFollowingTheDesktop, TurnsDarkAndBackWithIt) {
    QtTheme theme;
    qputenv("GTK_THEME", "Adwaita:dark");
    theme.Apply(ThemeChoice::kFollowDesktop);
    EXPECT_TRUE(QtTheme::PaletteIsDark(QApplication::palette()));
    qunsetenv("GTK_THEME");
    QEvent change(QEvent::ThemeChange);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &change);
    QCoreApplication::processEvents();
    EXPECT_FALSE(QtTheme::PaletteIsDark(QApplication::palette()));
}

// A refusal in the light theme's dark red would hardly read on the dark
// window: the label takes a light red when the palette turns dark.
TEST(RefusalInk, FollowsTheTheme) {
    QtRefusalLabel label;
    QtTheme theme;
    theme.Apply(ThemeChoice::kDark);
    QCoreApplication::processEvents();  // the palette reaches widgets from the loop
    const QPalette dark = label.palette();
    ASSERT_TRUE(QtTheme::PaletteIsDark(dark));
    EXPECT_GE(
        ContrastRatio(ToRgb(dark.color(QPalette::WindowText)), ToRgb(dark.color(QPalette::Window))),
        4.5);
}

}  // namespace
}  // namespace tavlin::test
