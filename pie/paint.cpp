#include "pie/paint.h"

#include "model/sizetree.h"
#include "model/survey.h"
#include "pie/handles.h"
#include "pie/layout.h"
#include "pie/pieview.h"
#include "pie/texts.h"
#include "settings/settings.h"

#include <commctrl.h>

#include <cmath>

int32_t screenPieRadius = 4500;
PieMapping screenMapping;

namespace {

COLORREF groupColour(SliceGroup group) {
    switch (group) {
    case SliceGroup::Subdirectory:
        return RGB(255, 255, 0);
    case SliceGroup::Shared:
        return RGB(255, 160, 64);
    case SliceGroup::File:
    case SliceGroup::OwnFiles:
        return RGB(0, 255, 255);
    case SliceGroup::FreeSpace:
        return RGB(0, 255, 0);
    case SliceGroup::Rest:
        break;
    }
    return RGB(192, 192, 192);
}

struct Painter {
    HDC dc;
    int32_t radius;
    int32_t threshold;
    // The shape drawn last with the current brush: a million zero-width slices at one angle are
    // one line, drawn once; drawing it again would change no pixel.
    bool drawnAny = false;
    int32_t lastStart = 0, lastSweep = 0;

    void drawSlice(int32_t start, int32_t sweep) {
        if (drawnAny && start == lastStart && sweep == lastSweep)
            return;
        drawnAny = true;
        lastStart = start;
        lastSweep = sweep;
        POINT ends[2] = {pointAt(start, radius - 10), pointAt(start + sweep, radius - 10)};
        if (sweep <= 10) {
            POINT triangle[3] = {ends[0], ends[1], {0, 0}};
            Polygon(dc, triangle, 3);
            return;
        }
        POINT device[2] = {ends[0], ends[1]};
        LPtoDP(dc, device, 2);
        if (device[0].x == device[1].x && device[0].y == device[1].y && sweep <= 1000) {
            MoveToEx(dc, 0, 0, nullptr);
            LineTo(dc, ends[0].x, ends[0].y);
            return;
        }
        Pie(dc, -radius, -radius, radius, radius, ends[0].x, ends[0].y, ends[1].x, ends[1].y);
    }

    void drawLabel(const Slice& slice, const std::string& name, double bytes) {
        LabelGeometry label = labelGeometry(slice, radius);
        POINT line[2] = {label.lineFrom, label.lineTo};
        Polyline(dc, line, 2);
        SetTextAlign(dc, label.align);
        std::string text = sliceLabel(name, slice.sweep, bytes);
        TextOutA(dc, label.lineTo.x, label.lineTo.y, text.c_str(), static_cast<int>(text.size()));
    }
};

} // namespace

void setPieMapping(HDC dc, const RECT& client) {
    SetMapMode(dc, MM_ISOTROPIC);
    SetWindowExtEx(dc, 10000, 10000, nullptr);
    SetViewportExtEx(dc, client.right, client.bottom, nullptr);
    SetViewportOrgEx(dc, client.right / 2, client.bottom / 2, nullptr);
}

PieMapping readPieMapping(HDC dc) {
    PieMapping mapping;
    GetViewportOrgEx(dc, &mapping.origin);
    GetViewportExtEx(dc, &mapping.viewport);
    return mapping;
}

POINT toLogical(const PieMapping& mapping, int x, int y) {
    auto axis = [](int device, LONG origin, LONG extent) {
        return static_cast<LONG>(std::floor((device - origin) * 10000.0 / extent + 0.5));
    };
    return POINT{axis(x, mapping.origin.x, mapping.viewport.cx), axis(y, mapping.origin.y, mapping.viewport.cy)};
}

void paintPie(HWND window, HDC dc, PieView& view, bool onScreen) {
    DirNode* node = view.currentNode;
    RECT client;
    GetClientRect(window, &client);
    setPieMapping(dc, client);
    if (onScreen)
        SendMessageA(statusBar, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>(totalsText(node).c_str()));

    HFONT font = CreateFontA(300, 0, 0, 0, 400, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0,
                             onScreen ? "MS Sans Serif" : "Arial");
    HGDIOBJ oldFont = SelectObject(dc, font);
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    const int32_t radius = pieRadius(metrics.tmHeight, onScreen);
    if (onScreen) {
        screenPieRadius = radius;
        screenMapping = readPieMapping(dc);
    }
    if (node->totalClusters != 0) {
        HCURSOR oldCursor = SetCursor(waitCursor);
        Painter painter{dc, radius, labelThreshold(client.bottom)};
        const PieLayout& layout = currentLayout(view, showFiles.value != 0);
        const double clusterSize = node->survey->clusterSize;
        size_t i = 0;
        while (i < layout.slices.size()) {
            SliceGroup group = layout.slices[i].group;
            HBRUSH brush = CreateSolidBrush(groupColour(group));
            HGDIOBJ oldBrush = SelectObject(dc, brush);
            painter.drawnAny = false;
            for (; i < layout.slices.size() && layout.slices[i].group == group; ++i) {
                const Slice& slice = layout.slices[i];
                painter.drawSlice(slice.start, slice.sweep);
                // Most slices of a crowded chart are too narrow for a label.
                if (slice.sweep > painter.threshold)
                    painter.drawLabel(slice, sliceName(layout, slice),
                                      static_cast<double>(slice.size) * clusterSize);
            }
            SelectObject(dc, oldBrush);
            DeleteObject(brush);
        }
        SetCursor(oldCursor);
    }
    SelectObject(dc, oldFont);
    DeleteObject(font);
}
