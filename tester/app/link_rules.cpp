#include "tester/app/link_rules.h"

namespace lumora::tester {

QString titleBase() { return QStringLiteral("LumoraPCBTester v2.3.2.6 for "); }

QString connectedTitle(const QString& customer, const QString& caseLabel, const QString& model,
                       const QString& version, int8_t xCount, int8_t yCount, int deviceInterface) {
    QString title = QLatin1Char(' ') + titleBase() + customer + QLatin1Char('-') + caseLabel +
                    QStringLiteral(" (M:") + model + QStringLiteral(", V:") + version +
                    QStringLiteral(", X:") + QString::number(int(xCount)) + QStringLiteral(", Y:") +
                    QString::number(int(yCount)) + QLatin1Char(',');
    if (deviceInterface == 0) title += QStringLiteral(" USB)");
    if (deviceInterface == 1) title += QStringLiteral(" UART)");
    return title;
}

QString notConnectedTitle(const QString& customer, const QString& caseLabel) {
    return QLatin1Char(' ') + titleBase() + customer + QLatin1Char('-') + caseLabel +
           QStringLiteral(" (No Link)");
}

QString disconnectedTitle() { return titleBase() + QStringLiteral(" (No Link)"); }

int typeCodeFromModeReport(uint8_t modeByte, int current) {
    switch (modeByte) {
    case 0: return -1;
    case 1: return 2;
    case 2: return 4;
    case 3: return 1;
    case 4: return 5;
    case 5:
    case 7: return 3;
    case 6:
    case 8: return 6;
    default: return current;
    }
}

bool isControllerArrivalPath(const QString& path) {
    static const QString kPrefix = QStringLiteral("\\\\?\\HID#VID_2F1B&PID_7");  // 22 characters
    if (path.size() < 31) return false;
    return path.left(22).compare(kPrefix, Qt::CaseInsensitive) == 0 &&
           path.mid(26, 5).compare(QLatin1String("col05"), Qt::CaseInsensitive) == 0;
}

bool paramCheckRule(int typeCode, ParamCheckRule* rule) {
    switch (typeCode) {
    case 4: *rule = {192, 254, 0x0055}; return true;
    case 5: *rule = {64, 254, 0xAA55}; return true;
    case 6:
    case 8: *rule = {64, 254, 0x0055}; return true;
    default: return false;
    }
}

}  // namespace lumora::tester
