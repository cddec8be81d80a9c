// Pure logic of the "Image Data" page: the 90 x 90 node grids, the decoding
// of image packets into them, the line transform of the Clean Data view and
// the rules of the page fields (threshold, shift, drive order). Nothing here
// knows a widget or a device, so all of it is tested without a window.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "device/packet.h"

namespace lumora::image {

// Grids are fixed at 90 x 90 whatever the controller reports; counts are
// limited to this before they index anything.
constexpr int kGridSize = kMaxChannels;

// Row-major: grid[row][column], row = Y channel, column = X channel.
using ImageGrid = std::array<std::array<int32_t, kGridSize>, kGridSize>;

// Packet ids of the image streams. Rows arrive in drive order Y->X, columns
// in X->Y; the AD image feeds "Clean Data", the AD-level image "AD Level".
constexpr uint8_t kAdRowPacket = 0x4B;
constexpr uint8_t kAdColumnPacket = 0x4A;
constexpr uint8_t kAdLevelRowPacket = 0x51;
constexpr uint8_t kAdLevelColumnPacket = 0x50;

// Every id the page registers, in registration order. Only the four above
// carry values; the others are registered so that the end packet, which
// arrives under any of them, is seen.
constexpr std::array<uint8_t, 9> kRegisteredPacketIds = {0x3B, 0x4B, 0x4A, 0x51, 0x50,
                                                         0x56, 0x55, 0x5D, 0x5C};

// Window message of streamed data.
constexpr uint32_t kStreamMessage = 0x602;

struct ImageGrids {
    ImageGrid ad{};       // packets 0x4B / 0x4A
    ImageGrid adLevel{};  // packets 0x51 / 0x50
};

// Decodes one 64-byte image packet into its grid. Value i belongs to
// position 29 * block + i of line `packet[3]`; values whose line or position
// falls outside 0 .. 89 are dropped (the last block of a 90-value line always
// reaches past 89, so this is ordinary traffic, not an error). Returns the
// number of values stored; 0 for ids that carry no image.
int decodeImagePacket(const uint8_t* packet64, ImageGrids& grids);

// Transforms one line of n AD values `a` into work values `w` (both with
// their own stride between elements, so rows and columns share the code):
//   w[0] = -a[0]; w[k] = (a[k-1] - a[k]) / 2 for 1 <= k <= n-2 (truncating);
//   w[n-1] = a[n-2]; then every negative w becomes 0.
// A one-value line has no predecessor for its last element: it keeps
// w[0] = -a[0] (cleared if negative) and reads nothing before the line.
void transformLine(const int32_t* a, int aStride, int32_t* w, int wStride, int n);

// Drive orders of the stream.
constexpr uint8_t kDriveYX = 0;
constexpr uint8_t kDriveXY = 1;

// Views of the radio group.
constexpr int32_t kCleanDataView = 0;
constexpr int32_t kAdLevelView = 1;

// Limits of the page fields.
constexpr int32_t kThresholdStep = 200;
constexpr int32_t kThresholdMin = 200;
constexpr int32_t kThresholdMax = 100000;
constexpr uint32_t kShiftMin = 1;
constexpr uint32_t kShiftMax = 15;

// Parameter block words of the two image thresholds.
constexpr int kThresholdMultiX2YWord = 3;
constexpr int kThresholdMultiY2XWord = 4;

// "ThresholdMulti X2Y" in drive order X->Y, "ThresholdMulti Y2X" otherwise.
// The words are unsigned thresholds, so 0 .. 65535.
int32_t multiThreshold(const uint16_t* paramBlock64, uint8_t orientation);

// The "Vantor" controllers report much smaller AD levels and need finer
// curves: the highlight limit drops to 125 and the start shift to 1.
bool isVantor(const QString& typeName);
int32_t adLevelHighlightLimit(bool vantor);

struct ImageFields {
    uint8_t orientation = kDriveYX;
    int32_t displayMode = kAdLevelView;
    int32_t threshold = 0;
    uint32_t shift = 5;
    bool showValues = true;
    QString driveText = QStringLiteral("Y->X");
};

// Start values of the page fields for a controller of this type name; the
// threshold is the block's "ThresholdMulti Y2X".
ImageFields startFields(const QString& typeName, const uint16_t* paramBlock64);

// What a typed character asks of the page.
enum class KeyAction {
    None,       // not a key of the page
    Changed,    // a field changed (or stayed at its limit): show the fields
    SwapDrive,  // 's': the "X / Y" command
};

// Applies '+', '-', 'q', 'a', 'i' to the fields; 's' is left to the caller
// because it talks to the controller. Lower case only, as the page defines.
KeyAction applyKey(ImageFields& fields, QChar key);

void decreaseShift(ImageFields& fields);  // "<<"
void increaseShift(ImageFields& fields);  // ">>"

// The field part of a drive-order swap: flips the order, writes the drive
// text ("X -> Y" / "Y -> X") and takes the threshold of the new order.
void flipDriveOrder(ImageFields& fields, const uint16_t* paramBlock64);

// Reads the "Threshold" box. Text that is not a 32-bit decimal integer
// (empty while the user retypes, letters, out of range) leaves *threshold
// at its last valid value and returns false.
bool parseThreshold(const QString& text, int32_t* threshold);

}  // namespace lumora::image
