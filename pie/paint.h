// Painting the pie of the current node into a device context: the window's or a metafile's.
#pragma once

#include <windows.h>

#include <cstdint>

struct PieView;

// The radius of the last paint on the screen, for the hit test.
extern int32_t screenPieRadius;

// The chart's mapping as a device context applies it: device = origin + logical * viewport / 10,000.
struct PieMapping {
    POINT origin = {0, 0};
    SIZE viewport = {0, 0}; // none until a mapping is read
};
// The mapping of the last paint on the screen: a mouse move converts its point with plain
// arithmetic instead of a device context of its own, which under Wine costs milliseconds.
extern PieMapping screenMapping;

// MM_ISOTROPIC, 10,000 units across the client's shorter side, origin at its centre.
void setPieMapping(HDC dc, const RECT& client);
// The mapping a device context holds, after setPieMapping.
PieMapping readPieMapping(HDC dc);
// A device point in logical units, rounded as DPtoLP rounds.
POINT toLogical(const PieMapping& mapping, int x, int y);
void paintPie(HWND window, HDC dc, PieView& view, bool onScreen);
