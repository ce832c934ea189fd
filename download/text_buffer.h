#pragma once
// Fixed text buffers of 1024 UTF-16 units with bounded copies. Like the checked copies of the C
// library, a copy that would not fit leaves the target empty and reports false: nothing is cut.
#include <cstddef>
#include <cwchar>

constexpr std::size_t kTextUnits = 1024;
using TextBuffer = wchar_t[kTextUnits];

inline bool CopyText(TextBuffer& target, const wchar_t* source) {
    const std::size_t length = std::wcslen(source);
    if (length >= kTextUnits) {
        target[0] = L'\0';
        return false;
    }
    std::wmemcpy(target, source, length + 1);
    return true;
}

inline bool AppendText(TextBuffer& target, const wchar_t* source) {
    const std::size_t used = std::wcslen(target);
    const std::size_t length = std::wcslen(source);
    if (used + length >= kTextUnits) {
        target[0] = L'\0';
        return false;
    }
    std::wmemcpy(target + used, source, length + 1);
    return true;
}
