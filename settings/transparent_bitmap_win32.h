// Draws a bitmap onto a device context with one colour left out, so that the
// background shows through wherever the bitmap holds that colour.
#pragma once

#include <windows.h>

// The colour the device picture is drawn on and that is never painted.
inline constexpr COLORREF kTransparentColour = RGB(255, 0, 255);

// Draws bitmap with its top-left corner at (x, y) of target, leaving every
// pixel of the colour transparent unpainted. The target's text and
// background colours are as before afterwards. False when nothing could be
// drawn.
bool DrawTransparentBitmap(HDC target, HBITMAP bitmap, int x, int y,
                           COLORREF transparent = kTransparentColour);
// The same, the bitmap drawn width x height pixels large: each pixel of the
// target takes the nearest pixel of the bitmap, so no edge blends into the
// transparent colour.
bool DrawTransparentBitmap(HDC target, HBITMAP bitmap, int x, int y, int width, int height,
                           COLORREF transparent = kTransparentColour);
