// The table lock: recursive for its owner, and a bounded wait for others.
#include <atomic>
#include <thread>  // std::chrono without <chrono>: see CMakeLists.txt
#include <thread>

#include "tests/support/test_support.h"

namespace kestrel {
namespace {

using LockTest = SimTest;

TEST_F(LockTest, OwnerTakesTheLockAgainWithoutWaiting) {
  Scan("[Drive0]\nModel = A\n");
  DriveTable* first = LockDriveTable();
  DriveTable* second = LockDriveTable();
  EXPECT_EQ(first, &TheDriveTable());
  EXPECT_EQ(second, first);
  UnlockDriveTable();
  UnlockDriveTable();
  EXPECT_TRUE(sink.boxes.empty());
}

// Another thread holds the lock for the whole wait: after its 1000 waits
// of 10 ms LockDriveTable gives up with its own box, and the re-read reads
// nothing (the drives stay due for the next tick).
TEST_F(LockTest, WaitGivesUpWithItsMessageWhileAnotherThreadHoldsTheLock) {
  Scan("[Drive0]\nModel = A\nAttribute.01 = 0x000B 100 100 0 51\n");
  sink.Clear();
  std::atomic<bool> held{false};
  std::atomic<bool> release{false};
  std::thread holder([&] {
    TheDriveTable().lock->lock();
    held = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    TheDriveTable().lock->unlock();
  });
  while (!held) std::this_thread::yield();

  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RereadSmart(1), 0u);
  auto waited = std::chrono::steady_clock::now() - start;
  release = true;
  holder.join();

  EXPECT_GE(waited, std::chrono::seconds(9));
  ASSERT_EQ(sink.boxes.size(), 1u);
  EXPECT_EQ(sink.boxes[0].text, "SMART情報管理データにアクセス失敗");
  EXPECT_EQ(sink.boxes[0].caption, "Varnel");
  EXPECT_EQ(sink.boxes[0].owner, nullptr);
  EXPECT_EQ(sink.boxes[0].style, kStylePlain);
  EXPECT_EQ(sim->CommandCount(0, SimCommand::kData), 0);
}

}  // namespace
}  // namespace kestrel
