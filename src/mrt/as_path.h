// The AS path of one UPDATE message, and its text.
//
// An `AsPath` refers to the validated AS_PATH (and, for 2-byte sessions, AS4_PATH) bytes of the
// message in the record buffer; it is valid as long as the `BgpUpdate` that points to it. The
// text is built on first use into a buffer that the decoder keeps from message to message, so
// messages whose path is never printed or compared never pay for it.
#pragma once

#include <string>
#include <string_view>

namespace tarvex::mrt {

class AsPath {
 public:
  /// The path as text: AS_SEQUENCE members joined by one space, AS_SET as {a,b},
  /// AS_CONFED_SEQUENCE as (a b), AS_CONFED_SET as [a,b], one space between segments.
  std::string_view text() const;

 private:
  friend class AsPathBuilder;
  mutable std::string text_;
  mutable bool built_ = false;
};

}  // namespace tarvex::mrt
