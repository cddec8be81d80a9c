// The pages of the tuner's sheet per controller class: one table, in
// page_table.cpp, keyed by type code. A page library adds its pages there,
// one line each; nothing else needs to know about a new page.
#pragma once

#include <QString>
#include <vector>

namespace lumora {

struct DeviceState;
class TunerPage;

// Makes a page with no parent; the sheet takes it over.
using PageFactory = TunerPage* (*)(DeviceState& state);

struct PageEntry {
    const char* caption;  // the tab caption
    PageFactory factory;
};

// Key of the page set for the PWM tester alone (no controller found). It
// lies outside the one-byte type codes so that no controller can select it.
constexpr int kPwmTesterPageSet = 0x100;
// Key for the configurations without device pages.
constexpr int kNoPageSet = -1;

// The pages of a type code (or kPwmTesterPageSet), in tab order. Empty for
// codes without device pages and for pages no library provides yet.
std::vector<PageEntry> pagesFor(int pageSet);

}  // namespace lumora
