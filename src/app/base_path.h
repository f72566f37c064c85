// SPDX-License-Identifier: MIT
// The base directory as the run shows it: by name, as it was given.
#ifndef TRACKMETER_APP_BASE_PATH_H_
#define TRACKMETER_APP_BASE_PATH_H_

#include <string>

namespace trackmeter {

// base as an absolute path, for a run started in start (absolute): start
// with base appended, or base alone when it is absolute, "." and ".."
// folded by name and links left as they are, components joined with
// separator. Where separator is "\", "/" separates too, and a root is a
// drive ("C:\"), a share ("\\server\share\") or, on its own, the root of
// start's drive.
std::string AbsoluteBasePath(const std::string& start, const std::string& base, char separator);

}  // namespace trackmeter

#endif  // TRACKMETER_APP_BASE_PATH_H_
