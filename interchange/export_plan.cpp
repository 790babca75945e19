#include "interchange/export_plan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include "interchange/exporters.h"

namespace velmoran::interchange {

namespace {

constexpr int kMostLinksFollowed = 40; // as the kernel's own limit

// Where `path` leads: links followed, even to a file not there yet, and the folder in its
// canonical form.
QString landingPath(const QString& path) {
    QFileInfo info(path);
    for (int i = 0; i < kMostLinksFollowed && info.isSymLink(); ++i) {
        info = QFileInfo(info.symLinkTarget());
    }
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return QDir::cleanPath((folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') +
                           info.fileName());
}

} // namespace

bool sameFile(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty()) {
        return false;
    }
    if (landingPath(a) == landingPath(b)) {
        return true;
    }
    struct stat x {};
    struct stat y {};
    return ::stat(QFile::encodeName(a).constData(), &x) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}

ExportPlan planExport(ExportFormat format, const QString& output, const QString& capture) {
    ExportPlan plan;
    plan.output = output;
    if (format == ExportFormat::Vcd) {
        plan.viewPath = gtkwaveSavePathFor(output);
        const QFileInfo view(plan.viewPath);
        plan.viewExists = view.exists() || view.isSymLink();
    }
    if (sameFile(output, capture)) {
        plan.refusal = ExportRefusal::OutputIsCapture;
    } else if (!plan.viewPath.isEmpty() && sameFile(plan.viewPath, capture)) {
        plan.refusal = ExportRefusal::ViewIsCapture;
    } else if (!plan.viewPath.isEmpty() && sameFile(plan.viewPath, output)) {
        plan.refusal = ExportRefusal::ViewIsOutput;
    }
    return plan;
}

void keepExistingView(std::vector<OutputFile>& files, const ExportPlan& plan, bool replaceView) {
    if (plan.viewPath.isEmpty() || !plan.viewExists || replaceView) {
        return;
    }
    std::erase_if(files, [&](const OutputFile& f) { return f.path == plan.viewPath; });
}

} // namespace velmoran::interchange
