#include "mrt/as_path.h"

namespace tarvex::mrt {

std::string_view AsPath::text() const {
  return text_;
}

}  // namespace tarvex::mrt
