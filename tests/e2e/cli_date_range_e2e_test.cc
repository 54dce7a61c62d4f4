// The date range walk seen from outside: the real binary walks an archive that holds one update
// file per day, and --verbose shows every day ("Building list of files...") with the file it
// found, so standard error spells out which days were walked, in which order. The walks run
// under several time zones, over the days on which daylight-saving time starts and ends.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cli/usage.h"
#include "mrt_builder.h"
#include "process_runner.h"

namespace tarvex {
namespace {

using std::chrono::days;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;
using testing::RunOptions;
using testing::RunResult;
using testing::runTarvex;
using testing::TempDir;

constexpr const char* kDayHeader = "Building list of files...\n";

std::string dateText(year_month_day date) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02u%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

// Every day from `first` to `last`, both included, as date texts.
std::vector<std::string> calendarDays(year_month_day first, year_month_day last) {
  std::vector<std::string> texts;
  for (sys_days day{first}; day <= sys_days{last}; day += days{1}) {
    texts.push_back(dateText(year_month_day{day}));
  }
  return texts;
}

std::string dayFile(const std::string& dateText) {
  return "archive/c/" + dateText.substr(0, 4) + "." + dateText.substr(4, 2) + "/UPDATES/updates." +
         dateText + ".1200.gz";
}

// An archive, shared by every test, with one empty update file for each day of a few spans.
class DateWalkArchive {
 public:
  DateWalkArchive() {
    using namespace std::chrono;
    for (auto [first, last] : {std::pair{2011y / December / 20, 2012y / January / 10},
                               std::pair{2023y / January / 1, 2025y / January / 31},
                               std::pair{year{9999} / December / 25, year{9999} / December / 31}}) {
      for (const std::string& text : calendarDays(first, last)) {
        std::string path = temp_.file(dayFile(text));
        testing::makeDirectories(path.substr(0, path.rfind('/')));
        testing::writeFile(path, {}, testing::Compression::kGzip);
        daysWithFiles_.insert(text);
      }
    }
  }

  // The standard error of a verbose walk over `dateTexts`.
  std::string walkedDays(const std::vector<std::string>& dateTexts) const {
    std::string text;
    for (const std::string& date : dateTexts) {
      text += kDayHeader;
      if (daysWithFiles_.contains(date)) text += dayFile(date) + "\n";
    }
    return text;
  }

  RunResult walk(const std::string& start, const std::string& end, const std::string& zone) const {
    RunOptions options;
    options.workingDirectory = temp_.path();
    options.environment = {"TZ=" + zone};
    options.timeoutSeconds = 30;  // a walk that never ends fails instead of hanging
    return runTarvex({"--verbose", "--startdate", start, "--enddate", end, "--dir", "archive"},
                     options);
  }

 private:
  TempDir temp_;
  std::set<std::string> daysWithFiles_;
};

class DateWalkTest : public ::testing::TestWithParam<std::string> {
 protected:
  static void SetUpTestSuite() { archive_ = new DateWalkArchive; }
  static void TearDownTestSuite() {
    delete archive_;
    archive_ = nullptr;
  }
  static const DateWalkArchive& archive() { return *archive_; }

