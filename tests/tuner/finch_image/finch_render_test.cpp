// Frames of the Finch image page rendered into QImages and checked at pixel
// level: curve points, pens, labels, text colours, uniformity marks, and the
// cached texts against plain drawText.
#include <gtest/gtest.h>

#include <QImage>
#include <memory>
#include <random>

#include "tests/support/test_support.h"
#include "tuner/finch_image/finch_render.h"

namespace lumora::finch {
namespace {

QRgb at(const QImage& image, int x, int y) { return test_support::opaquePixel(image, x, y); }
using test_support::countColour;

class FinchRenderTest : public testing::Test {
protected:
    QApplication& app = test_support::app();  // first: the renderer needs fonts
    FinchRenderer renderer;
    std::unique_ptr<NodeGrid> raw = std::make_unique<NodeGrid>();
    std::unique_ptr<NodeGrid> stray = std::make_unique<NodeGrid>();
    std::unique_ptr<NodeGrid> work = std::make_unique<NodeGrid>();

    QImage draw(int width, int height, const FinchFrameSettings& s) {
        QImage frame = FinchRenderer::makeFrame(width, height);
        renderer.render(frame, *raw, *stray, *work, s);
        return frame;
    }
};

TEST_F(FinchRenderTest, CurvePointMovesFourPixelsPerStepOfTheShiftedValue) {
    // Raw line 1 = 0 0 16 0 0: its DD transform is 8 at position 3 and 0
    // elsewhere, so the curve leaves the centre line only there.
    (*raw)[1][2].value = 16;
    const struct {
        bool xAboveY;
        int shift;
        QPoint offset;  // of the point from its cell's centre
    } cases[] = {{true, 2, {8, 0}}, {true, 3, {4, 0}}, {false, 2, {0, -8}}, {false, 1, {0, -16}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "xAboveY " << c.xAboveY << " shift " << c.shift);
        FinchFrameSettings s;
        s.xCount = 3;
        s.yCount = 5;
        s.xAboveY = c.xAboveY;
        s.shift = c.shift;
        s.threshold = 100;
        const QImage frame = draw(400, 240, s);
        EXPECT_EQ((*work)[1][3].value, 8);
        const FinchLayout layout{400, 240, 3, 5, c.xAboveY};
        const QPoint centre = layout.centre(1, 3);
        EXPECT_EQ(at(frame, centre.x() + c.offset.x(), centre.y() + c.offset.y()), kCurveColour);
        EXPECT_NE(at(frame, centre.x(), centre.y()), kCurveColour);
        // The neighbours' points sit on their centres.
        const QPoint before = layout.centre(1, 2);
        EXPECT_EQ(at(frame, before.x(), before.y()), kCurveColour);
    }
}

TEST_F(FinchRenderTest, GridLabelsAndTheEmptyCorner) {
    FinchFrameSettings s;
    s.xCount = 4;
    s.yCount = 3;
    const QImage frame = draw(500, 200, s);
    const FinchLayout layout{500, 200, 4, 3, true};
    // Grid lines at the line and position boundaries.
    EXPECT_EQ(at(frame, layout.lineStart(2), 30), kGridLineColour);
    EXPECT_EQ(at(frame, 30, layout.positionStart(2)), kGridLineColour);
    // Label cells: orange inside a dark outline, with their red number.
    for (const QRect cell : {layout.cell(0, 3), layout.cell(3, 3), layout.cell(4, 0), layout.cell(4, 2)}) {
        EXPECT_EQ(at(frame, cell.left(), cell.top()), kGridLineColour);
        EXPECT_EQ(at(frame, cell.right() - 1, cell.bottom() - 1), kLabelFill);
        EXPECT_GT(countColour(frame, cell, kLabelText), 10);
    }
    // The corner (label line, label position) holds no label.
    const QRect corner = layout.cell(4, 3);
    EXPECT_EQ(countColour(frame, corner.adjusted(1, 1, -1, -1), kLabelFill), 0);
}

TEST_F(FinchRenderTest, AdLevelColoursAndTheLastPositionKeepingThePreviousOne) {
    // Threshold 10: stray 20 and 240 blue; 100 grey or orange by the raw
    // value. The last position (2) keeps the colour of position 1.
    const struct {
        int strayValue, rawValue;
        int position;
        QRgb colour;
    } cells[] = {{20, 0, 0, kBlueText},  {240, 0, 1, kBlueText}, {100, 5, 0, kGreyText},
                 {100, 50, 1, kOrangeText}, {20, 0, 2, kOrangeText}};
    FinchFrameSettings s;
    s.xCount = 5;
    s.yCount = 3;
    s.dataMode = kAdLevelMode;
    s.threshold = 10;
    s.uniformity.kind = 9;  // no uniformity marks over the cells
    const int lines[] = {0, 0, 1, 1, 1};
    for (size_t i = 0; i < std::size(cells); ++i) {
        (*stray)[lines[i]][cells[i].position].value = int16_t(cells[i].strayValue);
        (*raw)[lines[i]][cells[i].position].value = int16_t(cells[i].rawValue);
    }
    // By its own values grey, but it keeps the blue of position 1 before it.
    (*stray)[0][2].value = 100;
    const QImage frame = draw(600, 240, s);
    const FinchLayout layout{600, 240, 5, 3, true};
    for (size_t i = 0; i < std::size(cells); ++i) {
        const QRect cell = layout.cell(lines[i], cells[i].position);
        EXPECT_GT(countColour(frame, cell, cells[i].colour), 10)
            << "stray " << cells[i].strayValue << " raw " << cells[i].rawValue;
    }
    EXPECT_GT(countColour(frame, layout.cell(0, 2), kBlueText), 10);
}

TEST_F(FinchRenderTest, UniformityMarksTakeLinesAsColumnsInEitherLayout) {
    // Line 2 of five lies 100 above the others at position 0: a red mark
    // under it and a box in the label line, for u = 0 and t = 10.
    for (int l = 0; l < 5; ++l) (*stray)[l][0].value = l == 2 ? 220 : 120;
    for (const bool xAboveY : {true, false}) {
        SCOPED_TRACE(xAboveY);
        FinchFrameSettings s;
        s.xCount = 5;
        s.yCount = 3;
        s.xAboveY = xAboveY;
        s.dataMode = kAdLevelMode;
        s.threshold = 10;
        s.uniformity = {0, 10, 30, 0, false};
        const QImage frame = draw(600, 300, s);
        const FinchLayout marks{600, 300, 5, 3, true};
        // The segment: width 2 across the boundary after position 0, from
        // line 2 to line 3.
        const int y = marks.positionStart(1);
        const int x0 = marks.lineStart(2), x1 = marks.lineStart(3);
        EXPECT_EQ(countColour(frame, QRect(x0, y - 1, x1 - x0, 2), kRedMark), 2 * (x1 - x0));
        EXPECT_EQ(countColour(frame, QRect(x1 + 1, y - 1, 20, 2), kRedMark), 0);
        // Its number, 11 pixels above, in pink.
        EXPECT_GT(countColour(frame, QRect(x0, y - 11, x1 - x0, 10), kRedMarkText), 5);
        // The box with the sum, in the label line at position 0.
        const QRect box = marks.cell(5, 0);
        EXPECT_EQ(at(frame, box.center().x(), box.bottom() - 2), kBoxColour);
        EXPECT_GT(countColour(frame, box, kBoxText), 5);
    }
}

TEST_F(FinchRenderTest, SelectedAndReferenceLinesHaveTheirPens) {
    for (int l = 0; l < 6; ++l)
        for (int p = 0; p < 4; ++p) (*raw)[l][p].value = int16_t(p == 1 ? -400 : 0);
    FinchFrameSettings s;
    s.xCount = 6;
    s.yCount = 4;
    s.rdMode = true;
    s.shift = 4;
    s.threshold = 1000;
    s.selectedLines[1] = true;
    const QImage frame = draw(700, 250, s);
    const FinchLayout layout{700, 250, 6, 4, true};
    // A curve moves 4 * (200 >> 4) = 48 pixels from the centre: inside its
    // 100-pixel column.
    auto lineArea = [&](int l) {
        return QRect(QPoint(layout.lineStart(l), 0), QPoint(layout.lineStart(l + 1) - 1, 249));
    };
    EXPECT_GT(countColour(frame, lineArea(1), kSelectedCurveColour), 20);
    EXPECT_GT(countColour(frame, lineArea(0), kCurveColour), 20);
    EXPECT_EQ(countColour(frame, lineArea(0), kSelectedCurveColour), 0);
    for (const int l : {4, 5}) EXPECT_GT(countColour(frame, lineArea(l), kRdCurveColour), 20) << l;
    EXPECT_EQ(countColour(frame, lineArea(3), kRdCurveColour), 0);
}

TEST_F(FinchRenderTest, CachedTextsGiveThePixelsOfPlainDrawText) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> rawValue(-600, 600), strayValue(60, 200);
    for (int l = 0; l < kGridSize; ++l)
        for (int p = 0; p < kGridSize; ++p) {
            (*raw)[l][p].value = int16_t(rawValue(random));
            (*stray)[l][p].value = int16_t(strayValue(random));
        }
    (*stray)[3][0].value = 255;  // a line standing out: marks and boxes
    (*stray)[0][0].value = -32768;
    (*raw)[89][89].value = 32767;

