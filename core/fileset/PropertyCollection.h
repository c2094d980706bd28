// PropertyCollection: the ordered store of name/value strings in which header properties
// and action details are handed out. Insertion order is the only order; names repeat; a
// name is never empty; an empty value is kept as the placeholder "!###!" and reads back
// as "". Owned by whoever holds the shared_ptr; used on its creator's thread. A long value
// may be kept as a view into a text held alive by its owner (a log's lines), not copied.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvesk {

inline constexpr const char* kEmptyValuePlaceholder = "!###!";

class PropertyCollection {
 public:
  // An empty Content becomes "!###!", also in the caller's variable; an empty name adds
  // nothing.
  void AddProperty(const std::string& PropertyName, std::string& Content);
  // As AddProperty, taking Content over.
  void AddProperty(const std::string& PropertyName, std::string&& Content);
  // As AddProperty, keeping Content as a view into a text that owner keeps alive.
  void AddProperty(const std::string& PropertyName, std::string_view Content,
                   std::shared_ptr<const void> owner);
  // Room for n properties in all, so that adding them moves nothing.
  void Reserve(size_t n) {
    colPropertyNames.reserve(n);
    colPropertyValues.reserve(n);
  }
  // The value of the first property of that name (exact comparison); "" when none.
  std::string PropertyContent(const std::string& PropertyName) const;
  int32_t PropertyCount() const { return static_cast<int32_t>(colPropertyNames.size()); }
  // 1-based; an index outside 1..PropertyCount raises error 9.
  std::string PropertyNameByIndex(int32_t Index) const;
  std::string PropertyValueByIndex(int32_t Index) const;
  // As PropertyValueByIndex, without a copy; valid while the collection lives unchanged.
  std::string_view PropertyValueView(int32_t Index) const;

 private:
  size_t Position(int32_t Index) const;

  std::vector<std::string> colPropertyNames;
  struct Value {
    std::string text;
    std::string_view view;  // the value when owner is set
    std::shared_ptr<const void> owner;
    std::string_view Text() const { return owner ? view : std::string_view(text); }
  };
  std::vector<Value> colPropertyValues;
};

}  // namespace tarvesk
