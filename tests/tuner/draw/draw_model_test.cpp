// The draw test pages' pure logic: report decoding (bad input included),
// report rates, how each form moves the points and what it marks, contact
// information texts, the grids and the Finch offset distance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "device/packet.h"
#include "tuner/draw/contact_model.h"
#include "tuner/draw/finch_style.h"
#include "tuner/draw/grid.h"
#include "tuner/draw/osprey_style.h"
#include "tuner/draw/touch_report.h"
#include "tests/tuner/draw/records.h"

namespace lumora::draw {
namespace {

using testing_support::record;

bool hasLine(const std::vector<Mark>& marks, QPoint a, QPoint b) {
    return std::any_of(marks.begin(), marks.end(), [&](const Mark& m) {
        return m.shape == Shape::Line &&
               ((m.from == a && m.to == b) || (m.from == b && m.to == a));
    });
}

const Mark* markAt(const std::vector<Mark>& marks, Shape shape, QPoint at) {
    for (const Mark& m : marks)
        if (m.shape == shape && m.from == at) return &m;
    return nullptr;
}

// ---- Decoding -----------------------------------------------------------------

TEST(TouchReport, SingleContactFormIsReadUnsigned) {
    uint8_t p[64] = {};
    p[2] = 0x36;
    p[3] = 0x13;
    p[4] = 0x81;
    writeLE16(&p[5], 2047);
    writeLE16(&p[7], 40000);
    writeLE16(&p[9], 65535);
    p[11] = 7;
    p[12] = 0x85;
    writeLE16(&p[13], 1234);
    writeLE16(&p[15], 60000);
    ASSERT_TRUE(isSingleContact(p));
    const TouchRecord r = decodeSingleContact(p);
    EXPECT_TRUE(r.touching);
    EXPECT_EQ(r.status, 0x81);
    EXPECT_EQ(r.id, 7);
    EXPECT_EQ(r.x, 2047);
    EXPECT_EQ(r.y, 40000);
    EXPECT_EQ(r.pressure, 65535);
    EXPECT_EQ(r.extra, 0x85);
    EXPECT_EQ(r.auxA, 1234);
    EXPECT_EQ(r.auxB, 60000);
}

TEST(TouchReport, MultiContactRecordsAreSignedAndNeverReadPastTheRecords) {
    uint8_t p[64];
    std::memset(p, 0xEE, sizeof p);  // whatever lies past the records must not be read as one
    p[4] = 0;                        // bit 7 clear: multi-contact
    for (int i = 0; i < 5; ++i) {
        uint8_t* rec = &p[4 + 10 * i];
        rec[0] = i % 2;
        rec[1] = uint8_t(i == 4 ? 0xFF : 20 + i);  // the last one reads as id -1
        writeLE16(&rec[2], -5 + i);
        writeLE16(&rec[4], 4095);
        writeLE16(&rec[6], -300);
        writeLE16(&rec[8], 0x80);
    }
    struct Case {
        uint8_t count;
        int read;
    };
    for (const Case c : {Case{0, 0}, Case{3, 3}, Case{5, 5}, Case{6, 5}, Case{255, 5}}) {
        SCOPED_TRACE(int(c.count));
        p[54] = c.count;
        ASSERT_FALSE(isSingleContact(p));
        const MultiContactReport m = decodeMultiContact(p);
        ASSERT_EQ(m.count, c.read);
        for (int i = 0; i < m.count; ++i) {
            const TouchRecord& r = m.records[size_t(i)];
            EXPECT_EQ(r.touching, i % 2 == 1);
            EXPECT_EQ(r.x, -5 + i);
            EXPECT_EQ(r.y, 4095);
            EXPECT_EQ(r.pressure, -300);
            EXPECT_EQ(r.extra, 0x80);
        }
    }
    EXPECT_EQ(decodeMultiContact(p).records[4].id, -1);
}

TEST(TouchReport, KeysAndGestures) {
    uint8_t p[64] = {};
    p[4] = 0x03;
    p[5] = 9;
    EXPECT_TRUE(decodeKey(p).pressed);
    EXPECT_EQ(decodeKey(p).key, 9);
    p[4] = 0x02;
    EXPECT_FALSE(decodeKey(p).pressed);
    EXPECT_TRUE(gestureActive(p));
    p[4] = 0;
    EXPECT_FALSE(gestureActive(p));
}

// ---- Report rates ---------------------------------------------------------------

// The rate is the count of the last period of just over a second; an id
// that stops reporting keeps it, and ids beyond the slots count nothing.
TEST(ContactTable, RateOfTheLastPeriodIsKeptWhenAnIdStops) {
    ContactTable table(12);
    table.restartRates(1000);
    for (uint32_t t = 1008; t <= 2000; t += 8) table.countReport(0, t);
    EXPECT_EQ(table.at(0).rate, 0) << "1000 ms exactly is not over a second";
    table.countReport(0, 2008);
    EXPECT_EQ(table.at(0).rate, 126);
    EXPECT_EQ(table.at(0).rateCount, 0);
    // Id 0 stops; id 1 goes on. Id 0 keeps its rate however long it waits.
    for (uint32_t t = 2016; t <= 6000; t += 4) table.countReport(1, t);
    EXPECT_EQ(table.at(0).rate, 126);
    EXPECT_EQ(table.at(1).rate, 251);
    // The next report after the pause ends a period of one report.
    table.countReport(0, 6000);
    EXPECT_EQ(table.at(0).rate, 1);
    // The tick count wraps: the difference is taken unsigned.
    table.restartRates(0xFFFFFF00u);
    table.countReport(2, 0x00000010u);
    EXPECT_EQ(table.at(2).rate, 0);
    table.countReport(2, 0x000002F0u);
    EXPECT_EQ(table.at(2).rate, 2);
    for (int id : {-1, 12, 200}) {
        table.countReport(id, 9000);
        EXPECT_FALSE(table.holds(id));
    }
}

// ---- Tracks ----------------------------------------------------------------------

// After a lift, a touch starts a new track: a touch-down mark where it
// lands and no line from where the old track ended.
TEST(Tracks, TouchDownAfterALiftStartsANewTrack) {
    const QPoint a(100, 100), b(400, 300), c(1500, 1800);
    for (int form = 0; form < 3; ++form) {
        SCOPED_TRACE(form);
        ContactTable table(form == 2 ? finch::kSlots : osprey::kSlots);
        std::vector<Mark> marks;
        auto step = [&](const TouchRecord& r) {
            marks.clear();
            if (form == 0) osprey::stepSingleContact(table, r, kLineMode, marks);
            if (form == 1) osprey::stepMultiContact(table, r, kLineMode, marks);
            if (form == 2) finch::stepRecord(table, r, kLineMode, marks);
        };
        step(record(2, true, a.x(), a.y()));
        step(record(2, true, b.x(), b.y()));
        EXPECT_TRUE(hasLine(marks, a, b));
        step(record(2, false, b.x(), b.y()));
        step(record(2, true, c.x(), c.y()));
        EXPECT_FALSE(hasLine(marks, b, c));
        const Mark* down = markAt(marks, Shape::Circle, c);
        ASSERT_NE(down, nullptr) << "touch-down mark";
        EXPECT_TRUE(down->whiteFill);
        step(record(2, true, a.x(), a.y()));
        EXPECT_TRUE(hasLine(marks, c, a));
    }
}

TEST(Tracks, OspreySingleContactMarks) {
    ContactTable table(osprey::kSlots);
    std::vector<Mark> marks;
    osprey::stepSingleContact(table, record(5, true, 10, 20), kLineMode, marks);
    const Mark* down = markAt(marks, Shape::Circle, QPoint(10, 20));
    ASSERT_NE(down, nullptr);
    EXPECT_EQ(down->radius, 2);
    EXPECT_EQ(down->color, QColor(Qt::black));

    marks.clear();
    osprey::stepSingleContact(table, record(5, true, 30, 40), kDotMode, marks);
    const Mark* dot = markAt(marks, Shape::Circle, QPoint(10, 20));
    ASSERT_NE(dot, nullptr) << "dot mode: a circle at the previous point";
    EXPECT_EQ(dot->radius, 3);
    EXPECT_EQ(dot->color, QColor(102, 205, 0)) << "id 5 modulo 4: green";

    // A lift draws the last segment, then the lift circle, and empties the slot.
    marks.clear();
    std::vector<QString> rows;
    osprey::stepSingleContact(table, record(5, false, 50, 60), kLineMode, marks, &rows);
    EXPECT_TRUE(hasLine(marks, QPoint(30, 40), QPoint(50, 60)));
    const Mark* lift = markAt(marks, Shape::Circle, QPoint(50, 60));
    ASSERT_NE(lift, nullptr);
    EXPECT_EQ(lift->radius, 5);
    EXPECT_EQ(lift->color, QColor(102, 205, 0));
    EXPECT_TRUE(table.at(5).current.empty());
    EXPECT_TRUE(table.at(5).previous.empty());
    EXPECT_EQ(rows[5], QStringLiteral("ID 5 : 0")) << "the info of the last redraw";

    // Ids beyond the slots change nothing.
    marks.clear();
    osprey::stepSingleContact(table, record(12, true, 1, 1), kLineMode, marks);
    osprey::stepSingleContact(table, record(-3, true, 1, 1), kLineMode, marks);
    EXPECT_TRUE(marks.empty());
}

TEST(Tracks, OspreyMultiContactMarksTheEdgesAndLifts) {
    ContactTable table(osprey::kSlots);
    std::vector<Mark> marks;
    osprey::stepMultiContact(table, record(1, true, 0, 900), kLineMode, marks);
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].color, osprey::kEdgeColour);
    EXPECT_EQ(marks[0].radius, 5);
    osprey::stepMultiContact(table, record(2, true, 900, 900), kLineMode, marks);
    EXPECT_EQ(marks.back().color, QColor(0, 0, 255)) << "id 2's pen";
    marks.clear();
    osprey::stepMultiContact(table, record(2, true, 950, 900), kDotMode, marks);
    ASSERT_NE(markAt(marks, Shape::Dot, QPoint(950, 900)), nullptr);
    marks.clear();
    osprey::stepMultiContact(table, record(2, false, 960, 910), kLineMode, marks);
    const Mark* lift = markAt(marks, Shape::Circle, QPoint(950, 900));
    ASSERT_NE(lift, nullptr) << "at the previous point";
    EXPECT_EQ(lift->radius, 2);
    EXPECT_EQ(lift->color, QColor(Qt::black));
    EXPECT_TRUE(table.at(2).current.empty());
    EXPECT_EQ(table.at(2).previous.x, 960);
}

