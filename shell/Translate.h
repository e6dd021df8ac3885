#pragma once
#include <string>

namespace zor::shell {

/// Translates a text tag such as "_[Exit]_" through the language library (UTF-8 in and out).
/// A tag without translation gives its own text without delimiters.
std::string Tr(const std::string& tag);

}  // namespace zor::shell
