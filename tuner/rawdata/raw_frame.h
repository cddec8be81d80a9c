// One frame of the raw data viewer: the seven graph areas drawn from a
// snapshot of the series, off-screen, ready to be shown in one step.
#pragma once

#include <QImage>
#include <QSize>

#include "tuner/rawdata/raw_model.h"

namespace lumora::rawdata {

// Pixel sizes of the areas; the page lays its graph widgets out at these.
struct AreaSizes {
    QSize top{440, 190};    // "X" and "Y"
    QSize lower{440, 190};  // "XR" and "YR"
    QSize noise{440, 150};  // "N"
    QSize vk{440, 72};      // "VK" and the row below it
};

struct RawFrame {
    QImage x, y, xr, yr, noise, vk1, vk2;
};

// The scale VK rows are drawn at, and the recovery threshold of their keys.
constexpr int kVkScale = 4000;
constexpr int kVkStrayScale = 10000;

// Renders all seven areas of a frame from `data` (view, lowerMode, series,
// holds, scales, history as they stand). The history must already have been
// advanced for this frame (RawDataModel::advanceHistory).
void renderFrame(const RawSnapshot& data, const AreaSizes& sizes, RawFrame& frame);

}  // namespace lumora::rawdata
