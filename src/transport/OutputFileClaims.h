#pragma once

#include <cstdint>
#include <string>

// Which request last created each output file. Requests of several components (or one
// component's next request, started from a failure handler) may write the same file name; a
// failed request's clean-up must remove only a file that it wrote itself. Safe on any thread.
namespace transport {

// A number that names one request for the claims; never the same twice in a run.
uint64_t NewOutputFileOwner();
// Records that `owner` has just created the file `name`, taking over any earlier claim.
void ClaimOutputFile(const std::string& name, uint64_t owner);
// Ends `owner`'s claim on `name`; with `remove`, the file is deleted if the claim still stood.
// Returns true when the claim still stood.
bool EndOutputFileClaim(const std::string& name, uint64_t owner, bool remove);

}  // namespace transport
