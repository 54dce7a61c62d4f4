// The update search: which entries are searched and the order of their prefix lists. With no
// criteria named, every prefix of non-zero length of an entry with an AS path is reported, so the
// report shows exactly which lists were walked and in which order.
#include "scan/update_search.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "capture_port.h"
#include "input/byte_source.h"
#include "mrt/as_path.h"
#include "mrt/mrt_reader.h"
#include "mrt_builder.h"
#include "report_fields.h"

namespace tarvex {
namespace {

using testing::Bytes;

using testing::CapturePort;

/// The form and the prefix of each report line written, one write a line: "W 10.0.0.0/8".
std::vector<std::string> formsAndPrefixes(const CapturePort& sink) {
  std::vector<std::string> lines;
  for (const std::string& write : sink.writesTo(Channel::kReport)) {
    EXPECT_TRUE(write.ends_with('\n')) << write;
    const std::vector<std::string_view> fields = testing::reportFields(write);
    lines.push_back(std::string(fields.at(1)) + " " + std::string(fields.at(6)));
  }
  return lines;
}

// An UPDATE whose lists are filled one by one; the wire bytes live as long as the entry.
class Entry {
 public:
  Entry() {
    update.time = 1;
    update.type = mrt::kMrtTypeBgp4mp;
    update.subtype = mrt::kSubtypeMessageAs4;
    update.bgpType = mrt::kBgpMessageUpdate;
    update.addressFamily = mrt::kAfiIpv4;
    pathWire_ = testing::asPathValue({{testing::kAsSequence, {64500}}}, 4);
    path_.assign(pathWire_, 4);
    update.asPath = &path_;
  }
  Entry(const Entry&) = delete;
  Entry& operator=(const Entry&) = delete;

  mrt::PrefixList list(std::vector<std::string> prefixes, std::uint16_t afi = mrt::kAfiIpv4) {
    wires_.push_back(testing::prefixes(prefixes));
    return *testing::parsedPrefixList(wires_.back(), afi);
  }

  mrt::BgpUpdate update;

