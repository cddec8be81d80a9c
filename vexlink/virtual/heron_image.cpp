#include "vexlink/virtual/heron_image.h"

#include <algorithm>
#include <cmath>

namespace vexlink::virt {

namespace {

constexpr double kFingerDip = 360.0;     // raw counts at the finger's centre
constexpr double kFingerSigma = 1.3;     // in channels
constexpr int kStrayLevel = 120;         // 8-bit scale
constexpr int kBareStrayLevel = 30;      // no sensor attached
constexpr int kReferenceStrayLevel = 200;
constexpr int kUnevenFrom = 140;         // added to the uneven line at Rx 0
constexpr int kUnevenTo = 210;           // ... and at its last Rx

}  // namespace

ImageFrame heronImageAt(const Panel& p, int64_t ms, bool rdLines) {
    ImageFrame im;
    const int nx = std::max(p.xCount, 0), ny = std::max(p.yCount, 0);
    im.ad.assign(static_cast<size_t>(nx) * ny, 0);
    im.adLevel.assign(static_cast<size_t>(nx) * ny, 0);
    const FingerState f = fingerAt(p, ms);
    for (int tx = 0; tx < nx; ++tx) {
        const bool reference = rdLines && tx >= nx - 2;
        for (int rx = 0; rx < ny; ++rx) {
            const size_t at = static_cast<size_t>(rx) * nx + tx;
            const bool dead = p.isOpen(false, tx) || p.isOpen(true, rx);
            int dip = 0;
            if (f.touching && !dead && !reference) {
                const double dx = tx - f.x, dy = rx - f.y;
                dip = static_cast<int>(kFingerDip * std::exp(-(dx * dx + dy * dy) /
                                                             (2 * kFingerSigma * kFingerSigma)));
            }
            im.ad[at] = -dip + noiseAt(p, 6, tx * 128 + rx, ms);

            int stray = reference    ? kReferenceStrayLevel
                        : p.attached ? kStrayLevel
                                     : kBareStrayLevel;
            stray += (tx * 7 + rx * 3) % 17 - 8 + noiseAt(p, 7, tx * 128 + rx, ms) / 3;
            if (tx == p.unevenLine)
                stray += kUnevenFrom + (ny > 1 ? (kUnevenTo - kUnevenFrom) * rx / (ny - 1) : 0);
            im.adLevel[at] = stray;
        }
    }
    return im;
}

}  // namespace vexlink::virt
