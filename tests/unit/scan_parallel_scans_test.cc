#include "scan/parallel_scans.h"

#include "base/memory_budgets.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "capture_port.h"

namespace tarvex {
namespace {

using testing::CapturePort;

// Scans of very different lengths, some sleeping, interleaved with messages written between
// them: the output is exactly what running them one after another here writes.
TEST(ParallelScansTest, WritesEverythingInCallOrder) {
  std::mt19937 random(7);
  std::vector<int> lengths, sleeps;
  for (int i = 0; i < 200; ++i) {
    lengths.push_back(static_cast<int>(random() % 3 == 0 ? random() % 20000 : random() % 5));
    sleeps.push_back(static_cast<int>(random() % 4 == 0 ? random() % 3 : 0));
  }
  auto job = [&](int index) {
    return [&, index](OutputPort& sink) {
      std::this_thread::sleep_for(
          std::chrono::milliseconds(sleeps[static_cast<std::size_t>(index)]));
      for (int line = 0; line < lengths[static_cast<std::size_t>(index)]; ++line) {
        sink.report("job " + std::to_string(index) + " line " + std::to_string(line) + "\n");
        if (line % 1000 == 0) sink.toStderr("job " + std::to_string(index) + " note\n");
      }
    };
  };
  auto drive = [&](OutputPort& sink) {
    for (int i = 0; i < 200; ++i) {
      if (i % 7 == 0) sink.toStdout("between " + std::to_string(i) + "\n");
      sink.runScan(job(i));
    }
    sink.toStdout("the end\n");
  };

  CapturePort expected;
  drive(expected);
  for (unsigned workers : {1u, 2u, 4u}) {
    CapturePort actual;
    {
      ParallelScans scans(actual, workers);
      drive(scans);
      scans.drain();
      EXPECT_TRUE(actual.writes == expected.writes) << workers << " workers";
    }
    EXPECT_TRUE(actual.writes == expected.writes) << workers << " workers, after the destructor";
  }
}

// A scan far behind the head stops recording once it holds its share, so memory stays bounded
// however much the scans write.
TEST(ParallelScansTest, ScansBehindTheHeadWaitOnceTheyHoldTheirShare) {
  CapturePort target;
  std::atomic<bool> release{false};
  std::atomic<std::size_t> secondWrote{0};
  {
    ParallelScans scans(target, 2);
    scans.runScan([&](OutputPort&) {
      while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    scans.runScan([&](OutputPort& sink) {
      std::string line(1000, 'x');
      line += '\n';
      for (int i = 0; i < 20000; ++i) {
        sink.report(line);
        secondWrote += line.size();
      }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // The second scan has written at most its share, the piece it was handing over and the one
    // it was filling before it had to wait.
    EXPECT_LT(secondWrote.load(), budgets::kRecordedPerFile + 2 * budgets::kOutputPiece);
    release = true;
    scans.drain();
  }
  EXPECT_EQ(secondWrote.load(), 20000u * 1001u);
}

}  // namespace
}  // namespace tarvex
