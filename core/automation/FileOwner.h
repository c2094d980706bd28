// FileOwner: the one owner of a C stream (std::FILE*), closed when the owner ends. The log
// readers and the change-log writer hold their files in it. Portable.
#pragma once

#include <cstdio>
#include <memory>

namespace tarvesk {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileOwner = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace tarvesk
