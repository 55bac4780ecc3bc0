#pragma once

#include <string_view>

namespace tavlin {

// The lines of a small table file the user wrote or a spreadsheet saved, one
// at a time, without the byte-order mark a "CSV UTF-8" save puts first, with
// blanks and a Windows line end cut off both ends, and without the blank and
// `#` comment lines. Line numbers count every line of the file, so an error
// can name the line the user sees in an editor.
class CsvLines {
  public:
    explicit CsvLines(std::string_view text);

    // The next line holding something; false at the end of the text.
    bool Next(std::string_view& line);
    int LineNumber() const { return lineNumber_; }

    // `field` without blanks or a carriage return at either end.
    static std::string_view Trimmed(std::string_view field);

  private:
    std::string_view rest_;
    int lineNumber_ = 0;
};

}  // namespace tavlin
