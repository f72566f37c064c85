// SPDX-License-Identifier: MIT
#include "app/base_path.h"

#include <cctype>
#include <vector>

namespace trackmeter {

namespace {

bool IsSeparator(char c, char separator) { return c == '/' || c == separator; }

// How much of path is its root ("/", "C:\", "\\server\share\"); 0 when it
// is relative. *core is the root without its last separator.
std::size_t Root(const std::string& path, char separator, std::string* core) {
  const auto sep = [&](std::size_t i) {
    return i < path.size() && IsSeparator(path[i], separator);
  };
  std::size_t end = 0;
  if (separator == '\\' && sep(0) && sep(1)) {
    end = 2;
    for (int part = 0; part < 2; ++part) {  // the server, then the share
      while (end < path.size() && !sep(end)) ++end;
      if (part == 0 && end < path.size()) ++end;
    }
  } else if (separator == '\\' && path.size() >= 2 && path[1] == ':' &&
             std::isalpha(static_cast<unsigned char>(path[0]))) {
    end = 2;
  }
  *core = path.substr(0, end);
  for (char& c : *core) c = c == '/' ? separator : c;
  if (sep(end)) return end + 1;
  return end;
}

}  // namespace

std::string AbsoluteBasePath(const std::string& start, const std::string& base, char separator) {
  std::string core;
  std::string path;
  const std::size_t base_root = Root(base, separator, &core);
  if (base_root == 0) {
    path = start + separator + base;
  } else if (core.empty() && separator == '\\') {
    Root(start, separator, &core);  // "\dir": below the root of start's drive
    path = core + base;
  } else {
    path = base;
  }
  const std::size_t root = Root(path, separator, &core);
  std::vector<std::string> parts;
  std::size_t from = root;
  while (from <= path.size()) {
    std::size_t end = from;
    while (end < path.size() && !IsSeparator(path[end], separator)) ++end;
    const std::string part = path.substr(from, end - from);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    from = end + 1;
  }
  // A start that could not be had is ".", and the path stays relative.
  std::string folded = root == 0 ? "." : core;
  for (const std::string& part : parts) folded += separator + part;
  if (root == 0) return folded.size() > 2 ? folded.substr(2) : folded;
  return parts.empty() ? folded + separator : folded;
}

}  // namespace trackmeter
