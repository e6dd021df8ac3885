#include "images/HeaderParser.h"

#include <algorithm>
#include <string_view>

namespace zor::images {

void CHeaderParser::Parse() {
    m_Pairs.clear();
    const std::string_view text(m_Text);
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(',', pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view entry = text.substr(pos, end - pos);
        pos = end + 1;
        if (entry.empty())
            continue;
        const size_t eq = entry.find('=');
        if (eq == std::string_view::npos || eq == 0) {
            m_Pairs.clear();
            m_Count = 0;
            m_State = kStateInvalid;
            return;
        }
        AddPair(std::string(entry.substr(0, std::min(eq, kMaxField))),
                std::string(entry.substr(eq + 1, kMaxField)));
    }
    Finish();
}

int CHeaderParser::GetValue(const std::string& key, std::string& value) const {
    if (m_State != kStateParsed)
        return kNotParsed;
    return FindValue(key, value) == 1 ? kFound : kNotFound;
}

}  // namespace zor::images
