// The judgement of every test item against the plan's thresholds, and the
// texts it writes: plain functions over the item lists and value arrays.
//
// Only the first n-1 channels of an axis of n channels are judged and
// printed; the last channel of each axis carries no measurement the tester
// uses.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "device/test_records.h"
#include "tester/logs/result_log.h"

namespace lumora::tester {

enum class Judgement { Pass, Fail, NotReady };

// AD level (T1-2): AD X channels 0..X-2, then AD Y channels 0..Y-2; -1 makes
// the state "not ready", a value at or above the threshold "fail". The last
// such channel decides, so -1 followed by a failing value fails, and a
// failing value followed by -1 is not ready yet.
Judgement judgeADLevel(const ChannelValues& x, const ChannelValues& y, int xCount, int yCount,
                       int16_t threshold);

// An image step over rows 0..rows-1 and columns 0..columns-1, with the same
// rule and order (row by row). Image Y judges Y rows and X-1 columns, image
// X Y-1 rows and X columns.
Judgement judgeImage(const ImageValues& image, int rows, int columns, int16_t threshold);

// T2 connector: a channel whose change since T1 is at most the axis'
// threshold fails; a T2 value of -1 makes the state "not ready" and ends
// the scan of that axis (X channels 0..X-2, then Y channels 0..Y-2).
Judgement judgeConnectorT2(const ChannelValues& t1x, const ChannelValues& t1y, const ChannelValues& t2x,
                           const ChannelValues& t2y, int xCount, int yCount, int32_t xThreshold,
                           int32_t yThreshold);

// Run-log lines written after a judgement of each packet step.
QString adStepRunLog(const ChannelValues& x, const ChannelValues& y, int xCount, int yCount,
                     int16_t threshold);
QString connectorT1RunLog(const ChannelValues& connectorX, const ChannelValues& connectorY,
                          const ChannelValues& adX, const ChannelValues& adY, int xCount, int yCount,
                          int16_t threshold);
QString connectorT2RunLog(const ChannelValues& t1x, const ChannelValues& t1y, const ChannelValues& t2x,
                          const ChannelValues& t2y, int xCount, int yCount, int32_t xThreshold,
                          int32_t yThreshold);

// What a list of items produced: the detail lines of the result file, the
// run-log lines and the number of failed items.
struct JudgedItems {
    QString detail;
    QString runLog;
    int failures = 0;
};

// The short test's items in arrival order. Step 1 judges the first stage
// (pairs must be in the short range, or for the Heron family at or above
// their lower limit); step 5 judges the Osprey family's second stage (pairs
// must be outside the short range). Pairs of mixed axes are not judged.
struct ShortContext {
    int step = 1;               // 1 or 5
    bool heron = false;         // type codes 6 and 8 (step 1 only)
    int16_t shortLower = 0;
    int16_t pcbShortTh = 0;
    int32_t shortTestTxLTh = 0;
    int xCount = 0;
    int yCount = 0;
    // Special X channel counters of the first stage, 0 at "PCB T1": the S
    // channels (second index 91..96) and the virtual keys (81..89).
    int* sCounter = nullptr;
    int* vkeyCounter = nullptr;
};
JudgedItems judgeShortItems(const std::vector<CTestResult>& items, const ShortContext& context);

// The Heron family's open test (T2): Tx channels must stay at or below
// their upper limit, Rx channels at or above their lower limit. The first
// Rx item after Tx items is preceded by an empty line in both texts.
JudgedItems judgeOpenItems(const std::vector<CTestResult>& items, int32_t txUpper, int32_t rxLower);

}  // namespace lumora::tester
