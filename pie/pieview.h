// The current view, shared by the main window, the tree view and the chart.
#pragma once

#include <cstdint>

struct DirNode;

struct PieView {
    int32_t currentDrive = 0;
    DirNode* currentNode = nullptr; // the directory the chart shows; none at start
};

extern PieView pieView;
