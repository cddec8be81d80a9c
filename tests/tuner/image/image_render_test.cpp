// The views rendered into QImages, checked at pixel level, and the value
// text cache checked against the plain drawText way.
#include <gtest/gtest.h>

#include <QImage>
#include <memory>
#include <random>
#include <set>
#include <utility>

#include "tests/tuner/image/test_app.h"
#include "tuner/image/image_render.h"

namespace lumora::image {
namespace {

QRgb at(const QImage& image, int x, int y) { return test_support::opaquePixel(image, x, y); }
using test_support::countColour;

// The first row (from the top) of `area` that holds a pixel of `colour`, or -1.
int topRowOf(const QImage& image, QRect area, QRgb colour) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (at(image, x, y) == colour) return y;
    return -1;
}

class ImageRenderTest : public testing::Test {
protected:
    QApplication& app = testing_support::app();  // first: the renderer needs fonts
    ImageRenderer renderer;
    std::unique_ptr<ImageGrid> grid = std::make_unique<ImageGrid>();
    std::unique_ptr<ImageGrid> work = std::make_unique<ImageGrid>();
};

TEST_F(ImageRenderTest, AdLevelHighlightsAndPlainCells) {
    // 4 x 3 cells of 40 x 30 pixels.
    const CellGeometry g{160, 90, 4, 3};
    (*grid)[1][1] = 1800;   // at the limit: highlighted
    (*grid)[2][2] = -1900;  // the magnitude counts
    (*grid)[0][2] = 1799;   // just below: plain
    (*grid)[0][0] = 7;
    (*grid)[0][3] = 7;      // odd column: the same text 4 pixels lower
    QImage frame = ImageRenderer::makeFrame(g.width, g.height);
    renderer.renderAdLevel(frame, *grid, g, 1800);

    // Highlight of (1, 1): cell x 40..79, y 30..59 grown by one pixel.
    EXPECT_EQ(at(frame, 39, 45), kHighlightPenColour);   // left edge, one pixel out
    EXPECT_EQ(at(frame, 80, 45), kHighlightPenColour);   // right edge, on the next cell's line
    EXPECT_EQ(at(frame, 60, 29), kHighlightPenColour);   // top
    EXPECT_EQ(at(frame, 60, 60), kHighlightPenColour);   // bottom
    EXPECT_EQ(at(frame, 75, 55), kHighlightFillColour);  // inside, clear of the text
    EXPECT_EQ(at(frame, 115, 85), kHighlightFillColour); // (2, 2) by its magnitude
    EXPECT_GT(countColour(frame, QRect(41, 31, 30, 12), kValueTextColour), 10);

    // Plain cell (0, 2): grid lines at its top and left, black inside.
    EXPECT_EQ(at(frame, 80, 20), kAdLevelGridColour);
    EXPECT_EQ(at(frame, 100, 0), kAdLevelGridColour);
    EXPECT_EQ(at(frame, 110, 25), qRgb(0, 0, 0));
    EXPECT_EQ(countColour(frame, QRect(81, 1, 38, 28), kHighlightFillColour), 0);
    EXPECT_GT(countColour(frame, QRect(81, 1, 38, 28), kValueTextColour), 10);

    // Texts start at (left + 1, top + 1); odd columns sit 4 pixels lower.
    const int top0 = topRowOf(frame, QRect(1, 1, 39, 28), kValueTextColour);
    const int top3 = topRowOf(frame, QRect(121, 1, 39, 28), kValueTextColour);
    ASSERT_GE(top0, 1);
    EXPECT_EQ(top3, top0 + 4);
    EXPECT_EQ(countColour(frame, QRect(0, 0, 1, 90), kValueTextColour), 0);
}

TEST_F(ImageRenderTest, VantorLimitHighlightsSmallLevels) {
    const CellGeometry g{80, 40, 2, 1};
    (*grid)[0][0] = 125;
    (*grid)[0][1] = 124;
    QImage frame = ImageRenderer::makeFrame(g.width, g.height);
    renderer.renderAdLevel(frame, *grid, g, 125);
    EXPECT_EQ(at(frame, 30, 35), kHighlightFillColour);
    EXPECT_EQ(at(frame, 70, 35), qRgb(0, 0, 0));
    renderer.renderAdLevel(frame, *grid, g, 1800);
    EXPECT_EQ(at(frame, 30, 35), qRgb(0, 0, 0));
}

TEST_F(ImageRenderTest, CachedTextsGiveThePixelsOfPlainDrawText) {
    std::mt19937 random(5);
    std::uniform_int_distribution<int> level(-2500, 2500);
    for (auto& row : *grid)
        for (auto& v : row) v = level(random);
    // Extremes of the packets' 16-bit values, and texts that run off the
    // right and bottom edges.
    (*grid)[0][0] = -32768;
    (*grid)[0][1] = 32767;
    (*grid)[89][89] = -32768;
    (*grid)[36][22] = 0;

    struct Layout {
        CellGeometry g;
        int32_t limit;
    };
    // The last one: cells under a pixel wide, every text over its neighbours.
    const Layout layouts[] = {
        {{792, 448, 90, 90}, 1800}, {{500, 300, 23, 37}, 125}, {{64, 30, 90, 90}, 30000}};
    for (const auto& [g, limit] : layouts) {
        SCOPED_TRACE(testing::Message() << g.width << 'x' << g.height << ' ' << g.xCount << 'x'
                                        << g.yCount);
        QImage plain = ImageRenderer::makeFrame(g.width, g.height);
        ImageRenderer::renderAdLevelPlain(plain, *grid, g, limit);
        ASSERT_GT(countColour(plain, plain.rect(), kValueTextColour), 100);
        // Twice: the first pass fills the cache, the second reads it.
        for (int pass = 0; pass < 2; ++pass) {
            QImage cached = ImageRenderer::makeFrame(g.width, g.height);
            cached.fill(Qt::white);  // every pixel must be drawn over
            renderer.renderAdLevel(cached, *grid, g, limit);
            EXPECT_TRUE(cached == plain) << "pass " << pass;
        }
    }
}

TEST_F(ImageRenderTest, NothingIsDrawnWhileACountIsZero) {
    QImage frame = ImageRenderer::makeFrame(100, 100);
    frame.fill(Qt::white);
    const QImage before = frame;
    renderer.renderAdLevel(frame, *grid, CellGeometry{100, 100, 0, 90}, 1800);
    renderer.renderCleanData(frame, *grid, *work, CellGeometry{100, 100, 90, 0}, CleanDataView{});
    EXPECT_TRUE(frame == before);
}

TEST_F(ImageRenderTest, CleanDataRowsMoveUpwardInYXOrder) {
    // 5 x 2 cells of 20 x 50: centres x = 10, 30, 50, 70, 90 and y = 25, 75.
    const CellGeometry g{100, 100, 5, 2};
    // Row 0: w = (0, 0, 32, 0, 0); 32 >> 2 = 8 pixels up at cell 2.
    const int32_t row[] = {0, 0, -64, 0, 0};
    for (int c = 0; c < 5; ++c) (*grid)[0][c] = row[c];
    CleanDataView view;
    view.orientation = kDriveYX;
    view.shift = 2;
    view.threshold = 30;
    QImage frame = ImageRenderer::makeFrame(g.width, g.height);
    renderer.renderCleanData(frame, *grid, *work, g, view);

    EXPECT_EQ((*work)[0][2], 32);
    EXPECT_EQ(at(frame, 50, 17), kCurveColour);       // the moved point
    EXPECT_EQ(at(frame, 10, 25), kCurveColour);       // unmoved points lie on the base line
    EXPECT_EQ(at(frame, 45, 25), kCellOutlineColour); // base line where the curve left it
    EXPECT_EQ(at(frame, 0, 10), kCellOutlineColour);  // cell outline
    EXPECT_EQ(at(frame, 5, 10), qRgb(0, 0, 0));       // black cell
    // "32" reaches the threshold: text at (left + 2, top + 2) of cell (0, 2);
    // cells below the threshold carry none.
    EXPECT_GT(countColour(frame, QRect(42, 2, 16, 10), kValueTextColour), 10);
    EXPECT_EQ(countColour(frame, QRect(0, 0, 40, 100), kValueTextColour), 0);

    view.threshold = -32;  // the magnitude of the threshold counts
    renderer.renderCleanData(frame, *grid, *work, g, view);
    EXPECT_GT(countColour(frame, frame.rect(), kValueTextColour), 10);
    view.threshold = 33;
    renderer.renderCleanData(frame, *grid, *work, g, view);
    EXPECT_EQ(countColour(frame, frame.rect(), kValueTextColour), 0);
    view.threshold = 30;
    view.showValues = false;
    renderer.renderCleanData(frame, *grid, *work, g, view);
    EXPECT_EQ(countColour(frame, frame.rect(), kValueTextColour), 0);
    EXPECT_EQ(at(frame, 50, 17), kCurveColour);
}

TEST_F(ImageRenderTest, CleanDataColumnsMoveRightwardInXYOrder) {
    // 2 x 5 cells of 50 x 20: centres x = 25, 75 and y = 10, 30, 50, 70, 90.
    const CellGeometry g{100, 100, 2, 5};
    const int32_t column[] = {0, 0, -64, 0, 0};
    for (int r = 0; r < 5; ++r) (*grid)[r][1] = column[r];
    // A row pattern in column 0 must not matter: lines are columns now.
    CleanDataView view;
    view.orientation = kDriveXY;
    view.shift = 3;
    view.threshold = 30;
    QImage frame = ImageRenderer::makeFrame(g.width, g.height);
    renderer.renderCleanData(frame, *grid, *work, g, view);

    EXPECT_EQ((*work)[2][1], 32);
    EXPECT_EQ(at(frame, 75 + 4, 50), kCurveColour);   // 32 >> 3 = 4 pixels right
    EXPECT_EQ(at(frame, 75, 45), kCellOutlineColour); // base line under the moved curve
    // Text at (left + 1, top + 1) of cell (2, 1); column 1 is odd: 4 lower.
    const int top = topRowOf(frame, QRect(51, 41, 49, 19), kValueTextColour);
    EXPECT_GE(top, 45);
    EXPECT_GT(countColour(frame, QRect(51, 45, 20, 12), kValueTextColour), 10);
}

// The pixels of the value texts, as points.
std::set<std::pair<int, int>> textPixels(const QImage& image, int dx = 0, int dy = 0) {
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (at(image, x, y) == kValueTextColour) out.insert({x + dx, y + dy});
    return out;
}

// Clean Data texts sit at exactly (left + 2, top + 2) in drive order Y->X and
// (left + 1, top + 1) in X->Y, measured against the same value drawn by the
// AD Level view, whose texts sit at (left + 1, top + 1).
TEST_F(ImageRenderTest, CleanDataTextInsetPerDriveOrder) {
    const CellGeometry g{60, 40, 1, 1};  // one cell, clear of the curve at its centre
    (*grid)[0][0] = 50;
    QImage reference = ImageRenderer::makeFrame(g.width, g.height);
    renderer.renderAdLevel(reference, *grid, g, 100000);  // never highlighted
    ASSERT_GT(textPixels(reference).size(), 10u);

    (*grid)[0][0] = -50;  // a one-value line: w = 50, in either order
    const struct {
        uint8_t orientation;
        int inset;  // beyond the AD Level view's
    } orders[] = {{kDriveYX, 1}, {kDriveXY, 0}};
    for (const auto& o : orders) {
        SCOPED_TRACE(o.orientation == kDriveYX ? "Y->X" : "X->Y");
        CleanDataView view;
        view.orientation = o.orientation;
        view.threshold = 30;
        view.shift = 15;  // the curve stays on its base line
        QImage frame = ImageRenderer::makeFrame(g.width, g.height);
        renderer.renderCleanData(frame, *grid, *work, g, view);
        ASSERT_EQ((*work)[0][0], 50);
        EXPECT_EQ(textPixels(frame), textPixels(reference, o.inset, o.inset));
    }
}

}  // namespace
}  // namespace lumora::image