 private:
  static DateWalkArchive* archive_;
};

DateWalkArchive* DateWalkTest::archive_ = nullptr;

struct WalkCase {
  const char* name;
  const char* start;
  const char* end;
  std::vector<std::string> days;  // walked, in order
  int status;
};

TEST_P(DateWalkTest, WalksEveryDayOnceInCalendarOrder) {
  using namespace std::chrono;
  const WalkCase cases[] = {
      {"leap February",
       "20240227",
       "20240302",
       {"20240227", "20240228", "20240229", "20240301", "20240302"},
       0},
      {"common February", "20230227", "20230301", {"20230227", "20230228", "20230301"}, 0},
      {"year end", "20231231", "20240101", {"20231231", "20240101"}, 0},
      {"single day", "20240310", "20240310", {"20240310"}, 1},
      {"New York spring forward", "20240309", "20240311",
       calendarDays(2024y / 3 / 9, 2024y / 3 / 11), 0},
      {"New York fall back", "20241103", "20241105", calendarDays(2024y / 11 / 3, 2024y / 11 / 5),
       0},
      {"London spring forward", "20240331", "20240401", calendarDays(2024y / 3 / 31, 2024y / 4 / 1),
       0},
      {"London fall back", "20241026", "20241028", calendarDays(2024y / 10 / 26, 2024y / 10 / 28),
       0},
      {"Lord Howe half hour back", "20240407", "20240408",
       calendarDays(2024y / 4 / 7, 2024y / 4 / 8), 0},
      {"Lord Howe half hour on", "20241005", "20241007",
       calendarDays(2024y / 10 / 5, 2024y / 10 / 7), 0},
      {"Samoa skipped day", "20111229", "20111231", calendarDays(2011y / 12 / 29, 2011y / 12 / 31),
       0},
      {"fall-back day alone", "20241103", "20241103", {"20241103"}, 1},
      {"common year", "20230101", "20231231", calendarDays(2023y / 1 / 1, 2023y / 12 / 31), 0},
      {"leap year", "20240101", "20241231", calendarDays(2024y / 1 / 1, 2024y / 12 / 31), 0},
      // Dates in a month that does not exist pass the checks.
      {"month 13 as end", "20241230", "20241301", {"20241230", "20241231"}, 0},
      {"last year of four digits", "99991230", "99991301", {"99991230", "99991231"}, 0},
      {"month 13 alone", "20241301", "20241301", {"20241301"}, 1},
  };
  for (const WalkCase& c : cases) {
    SCOPED_TRACE(c.name);
    RunResult result = archive().walk(c.start, c.end, GetParam());
    EXPECT_EQ(result.err, archive().walkedDays(c.days));
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.status, c.status);
  }
}

TEST_P(DateWalkTest, ATextThatIsNotADateEndsTheWalkAfterItsDay) {
  struct Case {
    const char* start;
    const char* end;
  };
  for (const Case& c : {Case{"20241301", "20241302"}, Case{"20240001", "20240101"},
                        Case{"20241300", "20241302"}, Case{"20240032", "20240101"}}) {
    SCOPED_TRACE(c.start);
    RunResult result = archive().walk(c.start, c.end, GetParam());
    EXPECT_EQ(result.err, kDayHeader);
    EXPECT_EQ(result.out, std::string("Can not parse:  ") + c.start + "\n");
    EXPECT_EQ(result.status, 255);
  }
}

INSTANTIATE_TEST_SUITE_P(TimeZones, DateWalkTest,
                         ::testing::Values("UTC", "America/New_York", "Europe/London",
                                           "Australia/Lord_Howe", "Pacific/Apia"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (c == '/') c = '_';
                           }
                           return name;
                         });

TEST(DateCheckTest, TheFirstFailingCheckAloneIsReported) {
  const std::string kLength = "The date format is YYYYMMDD and should be of length 8\n";
  const std::string kDigits = "The date format is YYYYMMDD and should be all integers\n";
  const std::string kOrder =
      std::string("Start date must come before end date.\n") + std::string(kUsageText);
  struct Case {
    const char* start;
    const char* end;
    std::string out;
  };
  const Case cases[] = {
      {"2024010", "20240102", kLength},   {"20240101", "202401021", kLength},
      {"2024010", "2024010a", kLength},  // length is checked for both before digits
      {"202401010", "20240101", kLength}, {"2024-101", "20240102", kDigits},
      {"20240101", "2024010x", kDigits},  {"2024 101", "20240102", kDigits},
      {"2024010a", "20240101", kDigits},  // digits come before order
      {"20240102", "20240101", kOrder},   {"20250101", "20241231", kOrder},
      {"20241301", "20241231", kOrder},
  };
  TempDir temp;
  testing::makeDirectories(temp.file("archive"));
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.start) + " " + c.end);
    RunResult result = runTarvex(
        {"--verbose", "--startdate", c.start, "--enddate", c.end, "--dir", temp.file("archive")});
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, "");  // no day is walked
    EXPECT_EQ(result.status, 1);
  }
}

}  // namespace
}  // namespace tarvex
