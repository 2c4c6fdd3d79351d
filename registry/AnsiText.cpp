#include "AnsiText.h"

#ifdef _WIN32
#include <windows.h>

#include <climits>

namespace {

std::wstring toWide(UINT codePage, std::string_view text)
{
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (needed <= 0)
        return {};
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), needed);
    return wide;
}

std::string fromWide(UINT codePage, const std::wstring& wide)
{
    if (wide.empty() || wide.size() > INT_MAX)
        return {};
    const int length = static_cast<int>(wide.size());
    const int needed = WideCharToMultiByte(codePage, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return {};
    std::string text(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), length, text.data(), needed, nullptr, nullptr);
    return text;
}

} // namespace

namespace AnsiText {

std::string toAnsi(std::string_view text)
{
    return fromWide(CP_ACP, toWide(CP_UTF8, text));
}

std::string fromAnsi(std::string_view ansi)
{
    return fromWide(CP_UTF8, toWide(CP_ACP, ansi));
}

} // namespace AnsiText

#else

namespace AnsiText {

std::string toAnsi(std::string_view text)
{
    return std::string(text);
}

std::string fromAnsi(std::string_view ansi)
{
    return std::string(ansi);
}

} // namespace AnsiText

#endif
