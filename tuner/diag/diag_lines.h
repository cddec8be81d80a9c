// The texts of the "Diagnostic" page: one line per reported item of the
// built-in panel tests, and the whole text a final result puts into the
// result box. Pure functions of the items and the page's settings.
#pragma once

#include <QString>
#include <vector>

#include "device/test_records.h"

namespace lumora::diag {

// Osprey-class controllers (type code 4) name their channels X and Y and
// take one threshold per test; Heron-class controllers (6 and 8) name them
// Tx and Rx and take lower and upper open limits and per-axis short limits.
enum class Flavour { Osprey, Heron };
Flavour flavourFor(int typeCode);

enum class DiagTest { Open, Short, Mutual, ADLevel };

// "Show Fail Only" and "Show All", the report selection.
constexpr int kShowFailOnly = 0;
constexpr int kShowAll = 1;

// The page's settings as the last test start read them.
struct DiagSettings {
    int selection = kShowAll;
    int openTh = 200;        // "Open Th", Osprey
    int shortTh = 600;       // "Short Th", Osprey
    int mutualTh = 2500;     // "Mutual Th"
    int adLevelTh = 1700;    // "ADLevel Th"
    int openLower = 50;      // Heron, not shown
    int openUpper = 200;     // Heron, not shown
    int shortTxTh = 100;     // Heron, not shown
    int shortRxTh = 0;       // Heron: the Kestrel page's touch threshold in use
    int adGraphRef = 200;    // the reference line of the AD view
};

// One line per item, each ending in "Pass\r\n" or "Fail\r\n" (mutual table
// lines end in their value). Channel numbers are the index plus one, except
// in the mutual table.
QString openLine(const CTestResult& item, Flavour flavour, const DiagSettings& s);
QString shortLine(const CTestResult& item, Flavour flavour, const DiagSettings& s);
QString mutualLine(const CTestResult& item, Flavour flavour);
QString mutualTableLine(const CTestResult& item);
QString adLevelLine(const CTestResult& item, const DiagSettings& s);

// The text a final result shows. With "Show Fail Only" and nothing listed,
// the one-line summary ("Open Test Pass!\r\n" ...; any nonzero overall
// result passes). Otherwise every listed item, "Controller Result: %d\r\n",
// the finish line and, for the mutual test, the table lines.
//
// The mutual test keeps two lists. The summary stands in for the listing
// only when both are empty: a table row that the controller did report is
// never dropped for the summary.
bool showsSummary(DiagTest test, const std::vector<CTestResult>& items,
                  const std::vector<CTestResult>& tableItems, int selection);
QString finalResultText(DiagTest test, const std::vector<CTestResult>& items,
                        const std::vector<CTestResult>& tableItems, int overall, Flavour flavour,
                        const DiagSettings& s);

}  // namespace lumora::diag
