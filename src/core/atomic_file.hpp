// Output files that appear under their name only when complete: the bytes go to a temporary
// file beside the target, which replaces it once everything is written.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>

namespace ZELK {

// Writes the file at path through write(stream). The stream is a new temporary file in the same
// folder; only after write returns and the file has been flushed and closed without error is it
// renamed over path (taking over the permissions of a file already there). On any failure the
// temporary file is removed and a file already at path stays as it was, and so it is when
// Ctrl-C, SIGTERM or SIGHUP ends the program while the file is written. A file at path that
// may not be written is refused as writing it in place would be. Failing to create, write,
// close or rename raises PathException naming path; any other exception from write passes
// through unchanged.
void writeFileAtomically(const std::string& path, const std::function<void(std::ostream&)>& write);

} // namespace ZELK
