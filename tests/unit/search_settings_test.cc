#include "settings/search_settings.h"

#include <gtest/gtest.h>

#include "criteria/ip_set.h"

namespace tarvex {
namespace {

TEST(SearchSettingsTest, NewRecordHoldsTheDefaults) {
  SearchSettings settings;
  EXPECT_EQ(settings.verbose, 0);
  EXPECT_EQ(settings.orMatch, 0);
  EXPECT_EQ(settings.cidrSet, nullptr);
  EXPECT_TRUE(settings.asnSet.empty());
  EXPECT_TRUE(settings.dirs.empty());
  EXPECT_TRUE(settings.updateFiles.empty());
  for (const std::string* text : {&settings.startDate, &settings.endDate, &settings.cidrFile,
                                  &settings.asnFile, &settings.outFile, &settings.listFile}) {
    EXPECT_TRUE(text->empty());
  }
}

TEST(SearchSettingsTest, ResetKeepsTheListsAndTheAsnSet) {
  IpSet set;
  SearchSettings settings;
  settings.verbose = 1;
  settings.orMatch = 1;
  settings.cidrSet = &set;
  settings.asnSet.insert("64500");
  settings.dirs = {"a"};
  settings.updateFiles = {"f"};
  settings.startDate = settings.endDate = settings.cidrFile = "x";
  settings.asnFile = settings.outFile = settings.listFile = "y";

  settings.reset();

  EXPECT_EQ(settings.verbose, 0);
  EXPECT_EQ(settings.orMatch, 0);
  EXPECT_EQ(settings.cidrSet, nullptr);
  EXPECT_EQ(settings.asnSet.size(), 1u);
  EXPECT_EQ(settings.dirs.size(), 1u);
  EXPECT_EQ(settings.updateFiles.size(), 1u);
  EXPECT_TRUE(settings.startDate.empty() && settings.endDate.empty() && settings.cidrFile.empty());
  EXPECT_TRUE(settings.asnFile.empty() && settings.outFile.empty() && settings.listFile.empty());
}

TEST(SearchSettingsTest, CopiesShareTheIpSetAndOwnEverythingElse) {
  IpSet set;
  SearchSettings settings;
  settings.cidrSet = &set;
  settings.asnSet = {"1"};
  settings.dirs = {"a", "b", "a"};
  {
    SearchSettings copy = settings;
    EXPECT_EQ(copy.cidrSet, &set);
    copy.asnSet.clear();
    copy.dirs.clear();
  }
  EXPECT_EQ(settings.asnSet.size(), 1u);
  EXPECT_EQ(settings.dirs, (std::vector<std::string>{"a", "b", "a"}));
  EXPECT_EQ(settings.cidrSet, &set);
}

}  // namespace
}  // namespace tarvex
