#include "tuner/diag/diag_lines.h"

#include "device/type_codes.h"

namespace lumora::diag {

namespace {

bool isY(int16_t axis) { return axis == kAxisY; }

// 1-based channel number as the lines print it.
int number(int16_t index) { return index + 1; }

QString verdict(const CTestResult& item) {
    return item.result != 0 ? QStringLiteral("Pass\r\n") : QStringLiteral("Fail\r\n");
}

// "X[%03d] " / "Y[%03d] " and "- X[%03d] :" / "- Y[%03d] :".
QString firstXY(const CTestResult& item) {
    return isY(item.firstAxis) ? QString::asprintf("Y[%03d] ", number(item.firstIndex))
                               : QString::asprintf("X[%03d] ", number(item.firstIndex));
}
QString secondXY(const CTestResult& item) {
    return isY(item.secondAxis) ? QString::asprintf("- Y[%03d] :", number(item.secondIndex))
                                : QString::asprintf("- X[%03d] :", number(item.secondIndex));
}
QString firstTxRx(const CTestResult& item) {
    return isY(item.firstAxis) ? QString::asprintf("Rx[%03d] ", number(item.firstIndex))
                               : QString::asprintf("Tx[%03d] ", number(item.firstIndex));
}
QString secondTxRx(const CTestResult& item) {
    return isY(item.secondAxis) ? QString::asprintf("- Rx[%03d] :", number(item.secondIndex))
                                : QString::asprintf("- Tx[%03d] :", number(item.secondIndex));
}

// The one-line summaries and the finish line of each test.
struct TestTexts {
    const char* pass;
    const char* fail;
    const char* finish;
};

TestTexts textsOf(DiagTest test) {
    switch (test) {
    case DiagTest::Open: return {"Open Test Pass!\r\n", "Open Test Fail!\r\n", "Open Test Finish!\r\n"};
    case DiagTest::Short:
        return {"Short Test Pass!\r\n", "Short Test Fail!\r\n", "Short Test Finish!\r\n"};
    case DiagTest::Mutual:
        return {"Mutual Test Pass!\r\n", "Mutual Test Fail!\r\n", "Mutual Test Finish!\r\n"};
    case DiagTest::ADLevel:
        return {"ADLevel Test Pass!\r\n", "ADLevel Test Fail!\r\n", "ADLevel Test Finish!\r\n"};
    }
    return {"", "", ""};
}

QString itemLine(DiagTest test, const CTestResult& item, Flavour flavour, const DiagSettings& s) {
    switch (test) {
    case DiagTest::Open: return openLine(item, flavour, s);
    case DiagTest::Short: return shortLine(item, flavour, s);
    case DiagTest::Mutual: return mutualLine(item, flavour);
    case DiagTest::ADLevel: return adLevelLine(item, s);
    }
    return {};
}

}  // namespace

Flavour flavourFor(int typeCode) {
    return isHeronFamily(typeCode) ? Flavour::Heron : Flavour::Osprey;
}

QString openLine(const CTestResult& item, Flavour flavour, const DiagSettings& s) {
    const int channel = number(item.firstIndex);
    QString line;
    if (flavour == Flavour::Osprey) {
        line = isY(item.firstAxis)
                   ? QString::asprintf("Open : Y[%03d] = %04d, LTh: %d, ", channel, item.value, s.openTh)
                   : QString::asprintf("Open : X[%03d] = %04d, LTh: %d, ", channel, item.value, s.openTh);
    } else {
        line = isY(item.firstAxis)
                   ? QString::asprintf("Open : Rx[%03d] = %04d, LTh: %d, UTh: %d, ", channel,
                                       item.value, s.openLower, s.openUpper)
                   : QString::asprintf("Open : Tx[%03d] = %04d, LTh: %d, UTh: %d, ", channel,
                                       item.value, s.openLower, s.openUpper);
    }
    return line + verdict(item);
}

QString shortLine(const CTestResult& item, Flavour flavour, const DiagSettings& s) {
    QString line = QStringLiteral("Short : ");
    if (flavour == Flavour::Osprey) {
        line += firstXY(item) + secondXY(item);
        line += QString::asprintf(" R: %d - %d, V: %04d, ", 0, s.shortTh, item.value);
    } else {
        line += firstTxRx(item) + secondTxRx(item);
        line += isY(item.firstAxis)
                    ? QString::asprintf(" Rx Th: %d, V: %04d, ", s.shortRxTh, item.value)
                    : QString::asprintf(" Tx Th: %d, V: %04d, ", s.shortTxTh, item.value);
    }
    return line + verdict(item);
}

QString mutualLine(const CTestResult& item, Flavour flavour) {
    QString line = QStringLiteral("Mutual : ");
    if (flavour == Flavour::Osprey) {
        line += firstXY(item) + secondXY(item);
    } else {
        // A Tx word names a Tx channel or, by its sub-kind, a stray measurement.
        if (isY(item.firstAxis)) {
            line += QString::asprintf("Rx[%03d] ", number(item.firstIndex));
        } else {
            switch (item.firstSubKind) {
            case 0: line += QString::asprintf("Tx[%03d] ", number(item.firstIndex)); break;
            case 1: line += QStringLiteral("SysStray "); break;
            case 2: line += QStringLiteral("ICStray "); break;
            default: break;
            }
        }
        if (isY(item.secondAxis)) {
            line += QString::asprintf("- Rx[%03d] :", number(item.secondIndex));
        } else {
            switch (item.secondSubKind) {
            case 0: line += QString::asprintf("- Tx[%03d] :", number(item.secondIndex)); break;
            case 1: line += QStringLiteral("SysStray "); break;
            case 2: line += QStringLiteral("ICStray "); break;
            default: break;
            }
        }
    }
    line += QString::asprintf(" V: %04d, ", item.value);
    return line + verdict(item);
}

QString mutualTableLine(const CTestResult& item) {
    QString line = QStringLiteral("UTable : ");
    if (item.firstIndex == 255) {
        switch (item.secondIndex) {
        case 100: line += QStringLiteral("Freq: "); break;
        case 101: line += QStringLiteral("ValidCnt: "); break;
        case 102: line += QStringLiteral("Offset: "); break;
        case 103: line += QStringLiteral("Threshold: "); break;
        default: break;
        }
    } else {
        line += QString::asprintf("Tx[%03d] ", item.firstIndex);
        line += QString::asprintf("- Rx[%03d] ", item.secondIndex);
    }
    return line + QString::asprintf(" V: %d\r\n", item.value);
}

QString adLevelLine(const CTestResult& item, const DiagSettings& s) {
    QString line = QStringLiteral("ADLevel : ");
    // A low byte of 0xFF marks "no channel" (AD level items carry one).
    if ((item.firstIndex & 0xFF) != 0xFF) line += firstXY(item);
    if ((item.secondIndex & 0xFF) != 0xFF) line += secondXY(item);
    line += QString::asprintf(" R: %d - %d, V: %04d, ", 0, s.adLevelTh, item.value);
    return line + verdict(item);
}

bool showsSummary(DiagTest test, const std::vector<CTestResult>& items,
                  const std::vector<CTestResult>& tableItems, int selection) {
    const bool nothingListed = items.empty() && (test != DiagTest::Mutual || tableItems.empty());
    return nothingListed && selection == kShowFailOnly;
}

QString finalResultText(DiagTest test, const std::vector<CTestResult>& items,
                        const std::vector<CTestResult>& tableItems, int overall, Flavour flavour,
                        const DiagSettings& s) {
    const TestTexts texts = textsOf(test);
    if (showsSummary(test, items, tableItems, s.selection))
        return QString::fromLatin1(overall != 0 ? texts.pass : texts.fail);
    QString text;
    for (const CTestResult& item : items) text += itemLine(test, item, flavour, s);
    text += QString::asprintf("Controller Result: %d\r\n", overall);
    text += QString::fromLatin1(texts.finish);
    if (test == DiagTest::Mutual)
        for (const CTestResult& item : tableItems) text += mutualTableLine(item);
    return text;
}

}  // namespace lumora::diag
