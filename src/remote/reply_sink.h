#pragma once

#include <string>

namespace tavlin {

// Where query replies go: the automation server's data port, or the
// console's standard output.
//
// The rule for text not yet sent: a marker query's line replaces it (a
// client that asks twice before reading gets the newer answer), while the
// trace and the common queries (*IDN?, *OPC?) append to it, so that their
// lines are never lost behind a later query. Every reply ends in CR LF.
class ReplySink {
  public:
    virtual ~ReplySink() = default;
    virtual void ReplaceReply(const std::string& text) = 0;
    virtual void AppendReply(const std::string& text) = 0;
};

}  // namespace tavlin
