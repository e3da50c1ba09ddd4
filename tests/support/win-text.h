/* Test support: texts the platform gives, in the forms tests compare them: the system
 * directory, a window's text, and lower case for names the file system compares without
 * case. */
#pragma once
#include <windows.h>
#include <string>

/** The system directory, without trailing separator. */
std::wstring SystemDir();

/** The text of @p hwnd (a window's title, a control's caption). */
std::wstring WindowText(HWND hwnd);

/** @p s in lower case (ASCII for the narrow form, the C library's wide rules for UTF-16). */
std::string Lower(std::string s);
std::wstring Lower(std::wstring s);
