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

// "X[001]", "Y[001]" (Osprey) or "Tx[001]", "Rx[001]" (Heron): the channel
// of an axis word and an index, numbered from 1.
QString channelName(int16_t axis, int16_t index, Flavour flavour) {
    const char* name = flavour == Flavour::Osprey ? (isY(axis) ? "Y" : "X") : (isY(axis) ? "Rx" : "Tx");
    return QString::asprintf("%s[%03d]", name, number(index));
}
// The pair of a short or mutual line: "X[001] - X[002] :".
QString firstChannel(const CTestResult& item, Flavour flavour) {
    return channelName(item.firstAxis, item.firstIndex, flavour) + QLatin1Char(' ');
}
QString secondChannel(const CTestResult& item, Flavour flavour) {
    return QStringLiteral("- ") + channelName(item.secondAxis, item.secondIndex, flavour) + QStringLiteral(" :");
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
    QString line = QStringLiteral("Open : ") + channelName(item.firstAxis, item.firstIndex, flavour);
    if (flavour == Flavour::Osprey)
        line += QString::asprintf(" = %04d, LTh: %d, ", item.value, s.openTh);
    else
        line += QString::asprintf(" = %04d, LTh: %d, UTh: %d, ", item.value, s.openLower, s.openUpper);
    return line + verdict(item);
}

QString shortLine(const CTestResult& item, Flavour flavour, const DiagSettings& s) {
    QString line = QStringLiteral("Short : ") + firstChannel(item, flavour) + secondChannel(item, flavour);
    if (flavour == Flavour::Osprey) {
        line += QString::asprintf(" R: %d - %d, V: %04d, ", 0, s.shortTh, item.value);
    } else {
        line += isY(item.firstAxis)
                    ? QString::asprintf(" Rx Th: %d, V: %04d, ", s.shortRxTh, item.value)
                    : QString::asprintf(" Tx Th: %d, V: %04d, ", s.shortTxTh, item.value);
    }
    return line + verdict(item);
}

QString mutualLine(const CTestResult& item, Flavour flavour) {
    QString line = QStringLiteral("Mutual : ");
    if (flavour == Flavour::Osprey) {
        line += firstChannel(item, flavour) + secondChannel(item, flavour);
    } else {
        // A Tx word names a Tx channel or, by its sub-kind, a stray
        // measurement; other sub-kinds print nothing.
        auto part = [&](int16_t axis, int16_t subKind, const QString& channel) -> QString {
            if (isY(axis) || subKind == 0) return channel;
            if (subKind == 1) return QStringLiteral("SysStray ");
            if (subKind == 2) return QStringLiteral("ICStray ");
            return {};
        };
        line += part(item.firstAxis, item.firstSubKind, firstChannel(item, flavour));
        line += part(item.secondAxis, item.secondSubKind, secondChannel(item, flavour));
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
    // Channels are named X and Y in both flavours.
    if ((item.firstIndex & 0xFF) != 0xFF) line += firstChannel(item, Flavour::Osprey);
    if ((item.secondIndex & 0xFF) != 0xFF) line += secondChannel(item, Flavour::Osprey);
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
