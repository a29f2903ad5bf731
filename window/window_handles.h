// The window's own handle kinds, on the same owning wrapper as registry keys.
#pragma once

#include "../registry/unique_handle.h"

using unique_hwnd = unique_handle<HWND, &DestroyWindow>;
using unique_hfont = unique_handle<HFONT, &DeleteObject>;
using unique_hicon = unique_handle<HICON, &DestroyIcon>;
using unique_hdc = unique_handle<HDC, &DeleteDC>;