TEST(Tracks, FinchPensFollowEdgeBit7AndPressure) {
    struct Case {
        const char* what;
        TouchRecord r;
        Shape shape;
        QColor colour;
        int width;
    };
    const Case cases[] = {
        {"id 0", record(0, true, 100, 100), Shape::Circle, QColor(255, 0, 0), 2},
        {"id 12 takes id 0's colour", record(12, true, 100, 100), Shape::Circle, QColor(255, 0, 0), 2},
        {"id 30 takes id 6's colour", record(30, true, 100, 100), Shape::Circle, QColor(205, 102, 0), 2},
        {"edge x 0", record(3, true, 0, 100), Shape::Circle, finch::kEdgeColour, 2},
        {"edge y 4095", record(3, true, 100, 4095), Shape::Circle, finch::kEdgeColour, 2},
        {"inside 1 and 4094", record(3, true, 1, 4094), Shape::Circle, QColor(255, 185, 15), 2},
        {"bit 7", record(4, true, 100, 100, 50, 0x80), Shape::Circle, finch::kBit7Colour, 2},
        {"bit 7 at the edge", record(4, true, 0, 100, 50, 0x80), Shape::Circle, finch::kBit7Colour, 2},
        {"id 31 pressure 170", record(31, true, 100, 100, 170), Shape::Square, QColor(Qt::black), 11},
        {"id 31 pressure 69", record(31, true, 100, 100, 69), Shape::Square, QColor(Qt::black), 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ContactTable table(finch::kSlots);
        table.at(c.r.id).extra = c.r.extra;  // the page stores it before drawing
        std::vector<Mark> marks;
        finch::stepRecord(table, c.r, kLineMode, marks);
        ASSERT_EQ(marks.size(), 1u);
        EXPECT_EQ(marks[0].shape, c.shape);
        EXPECT_EQ(marks[0].radius, 5);
        EXPECT_EQ(marks[0].color, c.colour);
        EXPECT_EQ(marks[0].width, c.width);
    }
}

TEST(Tracks, FinchIdThirtyOneKeepsItsPressureLessThePenBase) {
    ContactTable table(finch::kSlots);
    std::vector<Mark> marks;
    finch::stepRecord(table, record(31, true, 100, 100, 170), kLineMode, marks);
    EXPECT_EQ(table.at(31).previous.pressure, 100);
    marks.clear();
    finch::stepRecord(table, record(31, true, 200, 100, 30), kLineMode, marks);
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].shape, Shape::Line);
    EXPECT_EQ(marks[0].width, 4);
    EXPECT_EQ(marks[0].color, QColor(Qt::black));
    EXPECT_EQ(table.at(31).previous.pressure, 30);
    marks.clear();
    finch::stepRecord(table, record(31, false, 200, 100, 0), kLineMode, marks);
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].shape, Shape::Square) << "id 31's lift mark";
    EXPECT_EQ(marks[0].radius, 2);
    // Other ids keep the pressure as reported.
    finch::stepRecord(table, record(30, true, 100, 100, 170), kLineMode, marks);
    EXPECT_EQ(table.at(30).previous.pressure, 170);
}

