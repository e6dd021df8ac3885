#pragma once
#include <string>

namespace zor::shell {

enum class MessageIcon { Error, Warning, Information };

/// A standard message box: the text always goes to standard error; the modal box is shown only
/// when a person can answer it (not on the offscreen platform).
void ShowMessageBox(const std::string& text, MessageIcon icon);

}  // namespace zor::shell
