#include "ui/win32/DialogTemplate.h"

#include <cstring>

#include "comm/win32/WideText.h"

namespace {
constexpr WORD kOrdinal = 0xFFFF;
constexpr WORD kStaticClass = 0x0082;
} // namespace

DialogTemplate::DialogTemplate(DWORD style, int16_t width, int16_t height,
                               const std::string& caption, const std::wstring& fontName,
                               WORD pointSize) {
    PutWord(1);        // dlgVer
    PutWord(kOrdinal); // signature: the extended template
    PutDword(0);       // helpID
    PutDword(0);       // exStyle
    PutDword(style | DS_SETFONT);
    m_countOffset = m_bytes.size();
    PutWord(0); // cDlgItems, counted by AddControl
    for (int16_t value : {int16_t{0}, int16_t{0}, width, height})
        Put(&value, sizeof value);
    PutWord(0); // no menu
    PutWord(0); // the dialog class
    PutText(WideFromUtf8(caption));
    PutWord(pointSize);
    PutWord(FW_NORMAL);
    const BYTE italicAndCharset[2] = {FALSE, DEFAULT_CHARSET};
    Put(italicAndCharset, 2);
    PutText(fontName);
}

void DialogTemplate::AddControl(WORD windowClass, DWORD style, int32_t id, int16_t x, int16_t y,
                                int16_t width, int16_t height, const std::string& caption) {
    PutControlHead(style, id, x, y, width, height);
    PutWord(kOrdinal);
    PutWord(windowClass);
    PutText(WideFromUtf8(caption));
    PutWord(0); // no creation data
}

void DialogTemplate::AddIcon(int32_t id, int16_t x, int16_t y, int16_t width, int16_t height,
                             WORD iconId) {
    PutControlHead(WS_CHILD | WS_VISIBLE | SS_ICON, id, x, y, width, height);
    PutWord(kOrdinal);
    PutWord(kStaticClass);
    PutWord(kOrdinal);
    PutWord(iconId);
    PutWord(0);
}

const DLGTEMPLATE* DialogTemplate::Get() const {
    return reinterpret_cast<const DLGTEMPLATE*>(m_bytes.data());
}

void DialogTemplate::Align() {
    while (m_bytes.size() % 4 != 0)
        m_bytes.push_back(0);
}

void DialogTemplate::Put(const void* bytes, size_t count) {
    const auto* from = static_cast<const uint8_t*>(bytes);
    m_bytes.insert(m_bytes.end(), from, from + count);
}

void DialogTemplate::PutText(const std::wstring& text) {
    Put(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

void DialogTemplate::PutControlHead(DWORD style, int32_t id, int16_t x, int16_t y, int16_t width,
                                    int16_t height) {
    Align();     // every control starts on a DWORD boundary
    PutDword(0); // helpID
    PutDword(0); // exStyle
    PutDword(style);
    for (int16_t value : {x, y, width, height})
        Put(&value, sizeof value);
    PutDword(static_cast<DWORD>(id));
    ++m_count;
    std::memcpy(m_bytes.data() + m_countOffset, &m_count, sizeof m_count);
}
