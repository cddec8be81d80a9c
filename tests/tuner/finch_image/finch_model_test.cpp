// Packet decoding, the DD transform, the colour rules, the uniformity check,
// the click selections and the field rules of the Finch image page.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "tuner/finch_image/finch_model.h"
#include "tests/support/test_support.h"

namespace lumora::finch {
namespace {

// An image packet: id, line, block and 29 values (value i = base + i).
VexPacket imagePacket(uint8_t id, int line, int block, int base) {
    return test_support::imagePacket(id, line, block, base, 1);
}

std::vector<int> values(const Node* line, int n) {
    std::vector<int> out;
    for (int k = 0; k < n; ++k) out.push_back(line[k].value);
    return out;
}

TEST(FinchPacketDecoding, RawAndStrayLinesWithTheirExtremes) {
    auto grids = std::make_unique<FinchGrids>();
    EXPECT_EQ(decodeFinchPacket(imagePacket(kRawImagePacket, 7, 1, -20).bytes, *grids), 29);
    EXPECT_EQ(grids->raw[7][29].value, -20);
    EXPECT_EQ(grids->raw[7][57].value, 8);
    EXPECT_EQ(grids->stray[7][29].value, 0);
    EXPECT_EQ(decodeFinchPacket(imagePacket(kStrayImagePacket, 3, 0, 100).bytes, *grids), 29);
    EXPECT_EQ(grids->stray[3][28].value, 128);

    // The node's highest and lowest follow every value stored.
    grids->raw[7][29] = kStartNode;
    decodeFinchPacket(imagePacket(kRawImagePacket, 7, 1, 300).bytes, *grids);
    decodeFinchPacket(imagePacket(kRawImagePacket, 7, 1, -400).bytes, *grids);
    decodeFinchPacket(imagePacket(kRawImagePacket, 7, 1, 5).bytes, *grids);
    EXPECT_EQ(grids->raw[7][29].value, 5);
    EXPECT_EQ(grids->raw[7][29].highest, 300);
    EXPECT_EQ(grids->raw[7][29].lowest, -400);

    // What has no place in the grids is dropped; other ids carry nothing.
    const struct {
        uint8_t id;
        int line, block, stored;
    } cases[] = {{kRawImagePacket, 5, 3, 3},  {kStrayImagePacket, 89, 3, 3}, {kRawImagePacket, 90, 0, 0},
                 {kRawImagePacket, -1, 0, 0}, {kStrayImagePacket, 5, -1, 0}, {kRawImagePacket, 5, 4, 0},
                 {0x51, 5, 0, 0},             {0x3B, 5, 0, 0}};
    for (const auto& c : cases) {
        auto g = std::make_unique<FinchGrids>();
        EXPECT_EQ(decodeFinchPacket(imagePacket(c.id, c.line, c.block, 1).bytes, *g), c.stored)
            << int(c.id) << " line " << c.line << " block " << c.block;
    }
}

TEST(DdTransform, HandCheckedLines) {
    const struct {
        std::vector<int> raw;
        std::vector<int> work;
    } cases[] = {
        // W0 = -10 -> 0, W1 = 10 - 20/2, W2 = (20-4)>>1, W3 = (4+6)>>1,
        // W4 = -6/2 - 30 -> 0, W5 = 30.
        {{10, 20, 4, -6, 30, 8}, {0, 0, 8, 5, 0, 30}},
        // Divisions truncate toward zero: -7/2 = -3, so W1 = 4 + 3, and
        // W3 = 9/2 + 7 = 11.
        {{4, -7, 9, -7, 2}, {0, 7, 0, 11, 0}},
        // Four values: no step 2; step 3 overwrites W2.
        {{-3, -7, 5, 1}, {3, 0, 0, 5}},
        // Three values: step 3 overwrites W1 (5) with 6/2 - 2 = 1.
        {{6, 2, -9}, {0, 1, 2}},
        // Two values: W1 = S0 (no S[-1] read for W0).
        {{-5, 8}, {5, 0}},
        {{-12}, {12}},
        {{12}, {0}},
        // Results past the 16-bit node are held at its ends.
        {{-32768}, {32767}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.raw));
        const int n = int(c.raw.size());
        std::vector<Node> raw(static_cast<size_t>(n)), work(static_cast<size_t>(n), kStartNode);
        for (int k = 0; k < n; ++k) raw[size_t(k)].value = int16_t(c.raw[size_t(k)]);
        ddTransform(raw.data(), work.data(), n);
        EXPECT_EQ(values(work.data(), n), c.work);
    }
}

TEST(DdTransform, ExtremesKeepWhatWasStoredAndLinesStayInTheGrid) {
    std::vector<Node> raw(3), work(3, kStartNode);
    raw[0].value = 10;  // W0 = -10, cleared to 0 afterwards
    raw[1].value = 4;   // W1 = 10 - 2 = 8, then 10/2 - 4 = 1
    ddTransform(raw.data(), work.data(), 3);
    EXPECT_EQ(work[0].value, 0);
    EXPECT_EQ(work[0].highest, -10);
    EXPECT_EQ(work[0].lowest, -10);
    EXPECT_EQ(work[1].value, 1);
    EXPECT_EQ(work[1].highest, 8);
    EXPECT_EQ(work[1].lowest, 1);

    // A count past the grid transforms the 90 positions a line has and
    // touches nothing beyond (separate heap lines, so a sanitizer sees it).
    auto rawLine = std::make_unique<std::array<Node, kGridSize>>();
    auto workLine = std::make_unique<std::array<Node, kGridSize>>();
    for (int k = 0; k < kGridSize; ++k) (*rawLine)[size_t(k)].value = int16_t(k % 7 * 10);
    auto expected = std::make_unique<std::array<Node, kGridSize>>();
    ddTransform(rawLine->data(), expected->data(), kGridSize);
    ddTransform(rawLine->data(), workLine->data(), 200);
    EXPECT_EQ(values(workLine->data(), kGridSize), values(expected->data(), kGridSize));
    // Nothing at all for a count of 0 or less.
    for (const int n : {0, -5}) {
        std::vector<Node> w(1, kStartNode);
        ddTransform(rawLine->data(), w.data(), n);
        EXPECT_EQ(w[0].highest, kStartNode.highest);
    }
}

TEST(TextColours, CleanDataByThreshold) {
    const struct {
        int w, threshold;
        QRgb colour;
    } cases[] = {{60, 60, kOrangeText}, {59, 60, kGreyText}, {-59, 60, kGreyText},
                 {-60, 60, kRedText},   {0, 0, kOrangeText}, {0, 1, kGreyText}};
    for (const auto& c : cases)
        EXPECT_EQ(cleanTextColour(c.w, c.threshold), c.colour) << c.w << " / " << c.threshold;
}

TEST(TextColours, AdLevelByStrayRawAndLine) {
    // Threshold box b = 10, "WaterThreshold" w = 40: ordinary lines are
    // blue outside 30 .. 225, the reference lines outside 120 .. 135.
    const struct {
        int w, r;
        bool rdLine;
        QRgb colour;
    } cases[] = {{20, 0, false, kBlueText},   {240, 0, false, kBlueText},  {100, 5, false, kGreyText},
                 {100, 50, false, kOrangeText}, {100, -10, false, kOrangeText}, {30, 9, false, kGreyText},
                 {225, -9, false, kGreyText}, {100, 0, true, kBlueText},   {128, 0, true, kPinkText},
                 {128, -10, true, kRedText},  {128, 10, true, kOrangeText}, {136, 0, true, kBlueText}};
    for (const auto& c : cases)
        EXPECT_EQ(adLevelTextColour(c.w, c.r, 10, 40, c.rdLine), c.colour)
            << "W " << c.w << " R " << c.r << (c.rdLine ? " reference line" : "");
    // The reference lines are the last two, and only in RD mode.
    EXPECT_TRUE(isRdLine(35, 36, true));
    EXPECT_TRUE(isRdLine(34, 36, true));
    EXPECT_FALSE(isRdLine(33, 36, true));
    EXPECT_FALSE(isRdLine(35, 36, false));
}

// A work grid of `lines` x `positions` from rows of values per position.
std::unique_ptr<NodeGrid> workGrid(const std::vector<std::vector<int>>& byPosition) {
    auto grid = std::make_unique<NodeGrid>();
    for (size_t p = 0; p < byPosition.size(); ++p)
        for (size_t l = 0; l < byPosition[p].size(); ++l) (*grid)[l][p].value = int16_t(byPosition[p][l]);
    return grid;
}

// Five lines, three positions (the last is not examined). Position 0: line
// 4 lies 40 above the mean of 110; position 1: lines 1 and 2 lie 30 below
// and above the mean of 100.
const std::vector<std::vector<int>> kCrafted = {{100, 100, 100, 100, 150},
                                                {100, 70, 130, 100, 100},
                                                {0, 0, 999, 0, 0}};

TEST(Uniformity, EachKindMarksTheCraftedImage) {
    const auto work = workGrid(kCrafted);
    const struct {
        const char* what;
        UniformityParams params;
        std::vector<UniformityMark> marks;
        std::vector<UniformityBox> boxes;
    } cases[] = {
        {"u=0: deviations above 2t, a box where their sum exceeds s",
         {0, 10, 30, 0, false},
         {{4, 0, 40, true, false, true}, {1, 1, 30, true, false, true}, {2, 1, 30, true, false, true}},
         {{5, 0, 40}, {5, 1, 60}}},
        {"u=0 with a larger s: the same marks, a box only where the sum exceeds it",
         {0, 10, 50, 0, false},
         {{4, 0, 40, true, false, true}, {1, 1, 30, true, false, true}, {2, 1, 30, true, false, true}},
         {{5, 1, 60}}},
        {"u=1: green above t, red above 1.5t; the corner box by the edge line",
         {1, 10, 100, 0, false},
         {{4, 0, 40, false, false, true},
          {4, 0, 40, true, false, true},
          {1, 1, 30, false, false, true},
          {1, 1, 30, true, false, true},
          {2, 1, 30, false, false, true},
          {2, 1, 30, true, false, true}},
         {{5, 3, 100}}},
        {"u=2: neighbour differences above sw, half a line right, red above s",
         {2, 10, 35, 20, false},
         {{3, 0, 50, true, true, true},
          {0, 1, 30, false, true, true},
          {1, 1, 60, true, true, true},
          {2, 1, 30, false, true, true}},
         {{5, 3, 60}}},
        {"u=2 with no difference above s: green marks, no box",
         {2, 10, 60, 20, false},
         {{3, 0, 50, false, true, true},
          {0, 1, 30, false, true, true},
          {1, 1, 60, false, true, true},
          {2, 1, 30, false, true, true}},
         {}},
        {"any other kind checks nothing", {3, 10, 30, 20, false}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const UniformityResult r = checkUniformity(*work, 5, 3, c.params);
        EXPECT_EQ(r.marks, c.marks);
        EXPECT_EQ(r.boxes, c.boxes);
    }
}

TEST(Uniformity, KindOneWithoutAStrongDeviationKeepsOnlyTheEdgeBox) {
    // Lines 0 and 4 lie 12 off the mean: above t = 10, not above 1.5t. The
    // total of 24 exceeds 2t on an edge line, so the corner box comes,
    // with the total cleared for want of a strong deviation.
    const auto work = workGrid({{112, 100, 100, 100, 88}, {0, 0, 0, 0, 0}});
    const UniformityResult r = checkUniformity(*work, 5, 2, {1, 10, 100, 0, false});
    EXPECT_EQ(r.marks, (std::vector<UniformityMark>{{0, 0, 12, false, false, true},
                                                    {4, 0, 12, false, false, true}}));
    EXPECT_EQ(r.boxes, (std::vector<UniformityBox>{{5, 2, 0}}));
}

TEST(Uniformity, RdModeLeavesTheLastTwoLinesOutOfTheMeans) {
    // The crafted image with two reference lines added far off every mean.
    std::vector<std::vector<int>> rows = kCrafted;
    rows[0].insert(rows[0].end(), {250, 240});
    rows[1].insert(rows[1].end(), {250, 245});
    rows[2].insert(rows[2].end(), {0, 0});
    const auto work = workGrid(rows);
    const UniformityResult without = checkUniformity(*workGrid(kCrafted), 5, 3, {0, 10, 30, 0, false});
    // sw = 20: the last line's spread of 5 stays under it.
    const UniformityResult rd = checkUniformity(*work, 7, 3, {0, 10, 30, 20, true});
    EXPECT_EQ(rd.marks, without.marks);
    EXPECT_EQ(rd.boxes, (std::vector<UniformityBox>{{7, 0, 40}, {7, 1, 60}}));
    // Without RD mode the reference lines pull every mean and are marked.
    const UniformityResult all = checkUniformity(*work, 7, 3, {0, 10, 30, 20, false});
    EXPECT_NE(all.marks, without.marks);

    // The spread of the last line beyond sw: red segments at its smallest
    // and largest value, and a box with the spread in its label cell; not
    // for u = 2.
    const UniformityResult spread = checkUniformity(*work, 7, 3, {0, 10, 30, 4, true});
    ASSERT_GE(spread.marks.size(), 2u);
    EXPECT_EQ(spread.marks[spread.marks.size() - 2], (UniformityMark{6, 0, 0, true, false, false}));
    EXPECT_EQ(spread.marks.back(), (UniformityMark{6, 1, 0, true, false, false}));
    EXPECT_EQ(spread.boxes.back(), (UniformityBox{6, 3, 5}));
    const UniformityResult kindTwo = checkUniformity(*work, 7, 3, {2, 10, 30, 4, true});
    for (const UniformityMark& m : kindTwo.marks) EXPECT_TRUE(m.labelled);
}

TEST(Uniformity, NoLineToExamineMarksNothing) {
    const auto work = workGrid(kCrafted);
    for (const int x : {2, 1, 0, -3}) {
        SCOPED_TRACE(x);
        const UniformityResult r = checkUniformity(*work, x, 3, {0, 0, 0, 1000, true});
        EXPECT_TRUE(r.marks.empty());
        EXPECT_TRUE(r.boxes.empty());
    }
    // One position: nothing to examine either.
    EXPECT_TRUE(checkUniformity(*work, 5, 1, {0, 0, 0, 0, false}).marks.empty());
    // Counts past the grid are taken as 90.
    const auto full = std::make_unique<NodeGrid>();
    (*full)[89][0].value = 2000;
    const UniformityResult r = checkUniformity(*full, 120, 120, {0, 10, 30, 0, false});
    ASSERT_EQ(r.marks.size(), 90u);  // every line deviates from the mean of 22
    EXPECT_EQ(r.marks.back(), (UniformityMark{89, 0, 2000 - 22, true, false, true}));
}

TEST(Clicks, RealDivisionOfTheFrameSide) {
    const struct {
        int coordinate, side, count, index;
    } cases[] = {
        {400, 792, 45, 22},  // 792 / 45 = 17.6; a step of 17 would give 23
        {176, 792, 45, 10},  // exactly on a boundary
        {0, 792, 45, 0},     {791, 792, 45, 44},  {792, 792, 45, -1}, {-1, 792, 45, -1},
        {400, 792, 0, -1},   {400, 792, -3, -1},  {791, 792, 120, 89}, {100, 0, 45, -1},
        {447, 448, 22, 21},
    };
    for (const auto& c : cases)
        EXPECT_EQ(clickIndex(c.coordinate, c.side, c.count), c.index)
            << c.coordinate << " of " << c.side << " in " << c.count;

    Selections s;
    toggleSelections(s, 400, 100, 792, 448, 45, 22);
    EXPECT_TRUE(s.a[22]);
    EXPECT_TRUE(s.b[4]);  // 100 / (448 / 22) = 4.9
    toggleSelections(s, 400, 900, 792, 448, 45, 22);  // below the frame: B untouched
    EXPECT_FALSE(s.a[22]);
    EXPECT_TRUE(s.b[4]);
    EXPECT_EQ(&selectedLines(s, true), &s.a);
    EXPECT_EQ(&selectedLines(s, false), &s.b);
    s.clear();
    EXPECT_FALSE(s.b[4]);
}

TEST(FinchFields, ViewsShiftThresholdAndModeWord) {
    FinchFields f;
    EXPECT_EQ(f.shift, 2);
    EXPECT_EQ(f.dataModeText, QStringLiteral("Clean"));
    chooseView(f, kAdLevelView);
    EXPECT_EQ(f.dataMode, 3);
    EXPECT_EQ(f.dataModeText, QStringLiteral("ADLevel"));
    chooseView(f, kCleanDataView);
    EXPECT_EQ(f.dataMode, 0);
    EXPECT_EQ(f.dataModeText, QStringLiteral("Clean"));

    for (int i = 0; i < 20; ++i) increaseShift(f);
    EXPECT_EQ(f.shift, 15);
    for (int i = 0; i < 20; ++i) decreaseShift(f);
    EXPECT_EQ(f.shift, 1);

    int16_t threshold = 60;
    EXPECT_TRUE(parseThreshold(QStringLiteral(" -32768 "), &threshold));
    EXPECT_EQ(threshold, -32768);
    for (const char* bad : {"", "12a", "32768", "-32769", "1.5"}) {
        EXPECT_FALSE(parseThreshold(QString::fromLatin1(bad), &threshold)) << bad;
        EXPECT_EQ(threshold, -32768) << bad;
    }

    EXPECT_EQ(modeWordForImages(0x0081), 0x0401u);
    EXPECT_EQ(modeWordAfterImages(0x0401), 0x0081u);
    EXPECT_EQ(modeWordForImages(0xFFFF), 0xFF7Fu);  // never the read request
}

}  // namespace
}  // namespace lumora::finch
