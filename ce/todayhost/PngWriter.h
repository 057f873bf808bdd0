#pragma once

#include <windows.h>

#include <string>

// Writes the pixels of a screen rectangle to a PNG file (8-bit RGB, stored deflate blocks).
bool WriteScreenPng(const std::wstring& path, int width, int height);