 private:
  std::deque<Bytes> wires_;
  Bytes pathWire_;
  mrt::AsPath path_;
};

std::vector<std::string> walk(const mrt::BgpUpdate& update) {
  SearchSettings settings;
  CapturePort sink;
  searchUpdate(update, settings, sink, nullptr);
  EXPECT_EQ(sink.out + sink.err, "");
  return formsAndPrefixes(sink);
}

using Lines = std::vector<std::string>;

TEST(UpdateSearch, FourteenListsInTheirOrderIpv6NeverReported) {
  Entry entry;
  mrt::BgpUpdate& u = entry.update;
  u.withdrawn = entry.list({"1.0.0.0/8", "1.1.0.0/16"});
  u.mpWithdrawn[1][1] = entry.list({"2.0.0.0/8"});
  u.mpWithdrawn[1][2] = entry.list({"3.0.0.0/8"});
  u.mpWithdrawn[1][3] = entry.list({"4.0.0.0/8"});
  u.mpWithdrawn[2][1] = entry.list({"2001:db8:1::/48"}, mrt::kAfiIpv6);
  u.mpWithdrawn[2][2] = entry.list({"2001:db8:2::/48"}, mrt::kAfiIpv6);
  u.mpWithdrawn[2][3] = entry.list({"2001:db8:3::/48"}, mrt::kAfiIpv6);
  u.announced = entry.list({"5.0.0.0/8"});
  u.mpAnnounced[1][1] = entry.list({"6.0.0.0/8"});
  u.mpAnnounced[1][2] = entry.list({"7.0.0.0/8", "7.7.0.0/16"});
  u.mpAnnounced[1][3] = entry.list({"8.0.0.0/8"});
  u.mpAnnounced[2][1] = entry.list({"2001:db8:4::/48"}, mrt::kAfiIpv6);
  u.mpAnnounced[2][2] = entry.list({"2001:db8:5::/48"}, mrt::kAfiIpv6);
  u.mpAnnounced[2][3] = entry.list({"2001:db8:6::/48"}, mrt::kAfiIpv6);
  u.attributeFlags = mrt::attributeBit(14) | mrt::attributeBit(15);
  EXPECT_EQ(walk(u),
            (Lines{"W 1.0.0.0/8", "W 1.1.0.0/16", "W 2.0.0.0/8", "W 3.0.0.0/8", "W 4.0.0.0/8",
                   "W 5.0.0.0/8", "W 6.0.0.0/8", "W 7.0.0.0/8", "W 7.7.0.0/16", "W 8.0.0.0/8"}));
}

TEST(UpdateSearch, MpWithdrawalsComeBeforeMpAnnouncements) {
  Entry entry;
  entry.update.mpAnnounced[1][1] = entry.list({"6.0.0.0/8"});
  entry.update.mpWithdrawn[1][2] = entry.list({"3.0.0.0/8"});
  entry.update.attributeFlags = mrt::attributeBit(14) | mrt::attributeBit(15);
  EXPECT_EQ(walk(entry.update), (Lines{"A 3.0.0.0/8", "A 6.0.0.0/8"}));
}

TEST(UpdateSearch, WithdrawnRoutesComeBeforeAnnouncedOnes) {
  Entry entry;
  entry.update.announced = entry.list({"5.0.0.0/8"});
  entry.update.withdrawn = entry.list({"1.0.0.0/8"});
  EXPECT_EQ(walk(entry.update), (Lines{"W 1.0.0.0/8", "W 5.0.0.0/8"}));
}

TEST(UpdateSearch, OnlyIpv6ListsGiveNothing) {
  Entry entry;
  entry.update.mpAnnounced[2][1] = entry.list({"2001:db8:4::/48"}, mrt::kAfiIpv6);
  entry.update.mpWithdrawn[2][1] = entry.list({"2001:db8:1::/48"}, mrt::kAfiIpv6);
  entry.update.attributeFlags = mrt::attributeBit(14) | mrt::attributeBit(15);
  EXPECT_TRUE(walk(entry.update).empty());
}

TEST(UpdateSearch, MpWithdrawalAloneHasNoLineForm) {
  Entry entry;
  entry.update.mpWithdrawn[1][2] = entry.list({"3.0.0.0/8"});
  entry.update.attributeFlags = mrt::attributeBit(15);
  EXPECT_TRUE(walk(entry.update).empty());
}

// The decoder selects the records to search: BGP4MP and BGP4MP_ET UPDATE messages of either AS
// width, nothing else, whatever the rest of the record holds.
TEST(UpdateSearch, OnlyBgp4mpUpdatesAreSearched) {
  struct Case {
    const char* name;
    std::uint16_t type;
    std::uint16_t subtype;
    std::uint8_t bgpType;
    bool searched;
  };
  const Case cases[] = {
      {"BGP4MP, 2-byte", 16, 1, 2, true}, {"BGP4MP, 4-byte", 16, 4, 2, true},
      {"BGP4MP_ET", 17, 4, 2, true},      {"BGP4MP_ET, 2-byte", 17, 1, 2, true},
      {"state change", 16, 0, 2, false},  {"state change AS4", 16, 5, 2, false},
      {"ADD-PATH", 16, 9, 2, false},      {"TABLE_DUMP_V2", 13, 4, 2, false},
      {"OPEN", 16, 1, 1, false},          {"NOTIFICATION", 16, 4, 3, false},
      {"KEEPALIVE", 16, 4, 4, false},     {"ROUTE-REFRESH", 17, 4, 5, false},
  };
  for (const Case& c : cases) {
    testing::Session session;
    session.as4 = c.subtype != 1;
    const int width = session.as4 ? 4 : 2;
    const Bytes attributes =
        testing::concat({testing::originAttribute(),
                         testing::asPathAttribute({{testing::kAsSequence, {64500}}}, width),
                         testing::nextHopAttribute()});
    const Bytes message = testing::bgpMessage(
        c.bgpType, testing::updateBody({}, attributes, testing::prefixes({"5.0.0.0/8"})));
    const Bytes record =
        testing::mrtRecord(1, c.type, c.subtype, testing::bgp4mpBody(session, message),
                           c.type == 17 ? std::optional<std::uint32_t>(0) : std::nullopt);
    mrt::MrtReader reader(std::make_unique<input::MemorySource>(record), 0);
    SearchSettings settings;
    CapturePort sink;
    mrt::BgpUpdate update;
    while (reader.next(update)) searchUpdate(update, settings, sink, nullptr);
    EXPECT_EQ(formsAndPrefixes(sink).size(), c.searched ? 1u : 0u) << c.name;
  }
}

// The origin memo of a walk gives the answers of the AS number set itself: ten thousand origins,
// so that many share a slot of the memo, every seventh of them listed, walked twice over.
TEST(UpdateSearch, OriginMemoAnswersAsTheSetDoes) {
  SearchSettings settings;
  settings.asnFile = "origins.txt";
  auto listed = std::make_shared<SearchSettings::AsnSet>();
  for (std::uint32_t asn = 0; asn < 10000; asn += 7) listed->insert(std::to_string(asn * 977));
  settings.asnSet = listed;
  OriginMemo memo(settings);
  CapturePort withMemo;
  CapturePort without;
  for (int pass = 0; pass < 2; ++pass) {
    for (std::uint32_t asn = 0; asn < 10000; ++asn) {
      Entry entry;
      const Bytes path = testing::asPathValue({{testing::kAsSequence, {64500, asn * 977}}}, 4);
      mrt::AsPath asPath;
      asPath.assign(path, 4);
      entry.update.asPath = &asPath;
      entry.update.announced = entry.list({"5.0.0.0/8"});
      searchUpdate(entry.update, settings, withMemo, &memo);
      searchUpdate(entry.update, settings, without, nullptr);
    }
  }
  const std::vector<std::string> lines = formsAndPrefixes(withMemo);
  EXPECT_EQ(lines.size(), 2u * (10000 / 7 + 1));
  EXPECT_EQ(lines, formsAndPrefixes(without));
}

}  // namespace
}  // namespace tarvex
