#include "tester/config/plan_location.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace lumora::tester {

namespace {

QString existingFile(const QString& folder, const QString& fileName) {
    if (folder.isEmpty()) return {};
    const QString path = QDir(folder).filePath(fileName);
    return QFileInfo(path).isFile() ? path : QString();
}

}  // namespace

QString locateTestPlan(const QString& fileName, const PlanFolders& folders) {
    if (QString path = existingFile(folders.data, fileName); !path.isEmpty()) return path;
    if (QString path = existingFile(folders.program, fileName); !path.isEmpty()) return path;
    const QString inData = QDir(folders.data).filePath(fileName);
    const QString example = existingFile(folders.examples, fileName);
    if (example.isEmpty()) return inData;
    if (folders.data.isEmpty() || !QDir().mkpath(folders.data) || !QFile::copy(example, inData))
        return example;
    // The copy keeps the example's permissions, which may be read-only.
    QFile::setPermissions(inData, QFile::permissions(inData) | QFileDevice::WriteOwner);
    return inData;
}

}  // namespace lumora::tester
