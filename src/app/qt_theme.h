#pragma once

#include <QObject>
#include <QPalette>
#include <QString>
#include <optional>
#include <string>

class QEvent;

namespace tavlin {

// View > Theme: what the whole window looks like. The plot keeps its own
// colour scheme (Settings) whatever the theme.
enum class ThemeChoice { kFollowDesktop, kLight, kDark };

// The application's style and palette. Dark is the Fusion style with a
// palette of our own, every role set in every group, so that no colour of
// the desktop's light scheme shows through. Light and Follow Desktop keep
// the desktop's own style and palette where they are light.
//
// The desktop is asked at every choice and again whenever Qt says its theme
// or palette changed: a dark palette of the platform theme (its window
// darker than its text), or GTK_THEME ending ":dark", means dark.
class QtTheme final : public QObject {
    Q_OBJECT

  public:
    static constexpr const char* kMenuCaption = "Theme";

    // Notes the desktop's own style; changes nothing until Apply.
    QtTheme();
    // Leaves the application's style and palette as they were found.
    ~QtTheme() override;
    QtTheme(const QtTheme&) = delete;
    QtTheme& operator=(const QtTheme&) = delete;

    void Apply(ThemeChoice choice);
    ThemeChoice Choice() const { return choice_; }
    bool Dark() const { return dark_; }

    static QPalette DarkPalette();
    static bool PaletteIsDark(const QPalette& palette);
    static bool DesktopPrefersDark(const QPalette& desktop, const QString& gtkTheme);

    // The menu's words, and the names the settings and --theme use.
    static QString Caption(ThemeChoice choice);
    static std::string Name(ThemeChoice choice);
    static std::optional<ThemeChoice> FromName(const std::string& name);

  Q_SIGNALS:
    void applied();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Refresh();
    void UseStyle(const QString& name);

    QString desktopStyle_;
    ThemeChoice choice_ = ThemeChoice::kFollowDesktop;
    bool dark_ = false;
    bool applying_ = false;
    bool refreshPending_ = false;
};

}  // namespace tavlin