// ---- Contact information ----------------------------------------------------------

TEST(ContactInformation, RowsOfBothPages) {
    ContactSlot s;
    EXPECT_EQ(osprey::infoRow(3, s), QString());
    EXPECT_EQ(finch::infoRow(3, s), QString());
    s.current = {120, 2047, 300, 45, 67};
    s.previous = s.current;
    s.extra = 0x93;
    s.status = 0x81;
    EXPECT_EQ(osprey::infoRow(3, s), QString()) << "no rate yet";
    EXPECT_EQ(finch::infoRow(3, s), QString());
    s.rate = 125;
    EXPECT_EQ(osprey::infoRow(3, s), QStringLiteral("ID 3 : 125 Hz (  120, 2047,  300 ) - 147, 45, 67"));
    EXPECT_EQ(osprey::fullScreenRow(3, s),
              QStringLiteral("ID 3 : 125 Hz (  120, 2047,  300 ) - 147, 45, 67, 1"));
    EXPECT_EQ(finch::infoRow(3, s), QStringLiteral("3: 125Hz ( 120, 2047,  300)- 3"));
    s.rate = 7;
    EXPECT_EQ(finch::infoRow(31, s), QStringLiteral("31: 007Hz ( 120, 2047,  300)- 3"));
    // Lifted.
    s.current = Point{};
    EXPECT_EQ(osprey::infoRow(3, s), QStringLiteral("ID 3 : 0"));
    EXPECT_EQ(finch::infoRow(3, s), QStringLiteral("3: 000Hz ( 120, 2047,  300)- 3"));
    s.rate = 0;
    EXPECT_EQ(finch::infoRow(3, s), QStringLiteral("3: 000Hz"));
}

