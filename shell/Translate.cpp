#include "shell/Translate.h"

#include "langpack/Language.h"
#include "platform/TextConvert.h"

namespace zor::shell {

std::string Tr(const std::string& tag) {
    wchar_t buffer[512];
    const std::wstring wideTag = platform::Utf8ToWide(tag);
    return platform::WideToUtf8(CLanguage::TranslateString(wideTag.c_str(), buffer, 512));
}

}  // namespace zor::shell
