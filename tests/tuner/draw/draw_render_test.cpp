// What the draw test pages put on their surfaces, read back pixel by pixel:
// pens and their widths, marks, keys, the gesture circle and the grid.
#include <gtest/gtest.h>

#include <QImage>

#include "tuner/draw/finch_style.h"
#include "tuner/draw/grid.h"
#include "tuner/draw/osprey_style.h"
#include "tuner/draw/track_render.h"
#include "tests/tuner/draw/records.h"

namespace lumora::draw {
namespace {

QImage whiteSurface(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

int countInColumn(const QImage& image, int x, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) n += image.pixel(x, y) == colour ? 1 : 0;
    return n;
}

int countInRect(const QImage& image, const QRect& r, QRgb colour) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) n += image.pixel(x, y) == colour ? 1 : 0;
    return n;
}

using testing_support::record;

TEST(Render, ReportCoordinatesScaleToTheSurface) {
    EXPECT_EQ(toSurface({4095, 4095}, {800, 600}, 4095), QPoint(800, 600));
    EXPECT_EQ(toSurface({2047, 1024}, {640, 400}, 2047), QPoint(640, 200));
    EXPECT_EQ(toSurface({1024, 2048}, {640, 400}, 2048), QPoint(320, 400));
    EXPECT_EQ(toSurface({100, 100}, {640, 400}, 0), QPoint());
}

// Id 31 at pressure 170 draws lines 11 pixels wide, in black; at pressure
// 30 they are 4 wide. Other ids draw 2 pixels wide.
TEST(Render, IdThirtyOneLinesFollowThePressure) {
    struct Case {
        int id;
        int pressure;
        int width;
        QRgb colour;
    };
    for (const Case c : {Case{31, 170, 11, qRgb(0, 0, 0)}, Case{31, 30, 4, qRgb(0, 0, 0)},
                         Case{0, 170, 2, qRgb(255, 0, 0)}}) {
        SCOPED_TRACE(c.pressure);
        QImage surface = whiteSurface(819, 819);  // 4095 / 5: report units of 5 per pixel
        ContactTable table(finch::kSlots);
        std::vector<Mark> marks;
        finch::stepRecord(table, record(c.id, true, 500, 2000, c.pressure), kLineMode, marks);
        marks.clear();  // the touch-down mark
        finch::stepRecord(table, record(c.id, true, 3500, 2000, c.pressure), kLineMode, marks);
        const QRect touched = drawMarks(surface, marks, finch::kScale);
        EXPECT_EQ(countInColumn(surface, 400, c.colour), c.width);
        EXPECT_TRUE(touched.contains(QRect(100, 400 - c.width / 2, 600, c.width)));
    }
}

TEST(Render, MarksTakeTheirPens) {
    struct Case {
        const char* what;
        TouchRecord r;
        QRgb outline;
    };
    const Case cases[] = {
        {"bit 7 of the extra value", record(4, true, 2000, 2000, 10, 0x80), qRgb(121, 205, 205)},
        {"an edge point", record(4, true, 4095, 2000, 10), qRgb(139, 121, 94)},
        {"id 4's own pen", record(4, true, 2000, 2000, 10), qRgb(160, 32, 240)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QImage surface = whiteSurface(820, 820);
        ContactTable table(finch::kSlots);
        table.at(4).extra = c.r.extra;
        std::vector<Mark> marks;
        finch::stepRecord(table, c.r, kLineMode, marks);
        drawMarks(surface, marks, finch::kScale);
        const QPoint centre = toSurface({c.r.x, c.r.y}, surface.size(), finch::kScale);
        const QRect around(centre.x() - 7, centre.y() - 7, 15, 15);
        EXPECT_GE(countInRect(surface, around & surface.rect(), c.outline), 10);
        // The touch-down circle is filled white.
        if (surface.rect().contains(centre)) {
            EXPECT_EQ(surface.pixel(centre), qRgb(255, 255, 255));
        }
    }
}

TEST(Render, OspreyKeysOneAtATime) {
    QImage strip = whiteSurface(660, 56);
    clearKeyStrip(strip);
    EXPECT_EQ(strip.pixel(0, 10), qRgb(0, 0, 0)) << "black frame";
    EXPECT_EQ(osprey::keyCentre(2, strip.size()), QPoint(180, 28));
    drawPressedKey(strip, osprey::keyCentre(2, strip.size()), 3, false);
    EXPECT_EQ(strip.pixel(180 - 15, 28), kKeyGreen.rgb());
    clearKeyStrip(strip);  // the next report clears the strip
    EXPECT_EQ(countInRect(strip, QRect(150, 8, 60, 40), kKeyGreen.rgb()), 0);
    EXPECT_EQ(finch::keyCentre(5, {700, 56}), QPoint(600, 28));
}

TEST(Render, GestureCircleComesAndGoes) {
    QImage surface = whiteSurface(400, 300);
    const QRect touched = drawGesture(surface, true);
    EXPECT_TRUE(touched.contains(QPoint(200 + 70, 150)));
    EXPECT_EQ(surface.pixel(200 + 70, 150), kGestureOrange.rgb());
    EXPECT_EQ(surface.pixel(200, 150 - 70), kGestureOrange.rgb());
    drawGesture(surface, false);
    EXPECT_EQ(countInRect(surface, surface.rect(), kGestureOrange.rgb()), 0);
    EXPECT_EQ(countInRect(surface, surface.rect(), kGestureText.rgb()), 0);
}

TEST(Render, GridDrawsDottedLinesBandsTargetsAndBorder) {
    QImage surface = whiteSurface(896, 501);
    surface.fill(Qt::red);  // the grid starts from white
    drawGrid(surface, osprey::grid(surface.size(), {224, 167, 1.0}));
    // A dotted grey line at y = 62 and its bands at 59 and 65.
    int grey = 0, pink = 0;
    for (int x = 200; x < 300; ++x) {
        grey += surface.pixel(x, 62) == kGridGrey.rgb() ? 1 : 0;
        pink += surface.pixel(x, 59) == kGridPink.rgb() && surface.pixel(x, 65) == kGridPink.rgb() ? 1 : 0;
    }
    EXPECT_GT(grey, 20);
    EXPECT_LT(grey, 100) << "dotted";
    EXPECT_GT(pink, 20);
    EXPECT_EQ(surface.pixel(44 - 10, 25), qRgb(128, 128, 128)) << "target mark";
    EXPECT_EQ(surface.pixel(0, 250), qRgb(128, 128, 128)) << "border";
    EXPECT_EQ(countInRect(surface, surface.rect(), qRgb(255, 0, 0)), 0);
}

}  // namespace
}  // namespace lumora::draw