// ---- Grids ---------------------------------------------------------------------------

TEST(Grid, DistanceIsTheLeadingDecimalNumber) {
    const std::pair<const char*, double> cases[] = {
        {"1.0", 1.0}, {"15", 15},  {"abc", 0}, {"", 0},      {"2.5mm", 2.5},
        {" 7", 7},    {".5", 0.5}, {"-3", -3}, {"1,5", 1.0}, {"9e99", 9e99},
    };
    for (const auto& [text, value] : cases) EXPECT_DOUBLE_EQ(parseDistance(QString::fromLatin1(text)), value) << text;
    EXPECT_EQ(parseGridSize(QStringLiteral("224")), 224);
    EXPECT_EQ(parseGridSize(QStringLiteral("x")), 0);
}

// "D" that is not a number gives 0: every band lies on its line.
TEST(Grid, ZeroDistanceLaysTheBandsOnTheLines) {
    const QSize size(896, 501);
    const GridGeometry osprey = osprey::grid(size, {224, 167, parseDistance(QStringLiteral("abc"))});
    const std::set<std::pair<int, int>> grey = [&] {
        std::set<std::pair<int, int>> s;
        for (const QLine& l : osprey.grey) s.insert({l.y1() * 10000 + l.x1(), l.y2() * 10000 + l.x2()});
        return s;
    }();
    for (const QLine& l : osprey.pink)
        EXPECT_TRUE(grey.count({l.y1() * 10000 + l.x1(), l.y2() * 10000 + l.x2()})) << l.x1() << "," << l.y1();

    const GridGeometry finch = finch::grid(size, {443, 250, 0});
    for (const QLine& l : finch.pink) {
        const bool onGrey = std::any_of(finch.grey.begin(), finch.grey.end(), [&](const QLine& g) { return g == l; });
        const bool onBorder = (l.y1() == l.y2() && (l.y1() == 0 || l.y1() == size.height())) ||
                              (l.x1() == l.x2() && (l.x1() == 0 || l.x1() == size.width()));
        EXPECT_TRUE(onGrey || onBorder) << l.x1() << "," << l.y1() << " " << l.x2() << "," << l.y2();
    }
}

