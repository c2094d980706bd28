#include <gtest/gtest.h>

#include "automation/Error.h"
#include "fileset/PropertyCollection.h"
#include "tests/support/TestFiles.h"

namespace tarvesk {
namespace {

// Empty content is stored (and written back) as the placeholder, which reads as empty; an
// empty name adds nothing; repeated names keep their entries, lookups find the first, with
// no limit on the size.
TEST(PropertyStore, StoresPlaceholdersAndFindsTheFirstOfRepeatedNames) {
  PropertyCollection store;
  std::string empty, placeholder = "!###!", lost = "Wert", first = "1", second = "2";
  store.AddProperty("Telefon", empty);
  EXPECT_EQ(empty, "!###!");
  store.AddProperty("X", placeholder);
  store.AddProperty("", lost);
  store.AddProperty("ID", first);
  store.AddProperty("ID", second);
  EXPECT_EQ(store.PropertyCount(), 4);
  EXPECT_EQ(store.PropertyContent("Telefon") + store.PropertyValueByIndex(1), "");
  EXPECT_EQ(store.PropertyContent("X"), "");
  EXPECT_EQ(store.PropertyContent("ID"), "1");
  EXPECT_EQ(store.PropertyNameByIndex(4) + store.PropertyValueByIndex(4), "ID2");
  EXPECT_EQ(store.PropertyContent("id"), "");
  for (int32_t index : {0, 5, -1, INT32_MAX}) {
    EXPECT_EQ(test::ErrorNumberOf([&] { store.PropertyNameByIndex(index); }), kSubscriptOutOfRange);
    EXPECT_EQ(test::ErrorNumberOf([&] { store.PropertyValueByIndex(index); }),
              kSubscriptOutOfRange);
  }
  for (int i = 0; i < 70000; ++i) {
    std::string value = std::to_string(i);
    store.AddProperty("N" + value, value);
  }
  EXPECT_EQ(store.PropertyContent("N69999"), "69999");
}

}  // namespace
}  // namespace tarvesk
