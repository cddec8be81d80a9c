// Pure logic of the "Finch Image Data" page of Heron-class controllers: the
// node grids and the decoding of image packets into them, the "DD"
// transform, the page fields and their limits, the text colour rules of both
// data modes, the uniformity check of the AD Level view, the click
// selections of the image frame and the mode-word changes. Nothing here
// knows a widget or a device, so all of it is tested without a window.
#pragma once

#include <QRgb>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

#include "device/packet.h"

namespace lumora::finch {

// Grids are fixed at 90 lines x 90 positions whatever the controller
// reports; counts are limited to this before they index anything.
constexpr int kGridSize = kMaxChannels;

// One node: the last value and the highest and lowest seen since the grid
// was last reset.
struct Node {
    int16_t value = 0;
    int16_t highest = 0;
    int16_t lowest = 0;
};

// grid[line][position]: a line is an X (Tx) channel and holds the Y (Rx)
// positions, as the controller streams them.
using NodeGrid = std::array<std::array<Node, kGridSize>, kGridSize>;

// The state the page gives Raw and Work when its stream starts: the extremes
// start inside the 8-bit range so that the first value sets both.
constexpr Node kStartNode{0, -255, 255};

// Stores v as the node's value; its highest and lowest follow it.
void storeValue(Node& node, int32_t v);
void fillGrid(NodeGrid& grid, Node node);

// Packet ids of the two images: Tx lines of the raw image and of the stray
// image, in drive order Y->X.
constexpr uint8_t kRawImagePacket = 0x4A;
constexpr uint8_t kStrayImagePacket = 0x4B;

// Registrations of the page, in this order: the packet ids, then the two
// sub ids of packet 0x36. Only the two images carry values the page shows;
// the others are registered so that the end packet is seen whichever id it
// arrives under.
constexpr std::array<uint8_t, 5> kRegisteredPacketIds = {0x3B, 0x4B, 0x4A, 0x51, 0x50};
constexpr uint8_t kSubPacketId = 0x36;
constexpr std::array<uint8_t, 2> kRegisteredSubIds = {0x50, 0x82};

// Window message of streamed data.
constexpr uint32_t kStreamMessage = 0x602;

struct FinchGrids {
    NodeGrid raw{};    // packet 0x4A
    NodeGrid stray{};  // packet 0x4B
};

// Decodes one 64-byte image packet: value i of block B goes to position
// 29 * B + i of line byte 3. Values whose line or position falls outside
// 0 .. 89 have no place in the grids and are dropped (the last block of a
// 90-position line always reaches past 89, so this is ordinary traffic).
// Returns the number of values stored; 0 for ids that carry no image.
int decodeFinchPacket(const uint8_t* packet64, FinchGrids& grids);

// The "DD" transform of a raw line of n positions into a work line:
//   W[0] = -S[0];  W[1] = S[0] - S[1] / 2;
//   W[k] = (S[k-1] - S[k]) >> 1          for 2 <= k <= n-3;
//   W[n-2] = S[n-3] / 2 - S[n-2];  W[n-1] = S[n-2];
// divisions truncating toward zero, the shift arithmetic; the steps run in
// this order, so a later one overwrites an earlier one on short lines. A
// step that would read before the line's start (n < 3) is left out, so a
// line of one value gives W = (-S[0]) and one of two (-S[0], S[0]). Every
// stored W moves the work node's highest and lowest; then every negative W
// becomes 0, the extremes keeping what was stored. Results beyond the
// 16-bit range of a node are held at its ends.
void ddTransform(const Node* raw, Node* work, int n);

// Data modes and views.
constexpr int kCleanMode = 0;    // "Clean Data": curves of the DD transform
constexpr int kAdLevelMode = 3;  // "AD Level": the stray image as a table
constexpr int kCleanDataView = 0;
constexpr int kAdLevelView = 1;

constexpr int kShiftMin = 1;
constexpr int kShiftMax = 15;
constexpr int kStartShift = 2;

// A curve point moves this many pixels per unit of W >> shift.
constexpr int kCurveGain = 4;

struct FinchFields {
    int view = kCleanDataView;
    int dataMode = kCleanMode;
    QString dataModeText = QStringLiteral("Clean");
    int16_t threshold = 0;
    int shift = kStartShift;
    int uniformity = 0;   // byte 13 of the info block
    bool rdMode = false;  // on from the first show
};

// "Clean Data" / "AD Level": the view with its data mode and mode text.
void chooseView(FinchFields& fields, int view);
void decreaseShift(FinchFields& fields);  // "<"
void increaseShift(FinchFields& fields);  // ">"

// Reads the threshold box: a decimal number in the signed 16-bit range.
// Any other text (empty while the user retypes, letters, out of range)
// leaves *threshold at its last valid value and returns false.
bool parseThreshold(const QString& text, int16_t* threshold);

// Colours (red, green, blue).
inline constexpr QRgb kGridLineColour = qRgb(30, 30, 30);
inline constexpr QRgb kCurveColour = qRgb(102, 205, 0);
inline constexpr QRgb kSelectedCurveColour = qRgb(255, 185, 15);
inline constexpr QRgb kRdCurveColour = qRgb(255, 182, 193);
inline constexpr QRgb kOrangeText = qRgb(255, 193, 37);
inline constexpr QRgb kGreyText = qRgb(90, 90, 90);
inline constexpr QRgb kRedText = qRgb(255, 0, 0);
inline constexpr QRgb kBlueText = qRgb(0, 0, 255);
inline constexpr QRgb kPinkText = qRgb(255, 62, 150);
inline constexpr QRgb kLabelFill = qRgb(255, 193, 37);
inline constexpr QRgb kLabelText = qRgb(255, 0, 0);
inline constexpr QRgb kRedMark = qRgb(255, 0, 0);
inline constexpr QRgb kRedMarkText = qRgb(255, 62, 150);
// The green of the marks and their numbers: full green, brighter than the
// curves so that a mark stands out over them.
inline constexpr QRgb kGreenMark = qRgb(0, 255, 0);
inline constexpr QRgb kBoxColour = qRgb(255, 62, 150);
inline constexpr QRgb kBoxText = qRgb(255, 185, 15);

// Data mode 0: orange when W >= threshold, red when W <= -threshold, grey
// between.
QRgb cleanTextColour(int32_t w, int32_t threshold);

// With RD mode on, the last two lines carry the controller's reference
// lines: they are drawn apart and left out of the uniformity means.
bool isRdLine(int line, int xCount, bool rdMode);

// Data mode 3 for one node: W the work (stray) value, r the raw value, b
// the threshold box, water "WaterThreshold" of record 0. Lines other than
// the reference lines: blue outside 3b .. 255-3b, else grey while
// -b < r < b, else orange. Reference lines: blue outside 3w .. 255-3w, else
// pink while -b < r < b, red when r <= -b, else orange.
QRgb adLevelTextColour(int32_t w, int32_t r, int32_t b, int32_t water, bool rdLine);

// What the uniformity check needs besides the work grid.
struct UniformityParams {
    int kind = 0;            // u: 0, 1 or 2; any other value checks nothing
    int32_t touch = 0;       // t: "TouchThreshold" of record 0
    int32_t stray = 0;       // s: "ChkStrayTh"
    int32_t strayWater = 0;  // sw: "ChkStrayThWater"
    bool rdMode = false;
};

// A mark: a segment of width 2 on the boundary after `position`, from line
// `line` to line + 1 (half a line further right when `halfLineRight`),
// with `value` printed 11 pixels above it when `labelled`.
struct UniformityMark {
    int line = 0;
    int position = 0;
    int32_t value = 0;
    bool red = true;  // else green
    bool halfLineRight = false;
    bool labelled = true;
    bool operator==(const UniformityMark&) const = default;
};

// A box: the cell (line, position) filled pink with "%02d" of `value`.
struct UniformityBox {
    int line = 0;
    int position = 0;
    int32_t value = 0;
    bool operator==(const UniformityBox&) const = default;
};

struct UniformityResult {
    std::vector<UniformityMark> marks;  // in drawing order
    std::vector<UniformityBox> boxes;   // in drawing order
};

// The uniformity check over the work grid of xCount lines and yCount
// positions (both 0 .. 90). Positions 0 .. yCount-2 are examined; the
// lines 0 .. n-1 with n = xCount - 2 in RD mode, else xCount. With no line
// to examine (n <= 0) no mean is taken and nothing is marked, apart from
// the spread check of the last line in RD mode.
UniformityResult checkUniformity(const NodeGrid& work, int xCount, int yCount,
                                 const UniformityParams& params);

// Click selections of the image frame: one flag per index 0 .. 89 each.
struct Selections {
    std::array<bool, kGridSize> a{};
    std::array<bool, kGridSize> b{};
    void clear() {
        a.fill(false);
        b.fill(false);
    }
};

// The index a click at `coordinate` selects along a frame side of `side`
// pixels split into `count` parts: floor(coordinate / (side / count)),
// computed exactly in integers (792 / 45 = 17.6, so x = 400 gives 22, where
// an integer step of 17 would give 23). -1 when the click lies outside the
// side or the count gives no part (0 or negative); counts above 90 count as
// 90, so the index always lies in 0 .. 89.
int clickIndex(int coordinate, int side, int count);

// A left click at (x, y) in a frame of width x height pixels: toggles
// entry floor(x / (width / first)) of selection A and entry
// floor(y / (height / second)) of selection B, each only when it lies
// inside its side.
void toggleSelections(Selections& selections, int x, int y, int width, int height,
                      int firstCount, int secondCount);

// The lines whose curve is drawn as selected: selection A when lines are
// columns (xAboveY), selection B otherwise.
const std::array<bool, kGridSize>& selectedLines(const Selections& selections, bool xAboveY);

// Bits of the controller's mode word that the page switches.
constexpr uint32_t kWaterFirstBit = 1u << 7;
constexpr uint32_t kRdModeBit = 1u << 10;
// The word written while the page streams images (RD mode on, water first
// off) and when it closes (the other way round). Neither can be 0xFFFF,
// which DevModeWord would take as a read.
inline uint32_t modeWordForImages(uint32_t word) { return (word & ~kWaterFirstBit) | kRdModeBit; }
inline uint32_t modeWordAfterImages(uint32_t word) { return (word & ~kRdModeBit) | kWaterFirstBit; }

}  // namespace lumora::finch
