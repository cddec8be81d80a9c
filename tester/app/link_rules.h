// Small rules of the tester's connection handling, kept free of devices and
// windows so that they are checked on their own.
#pragma once

#include <QString>
#include <cstdint>

// isBootLoaderCode, isHeronFamily and exitReportId, which the test sequence
// shares.
#include "tester/sequence/unit_info.h"

namespace lumora::tester {

// "LumoraPCBTester v2.3.2.6 for "
QString titleBase();

// Title while a controller is open:
// " <base><customer>-<case> (M:<model>, V:<version>, X:<x>, Y:<y>," and then
// " USB)" for DeviceInterface 0, " UART)" for 1, nothing for other values.
QString connectedTitle(const QString& customer, const QString& caseLabel, const QString& model,
                       const QString& version, int8_t xCount, int8_t yCount, int deviceInterface);
// Title after a connection attempt that left no controller open.
QString notConnectedTitle(const QString& customer, const QString& caseLabel);
// Title set by a disconnection: "<base> (No Link)".
QString disconnectedTitle();

// The type code a mode report (packet 0x36, sub id 0x7C) announces through
// its byte 4; other values leave `current`.
int typeCodeFromModeReport(uint8_t modeByte, int current);

// True for a newly arrived interface of a controller's touch collection:
// the path starts with \\?\HID#VID_2F1B&PID_7 and has "col05" at characters
// 26 to 30, both without regard to case. Shorter paths never match.
bool isControllerArrivalPath(const QString& path);

// The controller's parameter memory check after identification: the 16-bit
// wrap-around sum of a word range plus a seed, compared with word 255.
struct ParamCheckRule {
    int firstWord = 0;
    int lastWord = 0;
    uint16_t seed = 0;
};
// The rule of a type code; false for codes that are not checked.
bool paramCheckRule(int typeCode, ParamCheckRule* rule);

enum class ParamCheck { ReadFailed, Mismatch, Match };
// Reads the words through readWord(index, &word) (false = read failed) and
// stops at the first failed read.
template <typename ReadWord>
ParamCheck checkParameterBlock(const ParamCheckRule& rule, ReadWord readWord) {
    uint16_t sum = rule.seed;
    for (int index = rule.firstWord; index <= rule.lastWord; ++index) {
        uint16_t word = 0;
        if (!readWord(index, &word)) return ParamCheck::ReadFailed;
        sum = static_cast<uint16_t>(sum + word);
    }
    uint16_t stored = 0;
    if (!readWord(255, &stored)) return ParamCheck::ReadFailed;
    return sum == stored ? ParamCheck::Match : ParamCheck::Mismatch;
}

}  // namespace lumora::tester
