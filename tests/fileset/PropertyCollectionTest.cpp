#include <gtest/gtest.h>

#include "automation/Error.h"
#include "fileset/PropertyCollection.h"

namespace tarvesk {
namespace {

TEST(PropertyStore, KeepsEmptyValuesAsPlaceholder) {
  PropertyCollection store;
  std::string content;
  store.AddProperty("Telefon", content);
  EXPECT_EQ(content, "!###!");  // written back into the caller's variable
  EXPECT_EQ(store.PropertyCount(), 1);
  EXPECT_EQ(store.PropertyContent("Telefon"), "");
  EXPECT_EQ(store.PropertyValueByIndex(1), "");
  std::string placeholder = "!###!";
  store.AddProperty("X", placeholder);
  EXPECT_EQ(store.PropertyContent("X"), "");
}

TEST(PropertyStore, IgnoresEmptyNames) {
  PropertyCollection store;
  std::string content = "Wert";
  store.AddProperty("", content);
  EXPECT_EQ(store.PropertyCount(), 0);
  EXPECT_EQ(content, "Wert");
}

TEST(PropertyStore, FindsTheFirstOfRepeatedNamesExactly) {
  PropertyCollection store;
  std::string first = "1", second = "2";
  store.AddProperty("ID", first);
  store.AddProperty("ID", second);
  EXPECT_EQ(store.PropertyContent("ID"), "1");
  EXPECT_EQ(store.PropertyNameByIndex(2), "ID");
  EXPECT_EQ(store.PropertyValueByIndex(2), "2");
  EXPECT_EQ(store.PropertyContent("id"), "");
  EXPECT_EQ(PropertyCollection().PropertyContent("ID"), "");
}

TEST(PropertyStore, RaisesSubscriptOutOfRangeOutsideItsEntries) {
  PropertyCollection store;
  std::string value = "v";
  store.AddProperty("a", value);
  for (int32_t index : {0, 2, -1, INT32_MAX}) {
    try {
      store.PropertyNameByIndex(index);
      FAIL() << index;
    } catch (const Error& error) {
      EXPECT_EQ(error.Number(), kSubscriptOutOfRange);
    }
    EXPECT_THROW(store.PropertyValueByIndex(index), Error);
  }
}

TEST(PropertyStore, HasNoSizeLimitForLookups) {
  PropertyCollection store;
  for (int i = 0; i < 70000; ++i) {
    std::string value = std::to_string(i);
    store.AddProperty("N" + value, value);
  }
  EXPECT_EQ(store.PropertyContent("N69999"), "69999");
  EXPECT_EQ(store.PropertyCount(), 70000);
}

}  // namespace
}  // namespace tarvesk
