#pragma once
#include <string>

#include <sys/types.h>

namespace quolva::store {

// Where a file written by replacement goes: a new file is written under another name beside its output
// and then renamed over it, so that the output is never seen half written. A symbolic link is followed
// to the file it names (which may not exist yet), so that the link stays and its target gets the new
// file; renaming over the link itself would put a regular file in its place.
struct OutputTarget {
    std::string path;    // the file to create or replace: the output, or where its links lead
    std::string folder;  // the folder that holds it, where the part file is made
    std::string name;    // its name in that folder
    bool exists = false; // a regular file is there now
    mode_t mode = 0;     // its permissions, for the file that replaces it
};

// Follows `output`'s symbolic links. Throws StoreError, naming `output`, when what is there is not a
// regular file (a folder, a device, a pipe, a socket: renaming over it would replace it by a regular
// file), when the links go round in a loop, or when it cannot be looked at.
OutputTarget ResolveOutputTarget(const std::string& output);

// A hidden name for the part file of `target` in its folder: "." + the target's name + "." + `tag` +
// ".part", the target's name shortened (at a UTF-8 character boundary) so that the whole name fits the
// folder's file name limit (255 bytes on the usual file systems).
std::string PartFileName(const OutputTarget& target, const std::string& tag);

} // namespace quolva::store
