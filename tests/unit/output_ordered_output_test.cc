// The ordered output: parts written by threads in any order and at any pace come out in the
// order they were opened, write for write, also when one ordered output writes into a part of
// another, as the batches of a file do inside a many-file run.
#include "output/ordered_output.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/memory_budgets.h"
#include "capture_port.h"

namespace tarvex {
namespace {

using testing::CapturePort;

constexpr OrderedOutput::Limits kSmall{.perPart = 4096, .inAll = 16384, .parts = 3};

// Writes `count` lines "name:i" (long enough to cross the piece size now and then) into `out`,
// with a message to standard error in the middle.
void writeLines(OutputPort& out, const std::string& name, int count, unsigned seed) {
  std::mt19937 random(seed);
  for (int i = 0; i < count; ++i) {
    out.report(name + ":" + std::to_string(i) + std::string(random() % 3000, '.') + "\n");
    if (i == count / 2) out.toStderr(name + " half way\n");
  }
}

std::vector<CapturePort::Write> inOneThread(const std::vector<std::string>& names, int count) {
  CapturePort port;
  for (std::size_t i = 0; i < names.size(); ++i) {
    writeLines(port, names[i], count, static_cast<unsigned>(i));
  }
  return port.writes;
}

TEST(OrderedOutputTest, PartsComeOutInTheOrderTheyWereOpened) {
  const std::vector<std::string> names = {"a", "b", "c", "d", "e", "f"};
  CapturePort target;
  OrderedOutput ordered(kSmall);
  std::vector<std::thread> producers;
  std::thread opener([&] {
    for (std::size_t i = 0; i < names.size(); ++i) {
      auto part = std::make_shared<OrderedOutput::Part>();
      ordered.open(part);
      // Later parts start first and run alongside earlier ones.
      producers.emplace_back([part, name = names[i], i] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5 * (6 - i)));
        writeLines(*part, name, 200, static_cast<unsigned>(i));
        part->finish();
      });
    }
    ordered.close();
  });
  std::vector<std::string> writtenParts;
  ordered.writeInOrder(
      target, [&](OrderedOutput::Part&) { writtenParts.push_back(names[writtenParts.size()]); });
  opener.join();
  for (std::thread& producer : producers) producer.join();
  EXPECT_EQ(writtenParts, names);
  EXPECT_TRUE(target.writes == inOneThread(names, 200));
}

// An inner ordered output writes its pieces into a part of an outer one, which takes them over
// as they are; the outer target sees every write once, in order.
TEST(OrderedOutputTest, AnOrderedOutputInsideAPartOfAnother) {
  CapturePort target;
  OrderedOutput outer(kSmall);
  std::vector<std::string> names;
  std::vector<std::thread> files;
  std::thread opener([&] {
    for (int file = 0; file < 4; ++file) {
      auto part = std::make_shared<OrderedOutput::Part>();
      outer.open(part);
      files.emplace_back([part, file] {
        OrderedOutput inner(kSmall);
        std::vector<std::thread> batches;
        std::thread innerOpener([&] {
          for (int batch = 0; batch < 5; ++batch) {
            auto batchPart = std::make_shared<OrderedOutput::Part>();
            inner.open(batchPart);
            batches.emplace_back([batchPart, file, batch] {
              writeLines(*batchPart, std::to_string(file) + "." + std::to_string(batch), 100,
                         static_cast<unsigned>(file * 5 + batch));
              batchPart->finish();
            });
          }
          inner.close();
        });
        inner.writeInOrder(*part);
        innerOpener.join();
        for (std::thread& batch : batches) batch.join();
        part->finish();
      });
    }
    outer.close();
  });
  outer.writeInOrder(target);
  opener.join();
  for (std::thread& file : files) file.join();
  for (int file = 0; file < 4; ++file) {
    for (int batch = 0; batch < 5; ++batch) {
      names.push_back(std::to_string(file) + "." + std::to_string(batch));
    }
  }
  CapturePort expected;
  for (std::size_t i = 0; i < names.size(); ++i) {
    writeLines(expected, names[i], 100, static_cast<unsigned>(i));
  }
  EXPECT_TRUE(target.writes == expected.writes);
}

}  // namespace
}  // namespace tarvex
