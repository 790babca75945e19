#include "app/protocols_dialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <utility>

#include "core/texts.h"
#include "core/whole_file.h"
#include "infrared/irp/irp_table.h"

namespace velmoran {

namespace {

// The editor's size in characters and lines: room for a long IRP on one line.
constexpr int kEditorColumns = 100;
constexpr int kEditorLines = 20;

// "line 3, column 32: expected )" in the window's words; other reasons as they are.
QString localError(const QString& error) {
    static const QRegularExpression where(QStringLiteral("^line (\\d+), column (\\d+): (.*)$"));
    const QRegularExpressionMatch m = where.match(error);
    if (!m.hasMatch()) {
        return error;
    }
    return texts::q(texts::kProtocolsErrorAt).arg(m.captured(1), m.captured(2), m.captured(3));
}

// Reads the file at `path` when there is one: its text, or the reason it cannot be read.
std::optional<QString> readExisting(const QString& path, QString& text) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        return std::nullopt;
    }
    QByteArray bytes;
    if (auto error = infrared::irp::readUserProtocolsFile(path, bytes)) {
        return error;
    }
    text = QString::fromUtf8(bytes);
    return std::nullopt;
}

std::optional<QString> writeText(const QString& path, const QString& text) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return QStringLiteral("cannot create %1").arg(QFileInfo(path).absolutePath());
    }
    const QByteArray bytes = text.toUtf8();
    if (const auto failure = replaceFilesWhole({{path, QByteArrayView(bytes)}})) {
        return failure->reason;
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> appendUserProtocol(const QString& path, const QString& name,
                                          const QString& irp) {
    QString text;
    if (auto error = readExisting(path, text)) {
        return error;
    }
    if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n'))) {
        text += QLatin1Char('\n');
    }
    text += name + QLatin1Char('\t') + irp + QLatin1Char('\n');
    return writeText(path, text);
}

ProtocolsDialog::ProtocolsDialog(QString path, std::function<void()> saved, QWidget* parent)
    : QDialog(parent), path_(std::move(path)), saved_(std::move(saved)),
      editor_(new QPlainTextEdit(this)), status_(new QLabel(this)) {
    setObjectName(QStringLiteral("ProtocolsDialog"));
    setWindowTitle(texts::q(texts::kProtocolsTitle));
    setModal(true);

    auto* hint = new QLabel(texts::q(texts::kProtocolsHint), this);
    hint->setWordWrap(true);
    editor_->setObjectName(QStringLiteral("protocolsEditor"));
    editor_->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QFontMetrics metrics(editor_->font());
    editor_->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('M')) * kEditorColumns / 2,
                            metrics.lineSpacing() * kEditorLines);
    status_->setObjectName(QStringLiteral("protocolsStatus"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    save_ = buttons->addButton(texts::q(texts::kProtocolsSave), QDialogButtonBox::AcceptRole);
    save_->setObjectName(QStringLiteral("protocolsSave"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(save_, &QPushButton::clicked, this, [this] {
        if (save()) {
            accept();
        }
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(editor_, 1);
    layout->addWidget(status_);
    layout->addWidget(buttons);

    QString text;
    const std::optional<QString> readError = readExisting(path_, text);
    editor_->setPlainText(text);
    connect(editor_, &QPlainTextEdit::textChanged, this, &ProtocolsDialog::check);
    check();
    if (readError) {
        // A file that cannot be read is never replaced by an empty one from here.
        status_->setText(texts::q(texts::kProtocolsReadFailed).arg(path_, *readError));
        editor_->setReadOnly(true);
        save_->setEnabled(false);
    }
}

void ProtocolsDialog::check() {
    const infrared::irp::ProtocolTable table = infrared::irp::parseTable(editor_->toPlainText());
    errors_.clear();
    for (const QString& error : table.errors) {
        errors_ << localError(error);
    }
    status_->setText(errors_.isEmpty() ? texts::q(texts::kProtocolsNoErrors)
                                             .arg(static_cast<qsizetype>(table.protocols().size()))
                                       : errors_.join(QLatin1Char('\n')));
}

bool ProtocolsDialog::save() {
    if (!errors_.isEmpty()) {
        QMessageBox::warning(
            this, texts::q(texts::kProtocolsTitle),
            texts::q(texts::kProtocolsRefused).arg(errors_.join(QLatin1Char('\n'))));
        return false;
    }
    if (const auto error = writeText(path_, editor_->toPlainText())) {
        QMessageBox::warning(this, texts::q(texts::kProtocolsTitle),
                             texts::q(texts::kProtocolsSaveFailed).arg(path_, *error));
        return false;
    }
    if (saved_) {
        saved_();
    }
    return true;
}

} // namespace velmoran
