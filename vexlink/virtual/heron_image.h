// Node images of the Heron-class controllers. Their image stream carries
// two images of Tx lines: the raw image (packet 0x4A), each node's signal
// around its calibrated baseline, and the stray image (packet 0x4B), each
// node's stray level on an 8-bit scale. The tuner's "Finch Image Data" page
// draws the raw image as curves of its derivative and checks the stray image
// for lines that stand out from the others.
#pragma once

#include <cstdint>

#include "vexlink/virtual/signal_model.h"

namespace vexlink::virt {

// Bit 10 of the mode word ("RD Mode"): the last two Tx lines of the images
// carry the controller's reference lines instead of panel lines.
constexpr uint32_t kModeWordRdMode = 1u << 10;

// The images at time t (ms), row-major like imageAt (row = Rx channel,
// column = Tx channel): `ad` holds the raw image, `adLevel` the stray image.
//   raw:   noise around 0, and a dip of up to 360 counts under the finger;
//   stray: about 120 with a fixed pattern of +-8 per node and a little
//          noise; on Panel::unevenLine higher by 140 at Rx 0 rising to 210
//          at the last Rx, so that the line fails the uniformity checks.
// With `rdLines`, the last two Tx lines are reference lines: no finger in
// the raw image and a stray level of about 200.
ImageFrame heronImageAt(const Panel& panel, int64_t ms, bool rdLines);

}  // namespace vexlink::virt
