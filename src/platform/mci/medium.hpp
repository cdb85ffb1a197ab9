// What a device may be opened on: one ordinary file holding media.  Both
// backends ask before they open anything, so a pipe, a device or a socket is
// never opened (an open of a pipe waits for a writer for ever), a folder is not
// walked, and a play list is not followed to the files it names.
#pragma once

#include <cstdint>
#include <string>

namespace t2::mci {

// 0 for an ordinary file that is not a play list; 275 when there is nothing to
// reach by that name; 296 for a folder, a pipe, a device, a socket or a play list.
// With `opened`, an answer of 0 also hands over the checked file, open for
// reading at its start (the caller closes it): a player given that descriptor
// reads the very file that was checked, whatever the name points to since.
uint32_t check_medium(const std::string& path, int* opened = nullptr);

// True when the bytes a file starts with are a play list's (an extended M3U or
// a PLS list) or a player's edit list naming other files.
bool looks_like_play_list(const char* bytes, size_t size);

}  // namespace t2::mci
