#pragma once

namespace tavlin {

// The modeless "Collecting Data... Please Wait" dialog, driven from whichever
// thread reads the calibration memory or streams a narrow-span capture.
class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    virtual void Show() = 0;
    virtual void SetPosition(int percent) = 0;  // 0 .. 100
    virtual void Hide() = 0;
    // True once the user has given up waiting (closed the dialog at start-up):
    // a long read stops early and reports itself incomplete. Any thread may ask.
    virtual bool Cancelled() const { return false; }
};

class NullProgressSink final : public ProgressSink {
  public:
    void Show() override {}
    void SetPosition(int) override {}
    void Hide() override {}
};

}  // namespace tavlin
