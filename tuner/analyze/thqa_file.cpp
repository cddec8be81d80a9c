#include "tuner/analyze/thqa_file.h"

#include <QFile>
#include <algorithm>

#include "host/services.h"

namespace lumora::analyze {

bool loadThqaFile(const QString& path, ThqaData& data) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    ThqaData read = data;
    const qint64 n = file.read(reinterpret_cast<char*>(read.data()), kThqaDataSize);
    if (n < 0) return false;
    std::copy(read.begin(), read.begin() + n, data.begin());
    return true;
}

bool saveThqaFile(const QString& path, const ThqaData& data) {
    return host::replaceFile(path, QByteArray(reinterpret_cast<const char*>(data.data()), kThqaDataSize));
}

}  // namespace lumora::analyze
