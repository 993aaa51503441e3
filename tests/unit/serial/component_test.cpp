// The component framework: ownership, lookup, destruction order, loading.
#include "serial/component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/exception.h"

namespace quillet::serial {
namespace {

class Recorded : public TComponent {
 public:
  Recorded(TComponent* owner, const std::wstring& name, std::vector<std::wstring>& log)
      : TComponent(owner), log_(log) {
    SetName(name);
  }
  ~Recorded() override { log_.push_back(Name()); }

 private:
  std::vector<std::wstring>& log_;
};

TEST(Component, OwnerDestroysOwnedComponentsInReverseCreationOrder) {
  std::vector<std::wstring> destroyed;
  {
    TComponent owner(nullptr);
    new Recorded(&owner, L"a", destroyed);
    auto* b = new Recorded(&owner, L"b", destroyed);
    new Recorded(b, L"b1", destroyed);
    new Recorded(&owner, L"c", destroyed);
    EXPECT_EQ(owner.ComponentCount(), 3);
    EXPECT_EQ(owner.Components(1), b);
    EXPECT_EQ(b->Owner(), &owner);
  }
  // b's own destructor runs before its base part destroys what b owns.
  EXPECT_EQ(destroyed, (std::vector<std::wstring>{L"c", L"b", L"b1", L"a"}));
}

TEST(Component, AComponentDestroyedEarlyLeavesItsOwner) {
  std::vector<std::wstring> destroyed;
  TComponent owner(nullptr);
  new Recorded(&owner, L"a", destroyed);
  auto* b = new Recorded(&owner, L"b", destroyed);
  delete b;
  EXPECT_EQ(owner.ComponentCount(), 1);
  EXPECT_EQ(owner.FindComponent(L"b"), nullptr);
  owner.DestroyComponents();
  EXPECT_EQ(owner.ComponentCount(), 0);
  EXPECT_EQ(destroyed, (std::vector<std::wstring>{L"b", L"a"}));
}

TEST(Component, FindComponentIgnoresCaseAndLooksOnlyAtOwnedOnes) {
  std::vector<std::wstring> destroyed;
  TComponent owner(nullptr);
  auto* first = new Recorded(&owner, L"skener1", destroyed);
  new Recorded(first, L"inner", destroyed);
  EXPECT_EQ(owner.FindComponent(L"SKENER1"), first);
  EXPECT_EQ(owner.FindComponent(L"inner"), nullptr);
  EXPECT_EQ(owner.FindComponent(L""), nullptr);
  EXPECT_THROW(owner.Components(1), Exception);
}

TEST(Component, NamesAreUniqueAmongSiblings) {
  std::vector<std::wstring> destroyed;
  TComponent owner(nullptr);
  new Recorded(&owner, L"skener1", destroyed);
  auto* second = new Recorded(&owner, L"skener2", destroyed);
  EXPECT_THROW(second->SetName(L"Skener1"), Exception);
  EXPECT_EQ(second->Name(), L"skener2");
  second->SetName(L"SKENER2");
  EXPECT_EQ(second->Name(), L"SKENER2");
}

TEST(Component, LoadingLastsUntilLoaded) {
  TComponent c(nullptr);
  EXPECT_FALSE(c.Loading());
  c.BeginLoading();
  EXPECT_TRUE(c.Loading());
  c.Loaded();
  EXPECT_FALSE(c.Loading());
  c.SetDesigning(true);
  EXPECT_TRUE(c.Designing());
}

}  // namespace
}  // namespace quillet::serial
