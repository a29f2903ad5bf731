// Twips (1/1440 inch) against device pixels, at the DPI of the window that shows them.
#pragma once

#include <windows.h>

inline constexpr double TwipsPerInch = 1440.0;

UINT WindowDpi(HWND hwnd);
// GetSystemMetrics at a given DPI, where the system can say.
int SystemMetricForDpi(int index, UINT dpi);
double PixelsToTwips(int pixels, UINT dpi);
double TwipsToPixels(double twips, UINT dpi);

// The outer window rectangle (origin 0,0) that gives a client area of the given size at `dpi`.
RECT OuterRectForClient(DWORD style, DWORD exStyle, int clientWidth, int clientHeight, UINT dpi);
