#include "tuner/finch_image/finch_model.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace lumora::finch {
namespace {

int16_t toNode(int64_t v) {
    return static_cast<int16_t>(std::clamp<int64_t>(v, std::numeric_limits<int16_t>::min(),
                                                    std::numeric_limits<int16_t>::max()));
}

int64_t magnitude(int64_t v) { return v < 0 ? -v : v; }

}  // namespace

void storeValue(Node& node, int32_t v) {
    node.value = toNode(v);
    node.highest = std::max(node.highest, node.value);
    node.lowest = std::min(node.lowest, node.value);
}

void fillGrid(NodeGrid& grid, Node node) {
    for (auto& line : grid) line.fill(node);
}

int decodeFinchPacket(const uint8_t* packet64, FinchGrids& grids) {
    NodeGrid* grid = nullptr;
    switch (packet64[2]) {
        case kRawImagePacket: grid = &grids.raw; break;
        case kStrayImagePacket: grid = &grids.stray; break;
        default: return 0;
    }
    return forEachImageValue(packet64, kGridSize, [&](int line, int position, int16_t value) {
        storeValue((*grid)[line][position], value);
    });
}

void ddTransform(const Node* raw, Node* work, int n) {
    n = std::min(n, kGridSize);
    if (n <= 0) return;
    auto S = [&](int k) { return static_cast<int32_t>(raw[k].value); };
    auto put = [&](int k, int32_t w) { storeValue(work[k], w); };
    // Step 1. C++ division truncates toward zero; >> on a negative int is
    // an arithmetic shift (C++20).
    put(0, -S(0));
    if (n >= 2) put(1, S(0) - S(1) / 2);
    // Step 2.
    for (int k = 2; k <= n - 3; ++k) put(k, (S(k - 1) - S(k)) >> 1);
    // Step 3: W[n-2] reads S[n-3], which a line of two does not have.
    if (n >= 3) put(n - 2, S(n - 3) / 2 - S(n - 2));
    if (n >= 2) put(n - 1, S(n - 2));
    // Step 4: the extremes keep what was stored.
    for (int k = 0; k < n; ++k)
        if (work[k].value < 0) work[k].value = 0;
}

void chooseView(FinchFields& fields, int view) {
    if (view == kAdLevelView) {
        fields.view = kAdLevelView;
        fields.dataMode = kAdLevelMode;
        fields.dataModeText = QStringLiteral("ADLevel");
    } else {
        fields.view = kCleanDataView;
        fields.dataMode = kCleanMode;
        fields.dataModeText = QStringLiteral("Clean");
    }
}

void decreaseShift(FinchFields& fields) {
    if (fields.shift > kShiftMin) --fields.shift;
}

void increaseShift(FinchFields& fields) {
    if (fields.shift < kShiftMax) ++fields.shift;
}

bool parseThreshold(const QString& text, int16_t* threshold) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || value < std::numeric_limits<int16_t>::min() ||
        value > std::numeric_limits<int16_t>::max())
        return false;
    *threshold = static_cast<int16_t>(value);
    return true;
}

QRgb cleanTextColour(int32_t w, int32_t threshold) {
    const int64_t th = threshold;
    if (w >= th) return kOrangeText;
    if (w <= -th) return kRedText;
    return kGreyText;
}

bool isRdLine(int line, int xCount, bool rdMode) {
    return rdMode && (line == xCount - 1 || line == xCount - 2);
}

QRgb adLevelTextColour(int32_t w, int32_t r, int32_t b, int32_t water, bool rdLine) {
    // 64-bit: three times a typed 16-bit threshold still fits comfortably.
    const int64_t limit = 3 * int64_t(rdLine ? water : b);
    if (w < limit || w > 255 - limit) return kBlueText;
    const bool quiet = -int64_t(b) < r && r < int64_t(b);
    if (!rdLine) return quiet ? kGreyText : kOrangeText;
    if (quiet) return kPinkText;
    return r <= -int64_t(b) ? kRedText : kOrangeText;
}

