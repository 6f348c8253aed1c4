#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

// An in-memory dialog template (DLGTEMPLATEEX) for DialogBoxIndirectParamW, so that the
// window is built from the same control table as every other face of it.
class DialogTemplate {
public:
    // The dialog's style, size in dialog units, caption (UTF-8) and font.
    DialogTemplate(DWORD style, int16_t width, int16_t height, const std::string& caption,
                   const std::wstring& fontName, WORD pointSize);

    // A control of a predefined class (0x0080 button, 0x0081 edit, 0x0082 static,
    // 0x0085 combo box) with a UTF-8 caption.
    void AddControl(WORD windowClass, DWORD style, int32_t id, int16_t x, int16_t y, int16_t width,
                    int16_t height, const std::string& caption);
    // A static control showing icon resource iconId.
    void AddIcon(int32_t id, int16_t x, int16_t y, int16_t width, int16_t height, WORD iconId);

    // The template, valid while this object lives and is not changed.
    const DLGTEMPLATE* Get() const;

private:
    void Align();
    void Put(const void* bytes, size_t count);
    void PutWord(WORD value) { Put(&value, sizeof value); }
    void PutDword(DWORD value) { Put(&value, sizeof value); }
    void PutText(const std::wstring& text);
    void PutControlHead(DWORD style, int32_t id, int16_t x, int16_t y, int16_t width,
                        int16_t height);

    std::vector<uint8_t> m_bytes;
    size_t m_countOffset = 0;
    WORD m_count = 0;
};
