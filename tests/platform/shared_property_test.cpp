#include "platform/shared_property.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "marlcheckout/error.h"

namespace marl {
namespace {

constexpr int kThreads = 8;
constexpr int kProperties = 50;

TEST(SharedPropertyTest, ConcurrentCreateOrOpenHasOneCreator) {
  SharedPropertyGroupManager::Instance().ResetForTesting();
  std::atomic<int> new_groups{0};
  std::atomic<int> new_props{0};
  std::vector<std::shared_ptr<SharedProperty>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      bool existed = true;
      auto g = SharedPropertyGroupManager::Instance().CreatePropertyGroup(
          "SQL Server8.0DataSource", 0, 1, &existed);
      if (!existed) ++new_groups;
      bool prop_existed = true;
      seen[i] = g->CreateProperty("Connected", &prop_existed);
      if (!prop_existed) ++new_props;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(new_groups, 1);
  EXPECT_EQ(new_props, 1);
  for (const auto& p : seen) EXPECT_EQ(p, seen[0]);  // one shared property
}

// The fill pattern of the description cache: under the fill lock, read the
// "Connected" flag; when it is not set, fill every property and then set it.
TEST(SharedPropertyTest, FillLockHoldersNeverSeeAHalfFilledGroup) {
  SharedPropertyGroupManager::Instance().ResetForTesting();
  std::atomic<int> fills{0};
  std::atomic<int> bad_reads{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&] {
      auto g = SharedPropertyGroupManager::Instance().CreatePropertyGroup(
          "DataTypeInfo", 0, 1);
      auto lock = g->FillLock();
      auto connected = g->CreateProperty("Connected");
      if (!(connected->Value() == Variant::Bool(true))) {
        ++fills;
        for (int p = 1; p <= kProperties; ++p) {
          g->CreatePropertyByPosition(p)->SetValue(Variant::I4(p));
          std::this_thread::yield();
        }
        connected->SetValue(Variant::Bool(true));
        return;
      }
      for (int p = 1; p <= kProperties; ++p) {
        try {
          if (!(g->PropertyByPosition(p)->Value() == Variant::I4(p))) {
            ++bad_reads;
          }
        } catch (const Error&) {
          ++bad_reads;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(fills, 1);
  EXPECT_EQ(bad_reads, 0);
}

TEST(SharedPropertyTest, NamesAndPositionsAreSeparateAndMustExist) {
  SharedPropertyGroupManager::Instance().ResetForTesting();
  auto g =
      SharedPropertyGroupManager::Instance().CreatePropertyGroup("G", 0, 1);
  g->CreateProperty("1")->SetValue(Variant::Text("by name"));
  EXPECT_THROW(g->PropertyByPosition(1), Error);
  EXPECT_THROW(g->Property("missing"), Error);
  g->CreatePropertyByPosition(1)->SetValue(Variant::Text("by position"));
  EXPECT_EQ(g->Property("1")->Value().AsText(), "by name");
  EXPECT_EQ(g->PropertyByPosition(1)->Value().AsText(), "by position");
  bool existed = false;
  EXPECT_EQ(SharedPropertyGroupManager::Instance().CreatePropertyGroup(
                "G", 0, 1, &existed),
            g);
  EXPECT_TRUE(existed);
}

}  // namespace
}  // namespace marl