TEST(Grid, BandsAndMarks) {
    // 896 / 224 x 1.0 = 4 pixels across, 501 / 167 x 1.0 = 3 down.
    const GridGeometry o = osprey::grid({896, 501}, {224, 167, 1.0});
    EXPECT_EQ(o.grey.size(), 16u);
    EXPECT_EQ(o.pink.size(), 32u);
    EXPECT_EQ(o.grey[0], QLine(0, 62, 896, 62));
    EXPECT_EQ(o.pink[0], QLine(0, 59, 896, 59));
    EXPECT_EQ(o.pink[1], QLine(0, 65, 896, 65));
    EXPECT_EQ(o.pink[2], QLine(108, 0, 108, 501));
    EXPECT_EQ(o.pink[3], QLine(116, 0, 116, 501));
    EXPECT_EQ(o.targets[3], QPoint(851, 475));

    // Finch on 1920 x 1080 with 443 x 250 mm and D 15: offX = int(1920 / 443 x 15) = 65,
    // offY = int(1080 / 250 x 15) = 64, s = int(4.334 x sqrt(225 + 26.58^2)) = 132,
    // t = int(4.334 x sqrt(225 + 8.465^2)) = 74.
    const GridGeometry f = finch::grid({1920, 1080}, {443, 250, 15});
    EXPECT_EQ(f.pink[0], QLine(0, 64, 1920, 64));
    EXPECT_EQ(f.pink[1], QLine(0, 1016, 1920, 1016));
    EXPECT_EQ(f.pink[2], QLine(65, 0, 65, 1080));
    EXPECT_EQ(f.pink[3], QLine(1855, 0, 1855, 1080));
    const QLine diagonalBand = f.pink[f.pink.size() - 4];
    EXPECT_EQ(diagonalBand, QLine(132, 0, 1920, 1080 - 74));
    EXPECT_EQ(f.borderColor, QColor(60, 60, 60));
}

// "X" or "Y" of 0 (or text that is none) never divides by zero.
TEST(Grid, ZeroSizesGiveNoBandsInsteadOfDividingByZero) {
    for (const GridSettings g : {GridSettings{0, 250, 15}, GridSettings{443, 0, 15}, GridSettings{0, 0, 15},
                                 GridSettings{443, 250, 9e99}}) {
        SCOPED_TRACE(g.gridX * 1000 + g.gridY);
        for (const GridGeometry& geometry : {osprey::grid({800, 600}, g), finch::grid({800, 600}, g)})
            for (const QLine& l : geometry.pink)
                for (int v : {l.x1(), l.y1(), l.x2(), l.y2()}) EXPECT_LE(std::abs(v), 1'000'000 + 800);
    }
    const GridGeometry f = finch::grid({800, 600}, {0, 250, 15});
    EXPECT_EQ(f.pink[2], QLine(0, 0, 0, 600)) << "offX 0";
}

// ---- Offset distance ------------------------------------------------------------------

TEST(OffsetDistance, FromTheTestLineInMillimetres) {
    const finch::TestLine line = finch::testLineFor({1920, 1080});
    EXPECT_FLOAT_EQ(line.g, 0.5625f);
    const GridSettings grid{443, 250, 15};
    // x = 2048 x 443 >> 11 = 443, y = 1152 x 250 >> 11 = 140.
    EXPECT_NEAR(finch::offsetDistance(2048, 1152, grid, line), 95.165, 0.001);
    EXPECT_FLOAT_EQ(finch::offsetDistance(0, 0, grid, line), 0.0f);
    // On the line: x = 1184 x 443 >> 11 = 256, y = 1180 x 250 >> 11 = 144 = 0.5625 x 256.
    EXPECT_NEAR(finch::offsetDistance(1184, 1180, grid, line), 0.0f, 1e-6);
    EXPECT_FLOAT_EQ(finch::testLineFor({0, 600}).g, 0.0f) << "no division by a zero width";
}

}  // namespace
}  // namespace lumora::draw
