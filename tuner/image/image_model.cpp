#include "tuner/image/image_model.h"

#include <algorithm>

namespace lumora::image {

int decodeImagePacket(const uint8_t* packet64, ImageGrids& grids) {
    ImageGrid* grid = nullptr;
    bool rowPacket = false;
    switch (packet64[2]) {
        case kAdRowPacket: grid = &grids.ad; rowPacket = true; break;
        case kAdColumnPacket: grid = &grids.ad; break;
        case kAdLevelRowPacket: grid = &grids.adLevel; rowPacket = true; break;
        case kAdLevelColumnPacket: grid = &grids.adLevel; break;
        default: return 0;
    }
    return forEachImageValue(packet64, kGridSize, [&](int line, int position, int16_t value) {
        if (rowPacket)
            (*grid)[line][position] = value;
        else
            (*grid)[position][line] = value;
    });
}

void transformLine(const int32_t* a, int aStride, int32_t* w, int wStride, int n) {
    if (n <= 0) return;
    auto A = [&](int k) { return a[k * aStride]; };
    auto W = [&](int k) -> int32_t& { return w[k * wStride]; };
    // Each AD value is read before the work value at its place is written,
    // so the transform also runs in place (w == a).
    int32_t previous = A(0);
    W(0) = -previous;
    for (int k = 1; k <= n - 2; ++k) {
        const int32_t current = A(k);
        // C++ division truncates toward zero, as the curve expects.
        W(k) = (previous - current) / 2;
        previous = current;
    }
    if (n >= 2) W(n - 1) = previous;  // a[n-2]
    for (int k = 0; k < n; ++k)
        if (W(k) < 0) W(k) = 0;
}

int32_t multiThreshold(const uint16_t* paramBlock64, uint8_t orientation) {
    return orientation == kDriveXY ? paramBlock64[kThresholdMultiX2YWord]
                                   : paramBlock64[kThresholdMultiY2XWord];
}

bool isVantor(const QString& typeName) { return typeName.contains(QStringLiteral("Vantor")); }

int32_t adLevelHighlightLimit(bool vantor) { return vantor ? 125 : 1800; }

ImageFields startFields(const QString& typeName, const uint16_t* paramBlock64) {
    ImageFields fields;
    fields.shift = isVantor(typeName) ? 1 : 5;
    fields.threshold = multiThreshold(paramBlock64, kDriveYX);
    return fields;
}

KeyAction applyKey(ImageFields& fields, QChar key) {
    // 64-bit sums: a typed threshold may sit anywhere in the 32-bit range.
    const int64_t threshold = fields.threshold;
    switch (key.unicode()) {
        case '+':
            fields.threshold = static_cast<int32_t>(std::min<int64_t>(threshold + kThresholdStep,
                                                                      kThresholdMax));
            return KeyAction::Changed;
        case '-':
            fields.threshold = static_cast<int32_t>(std::max<int64_t>(threshold - kThresholdStep,
                                                                      kThresholdMin));
            return KeyAction::Changed;
        case 'q': increaseShift(fields); return KeyAction::Changed;
        case 'a': decreaseShift(fields); return KeyAction::Changed;
        case 'i': fields.showValues = !fields.showValues; return KeyAction::Changed;
        case 's': return KeyAction::SwapDrive;
        default: return KeyAction::None;
    }
}

void decreaseShift(ImageFields& fields) {
    if (fields.shift > kShiftMin) --fields.shift;
}

void increaseShift(ImageFields& fields) {
    if (fields.shift < kShiftMax) ++fields.shift;
}

void flipDriveOrder(ImageFields& fields, const uint16_t* paramBlock64) {
    fields.orientation = fields.orientation == kDriveXY ? kDriveYX : kDriveXY;
    fields.driveText = fields.orientation == kDriveXY ? QStringLiteral("X -> Y")
                                                     : QStringLiteral("Y -> X");
    fields.threshold = multiThreshold(paramBlock64, fields.orientation);
}

bool parseThreshold(const QString& text, int32_t* threshold) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok) return false;
    *threshold = value;
    return true;
}

}  // namespace lumora::image
