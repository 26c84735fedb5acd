// Text between the UTF-8 the tools hold everywhere (paths, messages) and the
// UTF-16 of the Windows API's wide calls, so that a name in any script
// survives the trip; the ANSI calls would turn what the code page cannot
// spell into question marks. Windows builds only (Utf16Win.cpp). Pure
// functions; any thread.
#pragma once

#include <string>

std::wstring Utf16FromUtf8(const std::string& text);
std::string Utf8FromUtf16(const std::wstring& text);

// The system's text for an error code from GetLastError(), in UTF-8, without
// the line break it ends with.
std::string SystemMessageUtf8(unsigned long code);
