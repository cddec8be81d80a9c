// The udev rule made from the id table at build time: every device the
// programs open is given to the user at the seat, and the rule reaches no
// product beyond the table's.
#include <gtest/gtest.h>

#include <fnmatch.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "device/controller_ids.h"

namespace {

struct RuleLine {
    std::string vendor;
    std::string productGlob;
};

// Every rule line of the file; a line that is neither a comment, blank, nor
// of the one form the programs need fails the test.
std::vector<RuleLine> ruleLines() {
    std::ifstream file(LUMORA_UDEV_RULE_FILE);
    EXPECT_TRUE(file.good()) << LUMORA_UDEV_RULE_FILE;
    const std::regex form(
        R"re(SUBSYSTEM=="hidraw", ATTRS\{idVendor\}=="([0-9a-f]{4})", ATTRS\{idProduct\}=="([0-9a-f?]{4})", TAG\+="uaccess")re");
    std::vector<RuleLine> lines;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::smatch m;
        if (std::regex_match(line, m, form))
            lines.push_back({m[1], m[2]});
        else
            ADD_FAILURE() << "unexpected rule line: " << line;
    }
    return lines;
}

std::string hex4(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", v);
    return text;
}

bool covered(const std::vector<RuleLine>& rules, unsigned vendor, unsigned product) {
    for (const RuleLine& r : rules)
        if (r.vendor == hex4(vendor) && fnmatch(r.productGlob.c_str(), hex4(product).c_str(), 0) == 0)
            return true;
    return false;
}

TEST(UdevRule, CoversEveryDeviceOfTheIdTableAndNothingBeside) {
    const std::vector<RuleLine> rules = ruleLines();
    ASSERT_FALSE(rules.empty());
    for (const lumora::UsbIdRange& r : lumora::kOpenedDevices) {
        SCOPED_TRACE(r.what);
        EXPECT_TRUE(covered(rules, r.vendor, r.productFirst)) << hex4(r.vendor) << ":" << hex4(r.productFirst);
        EXPECT_TRUE(covered(rules, r.vendor, r.productLast)) << hex4(r.vendor) << ":" << hex4(r.productLast);
        EXPECT_TRUE(covered(rules, r.vendor, (r.productFirst + r.productLast) / 2));
    }
    // The pairs the programs search and the family's controllers are in the
    // table the rule is made from.
    for (const lumora::UsbIdPair& p : lumora::kControllerIdPairs)
        EXPECT_TRUE(covered(rules, p.vendor, p.product)) << hex4(p.vendor) << ":" << hex4(p.product);
    for (const lumora::UsbIdPair& p :
         {lumora::kPwmTesterId, lumora::kFeatureDeviceId, lumora::kUartBridgeIds[0], lumora::kUartBridgeIds[1],
          lumora::UsbIdPair{0x2F1B, 0x7A04}, lumora::UsbIdPair{0x2F1B, 0x7B06}})
        EXPECT_TRUE(covered(rules, p.vendor, p.product)) << hex4(p.vendor) << ":" << hex4(p.product);

    // Every rule line serves an entry of the table, and no device outside the
    // table is let in (for instance the family's vendor id with another
    // product, or a neighbour of a searched pair).
    for (const RuleLine& line : rules) {
        bool serves = false;
        for (const lumora::UsbIdRange& r : lumora::kOpenedDevices)
            serves = serves || (line.vendor == hex4(r.vendor) &&
                                fnmatch(line.productGlob.c_str(), hex4(r.productFirst).c_str(), 0) == 0);
        EXPECT_TRUE(serves) << line.vendor << ":" << line.productGlob;
    }
    const lumora::UsbIdPair outside[] = {{0x2F1B, 0x6FFF}, {0x2F1B, 0x8000}, {0x2F1B, 0x0000},
                                         {0x20AC, 0x0E03}, {0x04E7, 0x006D}, {0x14F8, 0x5805}};
    for (const lumora::UsbIdPair& p : outside) {
        EXPECT_FALSE(lumora::isOpenedDevice(p.vendor, p.product)) << hex4(p.vendor) << ":" << hex4(p.product);
        EXPECT_FALSE(covered(rules, p.vendor, p.product)) << hex4(p.vendor) << ":" << hex4(p.product);
    }
}

}  // namespace
