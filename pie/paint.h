// Painting the pie of the current node into a device context: the window's or a metafile's.
#pragma once

#include <windows.h>

#include <cstdint>

struct PieView;

// The radius of the last paint on the screen, for the hit test.
extern int32_t screenPieRadius;

// MM_ISOTROPIC, 10,000 units across the client's shorter side, origin at its centre.
void setPieMapping(HDC dc, const RECT& client);
void paintPie(HWND window, HDC dc, PieView& view, bool onScreen);
