#include "update_dump.h"

#include <cstdio>
#include <string>
#include <vector>

namespace tarvex::testing {
namespace {

// A small generator of its own rather than a standard distribution, whose results may differ
// between standard libraries: the dumps must be the same bytes everywhere.
class Draws {
 public:
  explicit Draws(std::uint32_t seed) : state_(seed * 2654435761u + 0x9e3779b9u) {}
  std::uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::uint32_t>(state_ >> 32);
  }
  std::uint32_t below(std::uint32_t bound) { return next() % bound; }
  bool chance(std::uint32_t percent) { return below(100) < percent; }

 private:
  std::uint64_t state_;
};

std::string ipv4Prefix(Draws& draws) {
  std::uint32_t first = 1 + draws.below(222);
  if (first == 10 || first == 127) ++first;
  const std::uint32_t length = 16 + draws.below(9);
  const std::uint32_t address =
      (first << 24 | (draws.next() & 0xffffffu)) & (0xffffffffu << (32 - length));
  return std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 0xff) + "." +
         std::to_string(address >> 8 & 0xff) + "." + std::to_string(address & 0xff) + "/" +
         std::to_string(length);
}

std::string ipv6Prefix(Draws& draws) {
  char text[48];
  std::snprintf(text, sizeof text, "2a%02x:%x::/%u", draws.below(16), draws.below(0xffff),
                32 + 4 * draws.below(5));
  return text;
}

std::vector<std::string> pick(Draws& draws, const std::vector<std::string>& pool) {
  std::vector<std::string> chosen(1 + draws.below(3));
  for (std::string& prefix : chosen)
    prefix = pool[draws.below(static_cast<std::uint32_t>(pool.size()))];
  return chosen;
}

// PEER, a transit or two, an origin; now and then an AS_SET at the end, as aggregates have.
std::vector<Segment> pathFrom(Draws& draws, std::uint32_t peerAs, bool as4) {
  static const std::uint32_t kTransits[] = {3356, 6939, 1299, 174, 2914, 3257, 6453};
  static const std::uint32_t kOrigins4[] = {13335, 15169, 8075,   16509,
                                            20940, 32934, 393216, 4200000001u};
  static const std::uint32_t kOrigins2[] = {13335, 15169, 8075, 16509, 20940, 32934, 64496};
  std::vector<std::uint32_t> sequence = {peerAs, kTransits[draws.below(7)]};
  if (draws.chance(40)) sequence.push_back(kTransits[draws.below(7)]);
  if (draws.chance(15)) sequence.push_back(sequence.back());  // prepending
  sequence.push_back(as4 ? kOrigins4[draws.below(8)] : kOrigins2[draws.below(7)]);
  std::vector<Segment> path = {{kAsSequence, sequence}};
  if (draws.chance(5)) path.push_back({kAsSet, {64500 + draws.below(20), 64520 + draws.below(20)}});
  return path;
}

}  // namespace

Bytes updateDump(const UpdateDumpShape& shape) {
  const std::vector<Session> peers = {
      {true, 3333, 12654, 0, "193.0.0.56", "193.0.4.28"},
      {true, 6939, 12654, 0, "80.249.208.1", "80.249.208.250"},
      {false, 1103, 12654, 0, "195.69.144.1", "195.69.144.250"},
      {true, 13030, 12654, 0, "2001:7f8:1::a501:3030:1", "2001:7f8:1::a501:2654:1"},
  };
  Draws draws(shape.seed);
  std::vector<std::string> pool4(600);
  for (std::string& prefix : pool4) prefix = ipv4Prefix(draws);
  std::vector<std::string> pool6(60);
  for (std::string& prefix : pool6) prefix = ipv6Prefix(draws);

  Bytes dump;
  std::uint32_t time = shape.firstTime;
  for (int record = 0; record < shape.records; ++record) {
    time += draws.below(3);
    // The IPv6 session speaks less than the others.
    const Session& session = peers[draws.chance(10) ? 3 : draws.below(3)];
    SimpleUpdate update;
    update.time = time;
    update.session = session;
    const std::uint32_t kind = draws.below(100);  // announce, withdraw, or both
    if (session.peerIp.find(':') != std::string::npos) {
      if (kind < 75) {
        update.path = pathFrom(draws, session.peerAs, session.as4);
        update.extraAttributes =
            mpReachAttribute(2, 1, address(session.peerIp), prefixes(pick(draws, pool6)));
      } else {
        update.withPath = false;
        update.path = {};
        update.extraAttributes = mpUnreachAttribute(2, 1, prefixes(pick(draws, pool6)));
      }
    } else {
      if (kind >= 70) update.withdrawn = pick(draws, pool4);
      if (kind < 70 || kind >= 92) {
        update.announced = pick(draws, pool4);
        update.path = pathFrom(draws, session.peerAs, session.as4);
      } else {
        update.withPath = false;
        update.path = {};
      }
    }
    append(dump, updateRecord(update));
  }
  return dump;
}

}  // namespace tarvex::testing
