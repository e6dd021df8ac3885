#include "platform/Parser.h"

namespace zor::platform {

int CParser::GetPair(int32_t index, std::string& key, std::string& value) const {
    if (index < 0 || index >= m_Count)
        return 0;
    key = m_Pairs[static_cast<size_t>(index)].first;
    value = m_Pairs[static_cast<size_t>(index)].second;
    return 1;
}

int CParser::FindValue(const std::string& key, std::string& value) const {
    for (int32_t i = 0; i < m_Count; ++i) {
        if (m_Pairs[static_cast<size_t>(i)].first == key) {
            value = m_Pairs[static_cast<size_t>(i)].second;
            return 1;
        }
    }
    return 0;
}

void CParser::AddPair(std::string key, std::string value) {
    m_Pairs.emplace_back(std::move(key), std::move(value));
}

void CInputParser::Parse() {
    m_Pairs.clear();
    bool open = false;
    std::string key;
    std::string value;
    size_t pos = 0;
    const size_t n = m_Text.size();
    while (pos < n) {
        while (pos < n && m_Text[pos] == ' ')
            ++pos;
        if (pos >= n)
            break;
        const size_t end = m_Text.find(' ', pos);
        const size_t stop = end == std::string::npos ? n : end;
        std::string_view token(m_Text.data() + pos, stop - pos);
        pos = stop;
        if (token.front() == '#') {
            if (open)
                AddPair(std::move(key), std::move(value));
            key.assign(token);
            value.clear();
            open = true;
        } else if (open) {
            if (!value.empty())
                value.push_back(' ');
            value.append(token);
        }
    }
    if (open)
        AddPair(std::move(key), std::move(value));
    Finish();
}

}  // namespace zor::platform