UniformityResult checkUniformity(const NodeGrid& work, int xCount, int yCount,
                                 const UniformityParams& params) {
    UniformityResult out;
    const int xs = std::clamp(xCount, 0, kGridSize);
    const int ys = std::clamp(yCount, 0, kGridSize);
    const int n = params.rdMode ? xs - 2 : xs;  // lines examined
    const int u = params.kind;
    const int64_t t = params.touch, s = params.stray, sw = params.strayWater;
    auto W = [&](int line, int position) { return int64_t(work[line][position].value); };
    auto clampValue = [](int64_t v) {
        return static_cast<int32_t>(std::min<int64_t>(v, std::numeric_limits<int32_t>::max()));
    };

    int64_t total = 0;
    bool edgeNoted = false;  // u = 1: a deviation on the first or last line examined
    bool strong = false;     // u = 1: a deviation above 1.5 t
    // RD mode: the spread of the last line (the reference line).
    const bool trackRd = params.rdMode && xs >= 1;
    int64_t smallest = 0, largest = 0;
    int smallestAt = -1, largestAt = -1;

    for (int p = 0; p <= ys - 2; ++p) {
        if (n > 0) {
            int64_t sum = 0;
            for (int j = 0; j < n; ++j) sum += W(j, p);
            const int64_t mean = sum / n;  // truncating
            int64_t positionSum = 0;
            for (int j = 0; j < n; ++j) {
                const int64_t d = magnitude(W(j, p) - mean);
                if (u == 0) {
                    if (d > 2 * t) {
                        positionSum += d;
                        out.marks.push_back({j, p, clampValue(d), true, false, true});
                    }
                } else if (u == 1) {
                    if (d > t) {
                        total += d;
                        if (j == 0 || j == n - 1) edgeNoted = true;
                        out.marks.push_back({j, p, clampValue(d), false, false, true});
                    }
                    if (d > (3 * t) >> 1) {
                        strong = true;
                        out.marks.push_back({j, p, clampValue(d), true, false, true});
                    }
                } else if (u == 2 && j < n - 1) {
                    const int64_t c = magnitude(W(j, p) - W(j + 1, p));
                    if (c > sw) {
                        total = std::max(total, c);
                        out.marks.push_back({j, p, clampValue(c), c > s, true, true});
                    }
                }
            }
            if (u == 0 && positionSum > s) out.boxes.push_back({xs, p, clampValue(positionSum)});
        }
        if (trackRd) {
            const int64_t v = W(xs - 1, p);
            if (smallestAt < 0 || v < smallest) smallest = v, smallestAt = p;
            if (largestAt < 0 || v > largest) largest = v, largestAt = p;
        }
    }

    if (u == 1) {
        const bool edge = edgeNoted && total > 2 * t;
        if (!strong) total = 0;
        if (total > s || edge) out.boxes.push_back({xs, ys, clampValue(total)});
    } else if (u == 2) {
        if (total > s) out.boxes.push_back({xs, ys, clampValue(total)});
    }
    if (trackRd && u != 2 && smallestAt >= 0 && largest - smallest > sw) {
        out.marks.push_back({xs - 1, smallestAt, 0, true, false, false});
        out.marks.push_back({xs - 1, largestAt, 0, true, false, false});
        out.boxes.push_back({xs - 1, ys, clampValue(largest - smallest)});
    }
    return out;
}

int clickIndex(int coordinate, int side, int count) {
    count = std::min(count, kGridSize);
    if (count <= 0 || side <= 0 || coordinate < 0 || coordinate >= side) return -1;
    // floor(c / (side / count)) == floor(c * count / side) for c >= 0,
    // without the rounding of a floating-point step.
    return static_cast<int>(int64_t(coordinate) * count / side);
}

void toggleSelections(Selections& selections, int x, int y, int width, int height,
                      int firstCount, int secondCount) {
    const int a = clickIndex(x, width, firstCount);
    const int b = clickIndex(y, height, secondCount);
    if (a >= 0) selections.a[size_t(a)] = !selections.a[size_t(a)];
    if (b >= 0) selections.b[size_t(b)] = !selections.b[size_t(b)];
}

const std::array<bool, kGridSize>& selectedLines(const Selections& selections, bool xAboveY) {
    return xAboveY ? selections.a : selections.b;
}

}  // namespace lumora::finch
