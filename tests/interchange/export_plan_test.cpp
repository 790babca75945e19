// The export plan the window and velmoran-ird share, over the files a folder may hold: the output
// and the VCD's view file never replace the capture file (by its name, a link or a hard link),
// the view file never replaces the VCD, and a view file already there, or a link in its place,
// is told so that it is only replaced when asked.

#include <gtest/gtest.h>

#include "support/case_name.h"
#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

#include "interchange/export_plan.h"

using namespace velmoran;
using namespace velmoran::interchange;

namespace {

struct PlanCase {
    std::string name;
    // Files made first: "name" a file, "name->target" a symbolic link, "name=>target" a hard
    // link.
    QStringList files;
    ExportFormat format;
    QString output;
    QString capture;
    ExportRefusal refusal;
    bool viewExists;
    friend void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.name; }
};

class ExportPlans : public ::testing::TestWithParam<PlanCase> {};

TEST_P(ExportPlans, RefuseWhatWouldReplaceTheCaptureOrTheVcd) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto at = [&](const QString& name) { return dir.filePath(name); };
    for (const QString& f : GetParam().files) {
        if (f.contains(QStringLiteral("->"))) {
            ASSERT_TRUE(QFile::link(f.section(QStringLiteral("->"), 1), at(f.section("->", 0, 0))));
        } else if (f.contains(QStringLiteral("=>"))) {
            ASSERT_EQ(::link(QFile::encodeName(at(f.section("=>", 1))).constData(),
                             QFile::encodeName(at(f.section("=>", 0, 0))).constData()),
                      0);
        } else if (f.endsWith(QLatin1Char('/'))) {
            ASSERT_TRUE(QDir(dir.path()).mkpath(f));
        } else {
            test::writeFile(at(f), "x");
        }
    }
    const ExportPlan plan =
        planExport(GetParam().format, at(GetParam().output),
                   GetParam().capture.isEmpty() ? QString() : at(GetParam().capture));
    EXPECT_EQ(plan.refusal, GetParam().refusal);
    EXPECT_EQ(plan.viewExists, GetParam().viewExists);
    EXPECT_EQ(plan.viewPath.isEmpty(), GetParam().format != ExportFormat::Vcd);

    // An existing view is left out unless it is to be replaced.
    std::vector<OutputFile> files{{plan.output, {}}};
    if (!plan.viewPath.isEmpty()) {
        files.push_back({plan.viewPath, {}});
    }
    std::vector<OutputFile> kept = files;
    keepExistingView(kept, plan, false);
    EXPECT_EQ(kept.size(), files.size() - (plan.viewExists ? 1 : 0));
    keepExistingView(files, plan, true);
    EXPECT_EQ(files.size(), plan.viewPath.isEmpty() ? 1u : 2u);
}

using R = ExportRefusal;
const ExportFormat kVcd = ExportFormat::Vcd;
const ExportFormat kCsv = ExportFormat::Csv;

INSTANTIATE_TEST_SUITE_P(
    Folders, ExportPlans,
    ::testing::Values(
        PlanCase{"plain_vcd", {"cap.ird"}, kVcd, "out.vcd", "cap.ird", R::None, false},
        PlanCase{"no_capture_file", {}, kVcd, "out.vcd", "", R::None, false},
        PlanCase{"output_is_the_capture",
                 {"cap.ird"},
                 kCsv,
                 "cap.ird",
                 "cap.ird",
                 R::OutputIsCapture,
                 false},
        PlanCase{"output_not_there_yet_is_a_link_to_the_capture",
                 {"cap.ird", "o.csv->cap.ird"},
                 kCsv,
                 "o.csv",
                 "cap.ird",
                 R::OutputIsCapture,
                 false},
        PlanCase{"output_is_a_hard_link_to_the_capture",
                 {"cap.ird", "o.csv=>cap.ird"},
                 kCsv,
                 "o.csv",
                 "cap.ird",
                 R::OutputIsCapture,
                 false},
        PlanCase{"output_back_out_of_a_linked_folder",
                 {"sub/", "cap.ird", "l->sub"},
                 kCsv,
                 "l/../cap.ird",
                 "cap.ird",
                 R::OutputIsCapture,
                 false},
        PlanCase{
            "view_is_the_capture", {"v.gtkw"}, kVcd, "v.vcd", "v.gtkw", R::ViewIsCapture, true},
        PlanCase{"view_links_to_the_capture",
                 {"cap.ird", "v.gtkw->cap.ird"},
                 kVcd,
                 "v.vcd",
                 "cap.ird",
                 R::ViewIsCapture,
                 true},
        PlanCase{"view_links_to_the_vcd",
                 {"cap.ird", "v.gtkw->v.vcd"},
                 kVcd,
                 "v.vcd",
                 "cap.ird",
                 R::ViewIsOutput,
                 true},
        PlanCase{
            "view_there_already", {"cap.ird", "v.gtkw"}, kVcd, "v.vcd", "cap.ird", R::None, true},
        PlanCase{"view_a_link_to_nowhere",
                 {"cap.ird", "v.gtkw->gone"},
                 kVcd,
                 "v.vcd",
                 "cap.ird",
                 R::None,
                 true},
        PlanCase{"other_formats_have_no_view",
                 {"cap.ird", "v.gtkw"},
                 kCsv,
                 "v.vcd",
                 "cap.ird",
                 R::None,
                 false}),
    velmoran::test::CaseName());

} // namespace
