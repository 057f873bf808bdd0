#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Records the texts a Today item draws: the item DLL's imports of DrawTextW, DrawTextExW,
// ExtTextOutW and TextOutW are redirected to recorders that note the rectangle and the text,
// then call the real function. Texts are collected only while a paint is being recorded.
class TextRecorder {
public:
    // Redirects the module's imports; returns how many were redirected.
    static int Patch(HMODULE module);

    // Collects the texts drawn until the matching End into lines.
    static void Begin(std::vector<std::wstring>* lines);
    static void End(std::vector<std::wstring>* previous);
    static std::vector<std::wstring>* Current();

    // "left,top,right,bottom<TAB>text", line breaks and tabs written as \r, \n and \t.
    static std::wstring FormatLine(const RECT& rect, const wchar_t* text, int length);
};
