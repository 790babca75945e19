#include "files/common_dialog.h"

#include <QFileDialog>
#include <QWidget>

namespace velmoran {

QStringList nameFiltersFromVbFilter(const QString& vbFilter) {
    const QStringList parts = vbFilter.split(QLatin1Char('|'));
    QStringList filters;
    // Pairs of description and patterns; a description left without patterns is dropped.
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns) {
            p = p.trimmed();
        }
        patterns.removeAll(QString());
        if (patterns.isEmpty()) {
            patterns << QStringLiteral("*");
        }
        filters << QStringLiteral("%1 (%2)").arg(parts[i].trimmed(),
                                                 patterns.join(QLatin1Char(' ')));
    }
    return filters;
}

CommonDialog::CommonDialog(QWidget* owner) : QObject(owner), owner_(owner) {
    setObjectName(QStringLiteral("CommonDialog1"));
}

void CommonDialog::ShowOpen() {
    show(false);
}

void CommonDialog::ShowSave() {
    show(true);
}

void CommonDialog::show(bool save) {
    // Qt's own dialog rather than the desktop's: it behaves the same everywhere and can be
    // answered by the tests. Like the old control it sets no flags: any typed name is returned
    // (the handlers report a missing file), no default extension, no overwrite question.
    QFileDialog dialog(owner_);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(nameFiltersFromVbFilter(filter_));
    if (!fileName_.isEmpty()) {
        dialog.selectFile(fileName_);
    }
    dialog.setWindowModality(Qt::ApplicationModal);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    const QStringList chosen = dialog.selectedFiles();
    cancelled_ = !accepted || chosen.isEmpty() || chosen.constFirst().isEmpty();
    if (!cancelled_) {
        fileName_ = chosen.constFirst();
    }
}

} // namespace velmoran
