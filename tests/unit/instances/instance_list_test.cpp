// The shared instance list against a plain byte array standing in for the
// named shared block.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <set>
#include <vector>

#include "app/single_instance_list.h"
#include "app/single_instance_protocol.h"

namespace quillet::app {
namespace {

class InstanceListTest : public testing::Test {
 protected:
  std::array<std::uint8_t, kInstanceBlockSize> bytes_{};  // a new block is zero-filled
  InstanceList list_{bytes_};

  std::vector<std::uint32_t> Ids() const {
    std::vector<std::uint32_t> ids;
    for (int i = 0; i < list_.Count(); ++i) ids.push_back(list_.ProcessId(i));
    return ids;
  }
};

TEST_F(InstanceListTest, FirstRegistrationWritesMaximumCountAndIdLittleEndian) {
  EXPECT_EQ(list_.Register(0x12345678, kRegistryMaximum), Registration::Accepted);
  const std::vector<std::uint8_t> head(bytes_.begin(), bytes_.begin() + 8);
  EXPECT_EQ(head, (std::vector<std::uint8_t>{0xFF, 0xFF, 0x01, 0x00, 0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(list_.Register(0xA0B0C0D0, kRegistryMaximum), Registration::Accepted);
  EXPECT_EQ(bytes_[2], 2);
  EXPECT_EQ(bytes_[8], 0xD0);
  EXPECT_EQ(bytes_[11], 0xA0);
}

TEST_F(InstanceListTest, ReadsABlockWrittenByAnotherCopy) {
  bytes_ = {};
  bytes_[0] = 0x03;
  bytes_[2] = 0x02;
  bytes_[4] = 0x10;  // 0x00000010
  bytes_[8] = 0x01;
  bytes_[9] = 0x02;  // 0x00000201
  EXPECT_EQ(list_.Maximum(), 3);
  EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{0x10, 0x201}));
  EXPECT_EQ(list_.ProcessId(2), 0u) << "slots from count on carry no meaning";
  EXPECT_EQ(list_.ProcessId(-1), 0u);
  EXPECT_EQ(list_.IndexOf(0x201), 1);
  EXPECT_EQ(list_.IndexOf(0x999), -1);
}

TEST_F(InstanceListTest, MaximumOfTheFirstRegistrationHoldsForLaterOnes) {
  EXPECT_EQ(list_.Register(10, 2), Registration::Accepted);
  EXPECT_EQ(list_.Register(11, 65535), Registration::Accepted);
  // A third copy is registered but beyond the maximum the first one wrote.
  EXPECT_EQ(list_.Register(12, 65535), Registration::Rejected);
  EXPECT_EQ(list_.Maximum(), 2);
  EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{10, 11, 12}));
  EXPECT_EQ(list_.IndexOf(12), 2);
}

TEST_F(InstanceListTest, RemovalTakesTheFirstMatchingEntryAndShiftsTheRest) {
  for (std::uint32_t id : {5u, 7u, 5u, 9u}) list_.Register(id, kRegistryMaximum);
  EXPECT_TRUE(list_.Remove(5));
  EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{7, 5, 9}));
  EXPECT_FALSE(list_.Remove(42));
  EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{7, 5, 9}));
  EXPECT_TRUE(list_.Remove(9));
  EXPECT_TRUE(list_.Remove(7));
  EXPECT_TRUE(list_.Remove(5));
  EXPECT_EQ(list_.Count(), 0);
  EXPECT_FALSE(list_.Remove(5));
  EXPECT_EQ(list_.Maximum(), kRegistryMaximum) << "the maximum stays once written";
}

TEST_F(InstanceListTest, AFullListRefusesAndLeavesTheBlockAlone) {
  for (int i = 0; i < kInstanceListCapacity; ++i) {
    ASSERT_EQ(list_.Register(1000 + i, kRegistryMaximum), Registration::Accepted) << i;
  }
  EXPECT_EQ(list_.Count(), 257);
  EXPECT_EQ(list_.ProcessId(256), 1256u);
  EXPECT_EQ(bytes_[1028], 0xE8) << "the last slot ends the block";  // 1256 = 0x4E8
  const auto before = bytes_;
  EXPECT_EQ(list_.Register(5000, kRegistryMaximum), Registration::Full);
  EXPECT_EQ(bytes_, before);
  EXPECT_EQ(list_.IndexOf(5000), -1);
}

TEST_F(InstanceListTest, ACountBeyondTheSlotsIsReadAsFull) {
  bytes_[2] = 0xFF;
  bytes_[3] = 0xFF;
  EXPECT_EQ(list_.Count(), kInstanceListCapacity);
  EXPECT_EQ(list_.Register(1, kRegistryMaximum), Registration::Full);
  EXPECT_EQ(list_.IndexOf(0xDEAD), -1);
}

TEST_F(InstanceListTest, StaleEntriesGoAndTheRestKeepTheirOrder) {
  for (std::uint32_t id : {1u, 2u, 3u, 4u, 5u}) list_.Register(id, kRegistryMaximum);
  const std::set<std::uint32_t> gone = {1, 3, 5};
  EXPECT_EQ(list_.RemoveIf([&](std::uint32_t id) { return gone.count(id) != 0; }), 3);
  EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{2, 4}));
  // A new copy reusing a dead copy's ID is then first, not rejected by it.
  EXPECT_EQ(list_.RemoveIf([](std::uint32_t) { return true; }), 2);
  EXPECT_EQ(list_.Register(2, kRegistryMaximum), Registration::Accepted);
  EXPECT_EQ(list_.IndexOf(2), 0);
}

TEST(InstanceProtocolTest, IdentifierAndObjectNamesComeFromThePath) {
  const std::wstring id = InstanceIdentifier(L"C:\\PROGRAM FILES\\QUILLET\\QUILLET.EXE");
  EXPECT_EQ(id, L"AppC:_PROGRAM FILES_QUILLET_QUILLET.EXE");
  EXPECT_EQ(MessageName(id), id + L"_Msg");
  EXPECT_EQ(LockName(id), id + L"_Otx");
  EXPECT_EQ(ListName(id), id + L"_All");
}

TEST(InstanceProtocolTest, CommandLineTransferEndsEveryParameterWithCrLf) {
  EXPECT_EQ(CommandLineTransferText({}), L"");
  EXPECT_EQ(CommandLineTransferText({L"/a", L"b c"}), L"/a\r\nb c\r\n");
}

}  // namespace
}  // namespace quillet::app
