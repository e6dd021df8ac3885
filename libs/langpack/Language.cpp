#include "langpack/Language.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>

#include "langpack/LanguageTable.h"
#include "zor_text/Utf.h"

namespace {

constexpr std::wstring_view kDefaultOpen = L"_[";
constexpr std::wstring_view kDefaultClose = L"]_";

// Everything TranslateString reads; never changed once published, only replaced as a whole.
struct Snapshot {
    zor::langpack::LanguageTable table;
    std::wstring open{kDefaultOpen};
    std::wstring close{kDefaultClose};
    std::string lastError;
};

std::mutex g_Mutex;
std::shared_ptr<const Snapshot> g_Current = std::make_shared<const Snapshot>();

std::shared_ptr<const Snapshot> CurrentSnapshot() {
    std::lock_guard lock(g_Mutex);
    return g_Current;
}

std::wstring DelimiterOr(const wchar_t* given, std::wstring_view fallback) {
    if (given == nullptr || *given == L'\0') {
        return std::wstring(fallback);
    }
    return std::wstring(given);
}

}  // namespace

bool CLanguage::Initialize(const wchar_t* file, const wchar_t* openDelimiter,
                           const wchar_t* closeDelimiter) {
    auto next = std::make_shared<Snapshot>();
    next->open = DelimiterOr(openDelimiter, kDefaultOpen);
    next->close = DelimiterOr(closeDelimiter, kDefaultClose);

    zor::langpack::LoadStatus status = zor::langpack::LoadStatus::FileMissing;
    if (file == nullptr) {
        next->lastError = "language file: no path given";
    } else {
        const std::filesystem::path path(zor::text::WideToUtf8(file));
        status = zor::langpack::LanguageTable::FromFile(path, next->table, &next->lastError);
    }
    const bool ok = status == zor::langpack::LoadStatus::Ok;
    if (ok) {
        next->lastError.clear();
    } else {
        // The caller does not check the result, so the reason at least reaches standard error.
        std::fprintf(stderr, "langpack: %s; tags show their own text\n", next->lastError.c_str());
    }

    std::shared_ptr<const Snapshot> previous;
    {
        std::lock_guard lock(g_Mutex);
        previous = std::exchange(g_Current, std::move(next));
    }
    // `previous` is released here, outside the lock; readers still holding it keep it alive.
    return ok;
}

const wchar_t* CLanguage::TranslateString(const wchar_t* tag, wchar_t* buffer, int size) {
    static const wchar_t kEmpty[1] = {L'\0'};
    if (buffer == nullptr || size <= 0) {
        return kEmpty;
    }
    if (tag == nullptr) {
        buffer[0] = L'\0';
        return buffer;
    }
    const std::shared_ptr<const Snapshot> snapshot = CurrentSnapshot();
    // Built apart from `buffer` first, since the tag may live inside it.
    const std::wstring text =
        zor::langpack::TranslateText(tag, &snapshot->table, snapshot->open, snapshot->close);
    const std::size_t count = std::min(text.size(), static_cast<std::size_t>(size - 1));
    text.copy(buffer, count);
    buffer[count] = L'\0';
    return buffer;
}

std::string CLanguage::LastError() {
    return CurrentSnapshot()->lastError;
}
