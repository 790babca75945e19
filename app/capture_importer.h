#pragma once

// 文件 ▸ 导入波形…: a capture made by another tool (LIRC mode2, Pronto codes, the CSV or VCD of
// one signal, a sigrok session) into the channel 显示通道 names, drawn at once. 载入 stays what it
// is (any file as raw samples); this is the way in for other formats.

#include <QObject>
#include <QString>

namespace velmoran {

class Form1;

class CaptureImporter : public QObject {
    Q_OBJECT
public:
    CaptureImporter(Form1* form, QObject* parent);

    // Asks for a file, then imports it as importFile does.
    void chooseFile();
    // Reads `path` into the channel 显示通道 names and draws the rows; false, after a message
    // naming the file (and line) and with every channel as it was, when it cannot.
    bool importFile(const QString& path);

Q_SIGNALS:
    // A channel now holds the capture of `path`.
    void imported(const QString& path, int channel);

private:
    Form1* form_;
    QString lastFile_; // where the file dialog starts
};

} // namespace velmoran
