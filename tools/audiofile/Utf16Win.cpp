#include <windows.h>

#include "tools/audiofile/Utf16.h"

std::wstring Utf16FromUtf8(const std::string& text) {
    if (text.empty())
        return std::wstring();
    const int size = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, &wide[0], n);
    return wide;
}

std::string Utf8FromUtf16(const std::wstring& text) {
    if (text.empty())
        return std::string();
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, &narrow[0], n, nullptr, nullptr);
    return narrow;
}

// The wide call: the ANSI one would give the text of a localised system in
// its code page, not in UTF-8.
std::string SystemMessageUtf8(unsigned long code) {
    wchar_t buf[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   buf, sizeof(buf) / sizeof(buf[0]), nullptr);
    std::string text = Utf8FromUtf16(buf);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}
