// A watch on every unlink of the program it is linked into: while armed, each unlinkat() and
// unlink() is checked to remove an entry of one folder or a folder below it, found from the
// call's own directory descriptor, and the call is refused and recorded when it does not.
#pragma once

#include <string>
#include <vector>

void unlink_guard_arm(const std::string &allowed_real_folder);
void unlink_guard_disarm();
// The calls refused since the last arm, as "folder + name" host paths.
const std::vector<std::string> &unlink_guard_violations();
// How many entries were removed since the last arm.
size_t unlink_guard_removed();