    struct Layout {
        int width, height, x, y;
        bool xAboveY;
        int dataMode, uniformity, textHeight;
    };
    const Layout layouts[] = {
        {792, 448, 90, 90, true, kAdLevelMode, 1, 10},   // the benchmark's frame
        {792, 448, 36, 22, true, kCleanMode, 0, 10},
        {600, 500, 22, 36, false, kAdLevelMode, 2, 10},
        {700, 400, 30, 40, false, kCleanMode, 0, 10},
        {1920, 1080, 48, 34, true, kAdLevelMode, 0, 11},  // full screen
        {64, 30, 90, 90, true, kAdLevelMode, 1, 10},      // cells under a pixel
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(testing::Message() << l.width << 'x' << l.height << ' ' << l.x << 'x' << l.y
                                        << " mode " << l.dataMode << " text " << l.textHeight);
        FinchRenderer cached(l.textHeight), plain(l.textHeight);
        FinchFrameSettings s;
        s.xCount = l.x;
        s.yCount = l.y;
        s.xAboveY = l.xAboveY;
        s.dataMode = l.dataMode;
        s.threshold = 20;
        s.water = 30;
        s.rdMode = true;
        s.uniformity = {l.uniformity, 20, 40, 60, true};
        s.selectedLines[2] = true;
        QImage reference = FinchRenderer::makeFrame(l.width, l.height);
        auto plainWork = std::make_unique<NodeGrid>();
        plain.renderPlain(reference, *raw, *stray, *plainWork, s);
        ASSERT_GT(countColour(reference, reference.rect(), kLabelText), 50);
        // Twice: the first pass fills the caches, the second reads them.
        for (int pass = 0; pass < 2; ++pass) {
            QImage frame = FinchRenderer::makeFrame(l.width, l.height);
            frame.fill(Qt::white);  // every pixel must be drawn over
            cached.render(frame, *raw, *stray, *work, s);
            EXPECT_TRUE(frame == reference) << "pass " << pass;
        }
    }
}

TEST_F(FinchRenderTest, NothingIsDrawnWithoutChannelsAndCountsStayInTheGrid) {
    for (const auto& [x, y] : {std::pair{0, 10}, std::pair{10, 0}, std::pair{-4, 10}}) {
        FinchFrameSettings s;
        s.xCount = x;
        s.yCount = y;
        QImage frame = FinchRenderer::makeFrame(100, 100);
        frame.fill(Qt::white);
        renderer.render(frame, *raw, *stray, *work, s);
        EXPECT_EQ(countColour(frame, frame.rect(), qRgb(255, 255, 255)), 100 * 100) << x << ' ' << y;
    }
    // Counts past the grid draw 90 lines of 90 positions and their labels.
    FinchFrameSettings s;
    s.xCount = 127;
    s.yCount = 127;
    s.dataMode = kAdLevelMode;
    const QImage frame = draw(1820, 1820, s);
    const FinchLayout layout{1820, 1820, 90, 90, true};
    EXPECT_EQ(at(frame, layout.cell(90, 45).center().x(), layout.cell(90, 45).bottom() - 1), kLabelFill);
}

}  // namespace
}  // namespace lumora::finch
