// An output port that keeps what tarvex's own routines write, so that tarvex-shard can learn a
// single run's messages (the criteria lists' warnings, the end of a walk) without running
// tarvex. The texts are owned by the capture; report lines are dropped (none is written by the
// routines it is given to).
#pragma once

#include <string>
#include <string_view>

#include "output/output_port.h"

namespace tarvex::shard {

class MessageCapture : public OutputPort {
 public:
  void write(Channel channel, std::string_view bytes) override {
    if (channel == Channel::kStdout) stdoutText.append(bytes);
    if (channel == Channel::kStderr) stderrText.append(bytes);
  }

  std::string stdoutText;
  std::string stderrText;
};

}  // namespace tarvex::shard
