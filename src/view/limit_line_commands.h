#pragma once

#include <filesystem>
#include <string>

namespace tavlin {

class EntryDialogs;
class AnalyzerDocument;

// The Trace menu: store trace A as trace B, show trace B, and the pair of
// horizontal limit lines, all held as screen rows, or limit lines from a mask
// of levels against frequency.
class LimitLineCommands {
  public:
    LimitLineCommands(AnalyzerDocument& document, EntryDialogs& dialogs)
        : doc_(document), dialogs_(dialogs) {}

    void OnTraceAToB();
    void OnViewTraceB();
    // Shows or hides the A-B line.
    void OnTraceMath();
    void OnLimitLines();
    // Limit lines from a mask file, on at once. A file that cannot be read
    // or is refused changes nothing and says why in `error`.
    bool LoadLimitMask(const std::filesystem::path& path, std::string& error);

    bool TraceBShown() const;
    bool TraceMathShown() const;
    bool LimitLinesOn() const;

  private:
    AnalyzerDocument& doc_;
    EntryDialogs& dialogs_;
};

}  // namespace tavlin
