#include "output/report_line.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstring>
#include <string>

#include "mrt/as_path.h"

namespace tarvex {

namespace {

constexpr std::uint32_t kMpReachBit = mrt::attributeBit(mrt::kAttrMpReachNlri);

char* appendDecimal(char* out, std::uint32_t value) {
  char digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) *out++ = digits[--count];
  return out;
}

void appendAddress(std::string& line, const mrt::BgpUpdate& entry,
                   const std::array<std::uint8_t, 16>& address) {
  if (entry.addressFamily == mrt::kAfiIpv6) {
    char text[INET6_ADDRSTRLEN];
    inet_ntop(AF_INET6, address.data(), text, sizeof text);
    line += text;
    return;
  }
  if (address[0] == 0 && address[1] == 0 && address[2] == 0 && address[3] == 0) {
    line += "NA";
    return;
  }
  char text[16];
  char* end = text;
  for (int i = 0; i < 4; ++i) {
    if (i != 0) *end++ = '.';
    end = appendDecimal(end, address[static_cast<std::size_t>(i)]);
  }
  line.append(text, end);
}

}  // namespace

const char* unsignedToText(std::uint32_t value) {
  thread_local char buffer[11];
  *appendDecimal(buffer, value) = '\0';
  return buffer;
}

std::string_view formatPrefixText(const mrt::Ipv4Prefix& prefix, char (&buffer)[24]) {
  // The decimal text of every octet, padded to four bytes so that each is one copy; a copy may
  // write past the digits, into room that the next field overwrites.
  struct OctetTexts {
    char text[256][4];
    std::uint8_t length[256];
  };
  static constexpr OctetTexts kOctets = [] {
    OctetTexts table{};
    for (unsigned value = 0; value < 256; ++value) {
      char digits[3];
      unsigned count = 0;
      unsigned rest = value;
      do {
        digits[count++] = static_cast<char>('0' + rest % 10);
        rest /= 10;
      } while (rest != 0);
      for (unsigned i = 0; i < count; ++i) table.text[value][i] = digits[count - 1 - i];
      table.length[value] = static_cast<std::uint8_t>(count);
    }
    return table;
  }();
  char* end = buffer;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const unsigned octet = (prefix.address >> shift) & 0xff;
    std::memcpy(end, kOctets.text[octet], 4);
    end += kOctets.length[octet];
    *end++ = shift == 0 ? '/' : '.';
  }
  end = appendDecimal(end, prefix.length);
  return {buffer, static_cast<std::size_t>(end - buffer)};
}

void MessageLines::print(std::string_view prefixText, OutputPort& out) {
  bool withdrawal;
  if (!entry_.withdrawn.empty()) {
    withdrawal = true;
  } else if (!entry_.announced.empty() || (entry_.attributeFlags & kMpReachBit) != 0) {
    withdrawal = false;
  } else {
    return;
  }

  // One buffer per thread, kept from line to line, so a line costs no allocation. It holds the
  // head of the last message that printed on this thread; another message builds its own.
  thread_local std::string line;
  thread_local const MessageLines* owner = nullptr;
  if (!started_ || owner != this) {
    line.clear();
    char number[24];
    auto [timeEnd, error] = std::to_chars(number, number + sizeof number, entry_.time);
    (void)error;
    line.append(number, timeEnd);
    line += withdrawal ? "|W|" : "|A|";
    appendAddress(line, entry_, entry_.peerAddress);
    line += "|AS";
    line += unsignedToText(entry_.peerAs);
    line += '|';
    appendAddress(line, entry_, entry_.localAddress);
    line += "|AS";
    line += unsignedToText(entry_.localAs);
    line += '|';
    headLength_ = line.size();
    started_ = true;
    owner = this;
  }
  line.resize(headLength_);
  line += prefixText;
  if (!withdrawal) {
    line += '|';
    if (entry_.asPath != nullptr) line += entry_.asPath->text();
  }
  line += '\n';
  out.report(line);
}

}  // namespace tarvex
