#pragma once
// Base of the system's text parsers and the caller-parameter tokenizer.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zor::platform {

/// Abstract text parser: the text, a parse state and the ordered (key, value) list it yields.
/// Objects live for one call on one thread.
class CParser {
public:
    static constexpr int32_t kStateReady = 2;   ///< before parsing
    static constexpr int32_t kStateParsed = 3;  ///< users accept the list only in this state

    explicit CParser(const std::string& text) : m_Text(text) {}
    virtual ~CParser() = default;
    CParser(const CParser&) = delete;
    CParser& operator=(const CParser&) = delete;

    virtual void Parse() = 0;

    int32_t State() const { return m_State; }
    int32_t Count() const { return m_Count; }
    /// Copies the pair at `index`; returns 1 when index < count, else 0.
    int GetPair(int32_t index, std::string& key, std::string& value) const;
    /// Value of the first pair whose key equals `key` exactly; returns 1 when found, else 0.
    int FindValue(const std::string& key, std::string& value) const;
    const std::vector<std::pair<std::string, std::string>>& Pairs() const { return m_Pairs; }

protected:
    void AddPair(std::string key, std::string value);
    void Finish() {
        m_Count = static_cast<int32_t>(m_Pairs.size());
        m_State = kStateParsed;
    }

    const std::string& m_Text;
    int32_t m_State = kStateReady;
    int32_t m_Count = 0;
    std::vector<std::pair<std::string, std::string>> m_Pairs;
};

/// Caller-parameter grammar: tokens split at U+0020 only; words before the first "#" token are
/// skipped; a "#" token opens a pair whose value is the following non-"#" tokens joined by
/// single spaces. No quoting, no escaping, no failure.
class CInputParser : public CParser {
public:
    using CParser::CParser;
    void Parse() override;
};

}  // namespace zor::platform
