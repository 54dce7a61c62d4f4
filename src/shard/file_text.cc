#include "shard/file_text.h"

#include <fstream>
#include <sstream>

namespace tarvex::shard {

std::string fileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace tarvex::shard
