#include "app/qt_theme.h"

#include <QApplication>
#include <QColor>
#include <QEvent>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <array>

#include "base/contrast_ratio.h"

namespace tavlin {

namespace {

constexpr const char* kDarkStyle = "Fusion";
constexpr const char* kGtkDarkVariant = ":dark";

struct RoleColour {
    QPalette::ColorRole role;
    QColor colour;
};

// Every role of the active and inactive groups. The text colours read at
// 4.5:1 or better on the backgrounds they are drawn on; the highlight is a
// blue deep enough for white text, the links light enough for the base.
const std::array<RoleColour, 20> kDarkRoles{{
    {QPalette::Window, QColor(45, 45, 48)},
    {QPalette::WindowText, QColor(230, 230, 230)},
    {QPalette::Base, QColor(30, 30, 32)},
    {QPalette::AlternateBase, QColor(45, 45, 48)},
    {QPalette::ToolTipBase, QColor(60, 60, 64)},
    {QPalette::ToolTipText, QColor(240, 240, 240)},
    {QPalette::PlaceholderText, QColor(160, 160, 160)},
    {QPalette::Text, QColor(230, 230, 230)},
    {QPalette::Button, QColor(60, 60, 64)},
    {QPalette::ButtonText, QColor(230, 230, 230)},
    {QPalette::BrightText, QColor(255, 110, 110)},
    {QPalette::Light, QColor(90, 90, 95)},
    {QPalette::Midlight, QColor(72, 72, 76)},
    {QPalette::Mid, QColor(50, 50, 54)},
    {QPalette::Dark, QColor(25, 25, 27)},
    {QPalette::Shadow, QColor(0, 0, 0)},
    {QPalette::Highlight, QColor(42, 110, 190)},
    {QPalette::HighlightedText, QColor(255, 255, 255)},
    {QPalette::Link, QColor(100, 170, 255)},
    {QPalette::LinkVisited, QColor(190, 150, 255)},
}};

// What cannot be used yet is greyed, still at 3:1 on its background, and a
// selection in a window without focus or a disabled one is no longer blue.
const std::array<RoleColour, 8> kDarkDisabledRoles{{
    {QPalette::WindowText, QColor(150, 150, 150)},
    {QPalette::Text, QColor(150, 150, 150)},
    {QPalette::ButtonText, QColor(150, 150, 150)},
    {QPalette::PlaceholderText, QColor(120, 120, 120)},
    {QPalette::Base, QColor(40, 40, 43)},
    {QPalette::Button, QColor(50, 50, 54)},
    {QPalette::Highlight, QColor(70, 70, 75)},
    {QPalette::HighlightedText, QColor(200, 200, 200)},
}};

Rgb ToRgb(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return {static_cast<std::uint8_t>(rgb.red()), static_cast<std::uint8_t>(rgb.green()),
            static_cast<std::uint8_t>(rgb.blue())};
}

}  // namespace

QtTheme::QtTheme() : desktopStyle_(QApplication::style()->name()) {
    QApplication::instance()->installEventFilter(this);
}

QtTheme::~QtTheme() {
    QApplication::instance()->removeEventFilter(this);
    applying_ = true;
    UseStyle(desktopStyle_);
    QApplication::setPalette(QPalette());
}

QPalette QtTheme::DarkPalette() {
    QPalette palette;
    for (const RoleColour& entry : kDarkRoles) {
        palette.setColor(QPalette::All, entry.role, entry.colour);
    }
    for (const RoleColour& entry : kDarkDisabledRoles) {
        palette.setColor(QPalette::Disabled, entry.role, entry.colour);
    }
    return palette;
}

bool QtTheme::PaletteIsDark(const QPalette& palette) {
    return RelativeLuminance(ToRgb(palette.color(QPalette::Active, QPalette::Window))) <
           RelativeLuminance(ToRgb(palette.color(QPalette::Active, QPalette::WindowText)));
}

bool QtTheme::DesktopPrefersDark(const QPalette& desktop, const QString& gtkTheme) {
    return PaletteIsDark(desktop) || gtkTheme.endsWith(QString::fromLatin1(kGtkDarkVariant));
}

QString QtTheme::Caption(ThemeChoice choice) {
    switch (choice) {
        case ThemeChoice::kLight:
            return QStringLiteral("Light");
        case ThemeChoice::kDark:
            return QStringLiteral("Dark");
        case ThemeChoice::kFollowDesktop:
            break;
    }
    return QStringLiteral("Follow Desktop");
}

std::string QtTheme::Name(ThemeChoice choice) {
    switch (choice) {
        case ThemeChoice::kLight:
            return "light";
        case ThemeChoice::kDark:
            return "dark";
        case ThemeChoice::kFollowDesktop:
            break;
    }
    return "desktop";
}

std::optional<ThemeChoice> QtTheme::FromName(const std::string& name) {
    for (const ThemeChoice choice :
         {ThemeChoice::kFollowDesktop, ThemeChoice::kLight, ThemeChoice::kDark}) {
        if (Name(choice) == name) {
            return choice;
        }
    }
    return std::nullopt;
}

void QtTheme::Apply(ThemeChoice choice) {
    choice_ = choice;
    Refresh();
}

// The application's own palette is taken away first, so that the desktop's
// can be read: Qt shows it only while the application has none. Light keeps
// it unless it is dark, then takes the style's own light palette. The style
// changes only when the look does: a new style polishes every widget again.
void QtTheme::Refresh() {
    refreshPending_ = false;
    applying_ = true;
    QApplication::setPalette(QPalette());
    dark_ = choice_ == ThemeChoice::kDark ||
            (choice_ == ThemeChoice::kFollowDesktop &&
             DesktopPrefersDark(QApplication::palette(), qEnvironmentVariable("GTK_THEME")));
    UseStyle(dark_ ? QString::fromLatin1(kDarkStyle) : desktopStyle_);
    if (dark_) {
        QApplication::setPalette(DarkPalette());
    } else if (PaletteIsDark(QApplication::palette())) {
        QApplication::setPalette(QApplication::style()->standardPalette());
    }
    applying_ = false;
    Q_EMIT applied();
}

void QtTheme::UseStyle(const QString& name) {
    if (QApplication::style()->name().compare(name, Qt::CaseInsensitive) == 0) {
        return;
    }
    if (QStyle* style = QStyleFactory::create(name)) {
        QApplication::setStyle(style);
    }
}

// A change of the desktop's theme reaches every window, and its palette the
// application: one look at the desktop, after the events, answers them all.
// What this class sets itself is not a change of the desktop.
bool QtTheme::eventFilter(QObject* watched, QEvent* event) {
    const bool desktopChanged =
        event->type() == QEvent::ThemeChange ||
        (event->type() == QEvent::ApplicationPaletteChange && watched == QApplication::instance());
    if (desktopChanged && !applying_ && !refreshPending_) {
        refreshPending_ = true;
        QTimer::singleShot(0, this, &QtTheme::Refresh);
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tavlin
