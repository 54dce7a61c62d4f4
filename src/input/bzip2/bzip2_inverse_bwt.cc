#include "input/bzip2/bzip2_inverse_bwt.h"

#include <algorithm>

namespace tarvex::input {

namespace {

constexpr std::uint32_t kMark = 1u << 31;          // the entry starts a segment
constexpr std::uint32_t kPositionMask = 0x7fffff;  // the link, once shifted down
// Below this many entries the table stays in the caches and one chain is as fast as lanes.
constexpr std::size_t kLanesFrom = 64 * 1024;
constexpr std::size_t kSlack = 8;  // a lane may run a few bytes past its block before it stops

}  // namespace

Bzip2InverseBwt::Bzip2InverseBwt(std::size_t capacity)
    : capacity_(capacity),
      lanes_(std::make_unique_for_overwrite<std::uint8_t[]>(kLanes * (capacity + kSlack))) {}

bool Bzip2InverseBwt::walk(std::span<std::uint32_t> table, std::uint32_t first) {
  pieces_.clear();
  if (table.empty() || table.size() > capacity_ || first >= table.size()) return false;
  if (table.size() < kLanesFrom) return walkOneChain(table, first);

  // Segment starts spread evenly over the table; the first output byte starts segment 0.
  const std::size_t n = table.size();
  segmentCount_ = 0;
  segments_[segmentCount_++].start = first;
  for (unsigned k = 1; k < kSegments; ++k) {
    const auto start = static_cast<std::uint32_t>(n * k / kSegments);
    if (start != first) segments_[segmentCount_++].start = start;
  }
  for (unsigned k = 0; k < segmentCount_; ++k) table[segments_[k].start] |= kMark;
  const bool walked = walkLanes(table);
  for (unsigned k = 0; k < segmentCount_; ++k) table[segments_[k].start] &= ~kMark;
  return walked && order(n);
}

// The walk libbz2 makes: `table.size()` steps from `first`, whatever the cycles.
bool Bzip2InverseBwt::walkOneChain(std::span<std::uint32_t> table, std::uint32_t first) {
  std::uint8_t* out = lanes_.get();
  const std::uint32_t* entries = table.data();
  std::uint32_t position = first;
  for (std::size_t k = 0; k < table.size(); ++k) {
    const std::uint32_t entry = entries[position];
    out[k] = static_cast<std::uint8_t>(entry);
    position = (entry >> 8) & kPositionMask;
    // Links are below the table size by construction; a check keeps a faulty caller in bounds.
    if (position >= table.size()) return false;
  }
  pieces_.emplace_back(out, table.size());
  return true;
}

bool Bzip2InverseBwt::walkLanes(std::span<std::uint32_t> table) {
  const std::uint32_t* entries = table.data();
  const std::size_t n = table.size();
  const std::size_t stride = capacity_ + kSlack;
  std::array<std::uint8_t*, kLanes> out{};
  std::array<std::uint32_t, kLanes> position{};
  std::array<unsigned, kLanes> segment{};
  std::array<bool, kLanes> busy{};
  unsigned nextSegment = 0;
  std::size_t emitted = 0;  // more than n means the links do not form one cycle

  const auto step = [&](unsigned lane, std::uint32_t entry) {
    *out[lane]++ = static_cast<std::uint8_t>(entry);
    position[lane] = (entry >> 8) & kPositionMask;
    ++emitted;
  };
  const auto startSegment = [&](unsigned lane) {
    busy[lane] = nextSegment < segmentCount_;
    if (!busy[lane]) return;
    Segment& next = segments_[nextSegment];
    next.lane = static_cast<std::uint8_t>(lane);
    next.offset = static_cast<std::uint32_t>(out[lane] - (lanes_.get() + lane * stride));
    segment[lane] = nextSegment++;
    step(lane, entries[next.start]);
  };
  // The lane stands at a marked entry: its segment ends, and it takes the next one.
  const auto endSegment = [&](unsigned lane) {
    Segment& done = segments_[segment[lane]];
    done.end = position[lane];
    done.length =
        static_cast<std::uint32_t>(out[lane] - (lanes_.get() + lane * stride)) - done.offset;
    startSegment(lane);
  };
  for (unsigned lane = 0; lane < kLanes; ++lane) {
    out[lane] = lanes_.get() + lane * stride;
    startSegment(lane);
  }

  // All lanes busy: eight independent loads per round, until one of them meets a mark. The
  // positions stay in registers; the lanes' write pointers advance together, by `rounds`.
  while (std::all_of(busy.begin(), busy.end(), [](bool b) { return b; })) {
    std::uint32_t p0 = position[0], p1 = position[1], p2 = position[2], p3 = position[3];
    std::uint32_t p4 = position[4], p5 = position[5], p6 = position[6], p7 = position[7];
    const std::array<std::uint8_t*, kLanes> to = out;
    const std::size_t maxRounds = (n - std::min(n, emitted)) / kLanes + 1;
    std::size_t rounds = 0;
    for (; rounds < maxRounds; ++rounds) {
      const std::uint32_t e0 = entries[p0], e1 = entries[p1], e2 = entries[p2], e3 = entries[p3];
      const std::uint32_t e4 = entries[p4], e5 = entries[p5], e6 = entries[p6], e7 = entries[p7];
      if (((e0 | e1 | e2 | e3 | e4 | e5 | e6 | e7) & kMark) != 0) break;
      to[0][rounds] = static_cast<std::uint8_t>(e0);
      to[1][rounds] = static_cast<std::uint8_t>(e1);
      to[2][rounds] = static_cast<std::uint8_t>(e2);
      to[3][rounds] = static_cast<std::uint8_t>(e3);
      to[4][rounds] = static_cast<std::uint8_t>(e4);
      to[5][rounds] = static_cast<std::uint8_t>(e5);
      to[6][rounds] = static_cast<std::uint8_t>(e6);
      to[7][rounds] = static_cast<std::uint8_t>(e7);
      p0 = (e0 >> 8) & kPositionMask;
      p1 = (e1 >> 8) & kPositionMask;
      p2 = (e2 >> 8) & kPositionMask;
      p3 = (e3 >> 8) & kPositionMask;
      p4 = (e4 >> 8) & kPositionMask;
      p5 = (e5 >> 8) & kPositionMask;
      p6 = (e6 >> 8) & kPositionMask;
      p7 = (e7 >> 8) & kPositionMask;
    }
    position = {p0, p1, p2, p3, p4, p5, p6, p7};
    for (unsigned lane = 0; lane < kLanes; ++lane) out[lane] += rounds;
    emitted += rounds * kLanes;
    if (rounds == maxRounds) return false;
    for (unsigned lane = 0; lane < kLanes; ++lane) {
      const std::uint32_t entry = entries[position[lane]];
      if ((entry & kMark) != 0) {
        endSegment(lane);
      } else {
        step(lane, entry);
      }
    }
  }

  // No segment left to start: the busy lanes finish theirs one step at a time.
  for (;;) {
    bool any = false;
    for (unsigned lane = 0; lane < kLanes; ++lane) {
      if (!busy[lane]) continue;
      any = true;
      const std::uint32_t entry = entries[position[lane]];
      if ((entry & kMark) != 0) {
        endSegment(lane);
      } else {
        step(lane, entry);
      }
    }
    if (!any) return true;
    if (emitted > n) return false;
  }
}

// Puts the segments in walk order by following each one's end to the segment starting there.
bool Bzip2InverseBwt::order(std::size_t total) {
  std::array<std::pair<std::uint32_t, unsigned>, kSegments> byStart{};
  for (unsigned k = 0; k < segmentCount_; ++k) byStart[k] = {segments_[k].start, k};
  std::sort(byStart.begin(), byStart.begin() + segmentCount_);
  std::array<bool, kSegments> seen{};
  const std::size_t stride = capacity_ + kSlack;
  std::size_t length = 0;
  unsigned current = 0;
  for (unsigned k = 0; k < segmentCount_; ++k) {
    if (seen[current]) return false;
    seen[current] = true;
    const Segment& segment = segments_[current];
    pieces_.emplace_back(lanes_.get() + segment.lane * stride + segment.offset, segment.length);
    length += segment.length;
    const auto next = std::lower_bound(byStart.begin(), byStart.begin() + segmentCount_,
                                       std::pair<std::uint32_t, unsigned>{segment.end, 0});
    if (next == byStart.begin() + segmentCount_ || next->first != segment.end) return false;
    current = next->second;
  }
  return current == 0 && length == total;
}

}  // namespace tarvex::input
