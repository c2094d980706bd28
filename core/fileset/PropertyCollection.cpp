#include "fileset/PropertyCollection.h"

#include "automation/Error.h"

namespace tarvesk {
namespace {

std::string_view Unplaceholder(std::string_view value) {
  return value == kEmptyValuePlaceholder ? std::string_view() : value;
}

}  // namespace

void PropertyCollection::AddProperty(const std::string& PropertyName, std::string& Content) {
  if (Content.empty()) Content = kEmptyValuePlaceholder;
  if (PropertyName.empty()) return;
  colPropertyNames.push_back(PropertyName);
  colPropertyValues.push_back({Content, {}, nullptr});
}

void PropertyCollection::AddProperty(const std::string& PropertyName, std::string&& Content) {
  if (Content.empty()) Content = kEmptyValuePlaceholder;
  if (PropertyName.empty()) return;
  colPropertyNames.push_back(PropertyName);
  colPropertyValues.push_back({std::move(Content), {}, nullptr});
}

void PropertyCollection::AddProperty(const std::string& PropertyName, std::string_view Content,
                                     std::shared_ptr<const void> owner) {
  if (Content.empty() || !owner) {
    AddProperty(PropertyName, std::string(Content));
    return;
  }
  if (PropertyName.empty()) return;
  colPropertyNames.push_back(PropertyName);
  colPropertyValues.push_back({{}, Content, std::move(owner)});
}

std::string PropertyCollection::PropertyContent(const std::string& PropertyName) const {
  for (size_t i = 0; i < colPropertyNames.size(); ++i) {
    if (colPropertyNames[i] == PropertyName) {
      return std::string(Unplaceholder(colPropertyValues[i].Text()));
    }
  }
  return "";
}

size_t PropertyCollection::Position(int32_t Index) const {
  if (Index < 1 || static_cast<size_t>(Index) > colPropertyNames.size()) {
    throw Error(kSubscriptOutOfRange);
  }
  return static_cast<size_t>(Index) - 1;
}

std::string PropertyCollection::PropertyNameByIndex(int32_t Index) const {
  return colPropertyNames[Position(Index)];
}

std::string PropertyCollection::PropertyValueByIndex(int32_t Index) const {
  return std::string(PropertyValueView(Index));
}

std::string_view PropertyCollection::PropertyValueView(int32_t Index) const {
  return Unplaceholder(colPropertyValues[Position(Index)].Text());
}

}  // namespace tarvesk
