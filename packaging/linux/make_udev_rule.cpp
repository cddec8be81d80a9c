// Writes the udev rule that lets the logged-in user open the hidraw nodes
// of every device the programs open (lumora::kOpenedDevices), so that the
// rule and the programs can never disagree about the ids. Run at build time:
//   make_udev_rule <output file>
#include <cstdio>
#include <fstream>
#include <string>

#include "device/controller_ids.h"

namespace {

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value & 0xFFFFu);
    return text;
}

// The product ids of a range as one udev glob: a range must cover whole
// trailing hex digits ("7???" for 0x7000..0x7FFF). Empty when it does not.
std::string productGlob(const lumora::UsbIdRange& r) {
    for (int digits = 0; digits <= 4; ++digits) {
        const unsigned span = 1u << (4 * digits);
        if (r.productFirst % span == 0 && unsigned(r.productLast) - r.productFirst + 1 == span) {
            std::string glob = hex4(r.productFirst);
            for (int i = 0; i < digits; ++i) glob[3 - i] = '?';
            return glob;
        }
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_udev_rule <output file>\n");
        return 2;
    }
    std::string text =
        "# Access to the touch controllers of the Lumora programs and their boards\n"
        "# for the user logged in at the seat, without root. Made at build time\n"
        "# from the programs' own id table; do not edit.\n"
        "# After installing or changing it: udevadm control --reload-rules &&\n"
        "# udevadm trigger --subsystem-match=hidraw (or unplug and plug the board).\n";
    for (const lumora::UsbIdRange& r : lumora::kOpenedDevices) {
        const std::string glob = productGlob(r);
        if (glob.empty()) {
            std::fprintf(stderr, "make_udev_rule: products %04x..%04x of vendor %04x are no hex-digit range\n",
                         r.productFirst, r.productLast, r.vendor);
            return 1;
        }
        text += std::string("\n# ") + r.what + "\n";
        text += "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"" + hex4(r.vendor) +
                "\", ATTRS{idProduct}==\"" + glob + "\", TAG+=\"uaccess\"\n";
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_udev_rule: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
