// PropertyCollection: the ordered store of name/value strings in which header properties
// and action details are handed out. Insertion order is the only order; names repeat; a
// name is never empty; an empty value is kept as the placeholder "!###!" and reads back
// as "". Owned by whoever holds the shared_ptr; used on its creator's thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvesk {

inline constexpr const char* kEmptyValuePlaceholder = "!###!";

class PropertyCollection {
 public:
  // An empty Content becomes "!###!", also in the caller's variable; an empty name adds
  // nothing.
  void AddProperty(const std::string& PropertyName, std::string& Content);
  // The value of the first property of that name (exact comparison); "" when none.
  std::string PropertyContent(const std::string& PropertyName) const;
  int32_t PropertyCount() const { return static_cast<int32_t>(colPropertyNames.size()); }
  // 1-based; an index outside 1..PropertyCount raises error 9.
  std::string PropertyNameByIndex(int32_t Index) const;
  std::string PropertyValueByIndex(int32_t Index) const;

 private:
  size_t Position(int32_t Index) const;

  std::vector<std::string> colPropertyNames;
  std::vector<std::string> colPropertyValues;
};

}  // namespace tarvesk
