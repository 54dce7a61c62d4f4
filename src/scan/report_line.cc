#include "scan/report_line.h"

#include <arpa/inet.h>

#include <charconv>
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
  char* end = buffer;
  for (int shift = 24; shift >= 0; shift -= 8) {
    end = appendDecimal(end, (prefix.address >> shift) & 0xff);
    *end++ = shift == 0 ? '/' : '.';
  }
  end = appendDecimal(end, prefix.length);
  return {buffer, static_cast<std::size_t>(end - buffer)};
}

void printMatch(std::string_view prefixText, const mrt::BgpUpdate& entry, ScanSink& out) {
  bool withdrawal;
  if (!entry.withdrawn.empty()) {
    withdrawal = true;
  } else if (!entry.announced.empty() || (entry.attributeFlags & kMpReachBit) != 0) {
    withdrawal = false;
  } else {
    return;
  }

  // One buffer per thread, kept from line to line, so a line costs no allocation.
  thread_local std::string line;
  line.clear();
  char number[24];
  auto [timeEnd, error] = std::to_chars(number, number + sizeof number, entry.time);
  (void)error;
  line.append(number, timeEnd);
  line += withdrawal ? "|W|" : "|A|";
  appendAddress(line, entry, entry.peerAddress);
  line += "|AS";
  line += unsignedToText(entry.peerAs);
  line += '|';
  appendAddress(line, entry, entry.localAddress);
  line += "|AS";
  line += unsignedToText(entry.localAs);
  line += '|';
  line += prefixText;
  if (!withdrawal) {
    line += '|';
    if (entry.asPath != nullptr) line += entry.asPath->text();
  }
  line += '\n';
  out.report(line);
}

}  // namespace tarvex
