#pragma once

#include <string>

namespace tavlin {

// Where query replies go: the automation server's data port, or the
// console's standard output.
//
// Every reply is added after the ones before it and none is replaced or
// dropped: a script that sends many queries in one write reads one answer
// per query, in their order, however the threads meet. Every reply ends in
// CR LF.
class ReplySink {
  public:
    virtual ~ReplySink() = default;
    virtual void AppendReply(const std::string& text) = 0;
};

}  // namespace tavlin
