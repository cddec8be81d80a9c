#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include "tuner/app/page_table.h"

namespace lumora {
namespace {

QStringList captionsOf(int pageSet) {
    QStringList captions;
    for (const PageEntry& e : pagesFor(pageSet)) {
        EXPECT_NE(e.factory, nullptr) << e.caption;
        captions << QString::fromLatin1(e.caption);
    }
    return captions;
}

// True when every caption of `actual` appears in `full`, in the same order.
// Pages land one by one, so a class may still miss some of its pages, but
// never in another order or under another caption.
bool isOrderedSubset(const QStringList& actual, const QStringList& full) {
    qsizetype at = 0;
    for (const QString& c : actual) {
        at = full.indexOf(c, at);
        if (at < 0) return false;
        ++at;
    }
    return true;
}

TEST(PageTable, EachClassHasItsPagesInTabOrder) {
    const QStringList osprey = {"Parameters", "Draw Test", "Raw Data", "Image Data", "Diagnostic"};
    const QStringList heron = {"Kestrel Param", "Finch Draw Test", "Finch Image Data", "Diagnostic"};
    EXPECT_TRUE(isOrderedSubset(captionsOf(4), osprey)) << captionsOf(4).join(", ").toStdString();
    EXPECT_TRUE(isOrderedSubset(captionsOf(6), heron)) << captionsOf(6).join(", ").toStdString();
    EXPECT_EQ(captionsOf(8), captionsOf(6));
    EXPECT_TRUE(isOrderedSubset(captionsOf(kPwmTesterPageSet), {"Analyze"}));
}

TEST(PageTable, CodesWithoutDevicePagesHaveNone) {
    for (int code : {kNoPageSet, 0, 1, 2, 3, 5, 7, 9, 255})
        EXPECT_TRUE(pagesFor(code).empty()) << "type code " << code;
}

}  // namespace
}  // namespace lumora
