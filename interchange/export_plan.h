#pragma once

// What an export is to write and what it must refuse, one set of rules for the window and for
// velmoran-ird: the output never replaces the capture file; the VCD's GTKWave view file (beside
// it under a derived name) never replaces the capture file or the VCD itself, and a view file
// already there (or a link, even one that leads nowhere) is replaced only when the user says so.

#include <QString>

#include <vector>

#include "interchange/export_files.h"

namespace velmoran::interchange {

// Whether two paths name one file: the same place once links are followed (also a file not
// there yet), or one file under two names (a hard link).
bool sameFile(const QString& a, const QString& b);

enum class ExportRefusal {
    None,
    OutputIsCapture, // the output would replace the capture file
    ViewIsCapture,   // the view file would replace the capture file
    ViewIsOutput,    // the view file would replace the VCD
};

struct ExportPlan {
    QString output;
    QString viewPath;        // the VCD's view file; empty for the other formats
    bool viewExists = false; // something is there already: replaced only when asked
    ExportRefusal refusal = ExportRefusal::None;
};

// The plan for exporting `format` to `output`; `capture` is the capture's file (empty when it
// has none).
ExportPlan planExport(ExportFormat format, const QString& output, const QString& capture);

// The files of the plan to write: `files` (exportFiles') less the view file when one is there
// and is not to be replaced.
void keepExistingView(std::vector<OutputFile>& files, const ExportPlan& plan, bool replaceView);

} // namespace velmoran::interchange
