#pragma once

#include <string>

// Texts are UTF-8 inside the program; Windows calls take UTF-16. These convert at that
// edge. Invalid input yields an empty text.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
