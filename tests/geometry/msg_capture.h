// msg_capture.h - collects the numbered messages the geometry and model code send, for tests that
// check which message a failure reports.
#pragma once

#include <string>
#include <vector>

#include "framework/cycle.h"
#include "framework/messages.h"
#include "framework/output.h"

namespace qdtest {

inline std::vector<std::string>& capturedMessages() {
  static std::vector<std::string> texts;
  return texts;
}

inline int captureMessageRecord(CycleRecord*, OutputRecord* r) {
  capturedMessages().push_back(r->text.text);
  return 1;
}

// While alive: every message of any level goes to capturedMessages() as "<code>,<argument>".
class MessageCapture {
 public:
  MessageCapture() {
    msgResetState();
    capturedMessages().clear();
    cycle_.firstOutputPending = 0;
    cycRegisterLayer(&cycle_, 0, captureMessageRecord, captureMessageRecord, 1);
    out3dSetCycle(&cycle_);
    out3dSetMsgLevel(nullptr, 9);
  }
  ~MessageCapture() {
    msgResetState();
    cycFreeLayers(&cycle_);
  }
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

  // True when a message with this number was sent.
  static bool sent(int code) {
    const std::string prefix = std::to_string(code);
    for (const std::string& t : capturedMessages()) {
      if (t == prefix || t.rfind(prefix + ",", 0) == 0) return true;
    }
    return false;
  }

 private:
  CycleRecord cycle_;
};

}  // namespace qdtest
