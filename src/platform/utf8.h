// Wide text (UTF-16 on Windows, UTF-32 elsewhere) to UTF-8.
#pragma once
#include <cstddef>
#include <string>

namespace portrelay {

std::string toUtf8(const wchar_t* text, size_t length);
// A NUL-terminated text; a null pointer gives an empty text.
std::string toUtf8(const wchar_t* text);

}  // namespace portrelay
