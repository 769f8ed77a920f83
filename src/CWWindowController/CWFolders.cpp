#include "CWFolders.h"

#include <QFileInfo>

namespace {

// A bound on the names tried, so a folder full of them ends the search.
constexpr int kMostNames = 1000;

}  // namespace

QString cw_standard_folder(QStandardPaths::StandardLocation location, const QString& given)
{
    if (!given.isEmpty())
        return given;
    const QString folder = QStandardPaths::writableLocation(location);
    return folder.isEmpty() || !QDir(folder).exists() ? QDir::homePath() : folder;
}

QString cw_first_free_path(const QDir& folder, const std::function<std::string(int)>& names)
{
    for (int i = 0; i < kMostNames; ++i) {
        const QString path = folder.filePath(QString::fromStdString(names(i)));
        if (!QFileInfo::exists(path))
            return path;
    }
    return QString();
}
