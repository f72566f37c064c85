// SPDX-License-Identifier: MIT
// The walk that finds the Ogg files below the base directory.
#ifndef TRACKMETER_SCAN_SCAN_H_
#define TRACKMETER_SCAN_SCAN_H_

#include <functional>
#include <string>
#include <string_view>

#include "common/types.h"
#include "console/status.h"
#include "platform/platform.h"

namespace trackmeter {

// A file name the walk takes: at least 5 bytes, ending in exactly ".ogg".
bool IsOggName(std::string_view name);

// Hands found the path, relative to the current directory, of every Ogg
// file in dir ("" for the current directory) and below it, depth first,
// the entries of each directory in the byte order of their names. A
// directory that cannot be read adds nothing and is reported as the walk
// meets it ("." for the current directory). One that vanished while the
// walk ran, that is already being walked further up (a link cycle), or
// that was walked three times already (reached by more paths through
// links), adds nothing without a word. Throws on a shortage.
void ScanDirectory(System& system, Status& status, const std::string& dir,
                   const std::function<void(std::string)>& found);

}  // namespace trackmeter

#endif  // TRACKMETER_SCAN_SCAN_H_
