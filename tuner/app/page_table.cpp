// The pages of each controller class, in tab order.
//
// To add a page: include its header below and put one line
//     {"Caption", makeSomethingPage},
// at its place in the list of its class (keep the order of the comments).
#include "tuner/app/page_table.h"

// Page headers (one per page library).
#include "tuner/params/parameters_dlg.h"
#include "tuner/rawdata/raw_viewer.h"
#include "tuner/image/image_dlg.h"
#include "tuner/diag/diag_page.h"
#include "tuner/kestrel/kestrel_param_dlg.h"
#include "tuner/analyze/analyze_dlg.h"
#include "tuner/draw/raw_point_dlg.h"
#include "tuner/draw/finch_raw_point_dlg.h"
#include "tuner/finch_image/finch_image_dlg.h"

namespace lumora {
namespace {

// Type code 4: the Osprey class.
const std::vector<PageEntry>& ospreyPages() {
    static const std::vector<PageEntry> pages = {
        // "Parameters"
        {"Parameters", makeParametersPage},
        // "Draw Test"
        {"Draw Test", makeDrawTestPage},
        // "Raw Data"
        {"Raw Data", makeRawDataPage},
        // "Image Data"
        {"Image Data", makeImageDataPage},
        // "Diagnostic"
        {"Diagnostic", makeDiagPage},
    };
    return pages;
}

// Type codes 6 and 8: the Heron class.
const std::vector<PageEntry>& heronPages() {
    static const std::vector<PageEntry> pages = {
        // "Kestrel Param"
        {"Kestrel Param", makeKestrelParamPage},
        // "Finch Draw Test"
        {"Finch Draw Test", makeFinchDrawTestPage},
        // "Finch Image Data"
        {"Finch Image Data", makeFinchImageDataPage},
        // "Diagnostic"
        {"Diagnostic", makeDiagPage},
    };
    return pages;
}

// No controller, only the PWM tester attached.
const std::vector<PageEntry>& pwmTesterPages() {
    static const std::vector<PageEntry> pages = {
        // "Analyze"
        {"Analyze", makeAnalyzePage},
    };
    return pages;
}

}  // namespace

std::vector<PageEntry> pagesFor(int pageSet) {
    switch (pageSet) {
        case 4: return ospreyPages();
        case 6:
        case 8: return heronPages();
        case kPwmTesterPageSet: return pwmTesterPages();
        default: return {};  // boot loader, 5 and unknown codes: no device page
    }
}

}  // namespace lumora
