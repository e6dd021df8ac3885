#pragma once
#include <string>

namespace zor::platform {

/// Turns every backslash of a system relative path into '/'.
std::string ToPosixPath(std::string path);
/// Joins as the system does: plain concatenation after ToPosixPath of the piece, so doubled
/// separators stay ("a/" + "/b" gives "a//b").
std::string JoinRaw(const std::string& base, const std::string& piece);
/// Appends `piece` with one separator as needed (PathAppend semantics).
std::string JoinWithSeparator(const std::string& base, const std::string& piece);

}  // namespace zor::platform
