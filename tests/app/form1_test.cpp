#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "support/case_name.h"

#include <algorithm>

#include "app/form1.h"
#include "app/vb_label.h"
#include "core/number_rules.h"
#include "core/twips.h"
#include "display/line_control.h"
#include "display/picture_box.h"
#include "display/vb_scroll_bar.h"

using namespace velmoran;

namespace {

struct Placement {
    const char* name;
    int left, top, width, height;
};

// The design of the window, in twips.
const Placement kDesign[] = {
    {"Picture1", 240, 120, 10215, 5175}, {"HScroll1", 240, 5400, 10215, 255},
    {"Command5", 840, 5880, 975, 375},   {"Command6", 1920, 5880, 855, 375},
    {"Command2", 3000, 5880, 1455, 375}, {"Picture2", 4800, 5880, 3495, 255},
    {"Label6", 840, 6360, 1335, 255},    {"Combo1", 2280, 6360, 2055, 300},
    {"Command1", 4920, 6600, 1215, 375}, {"Command3", 6480, 6600, 1215, 375},
    {"Label11", 840, 6720, 1095, 375},   {"Combo2", 2280, 6720, 2055, 300},
    {"Label10", 9240, 6720, 975, 255},
};

QString textOf(QWidget* w) {
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        return b->text();
    }
    if (auto* l = qobject_cast<QLabel*>(w)) {
        return l->text();
    }
    if (auto* c = qobject_cast<QComboBox*>(w)) {
        return c->currentText();
    }
    return {};
}

TEST(Form1Startup, EveryControlSitsWhereTheDesignPutsIt) {
    Form1 form([](int) { return QString(); });
    for (const Placement& p : kDesign) {
        auto* w = form.findChild<QWidget*>(QString::fromLatin1(p.name));
        ASSERT_NE(w, nullptr) << p.name;
        EXPECT_EQ(w->geometry(), twipsRect(p.left, p.top, p.width, p.height)) << p.name;
    }
    EXPECT_EQ(form.size(), QSize(712, 479));
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Velmoran(11.0592M版)"));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()); // cannot be resized
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowCloseButtonHint);
}

TEST(Form1Startup, ControlsShowTheirInitialTexts) {
    Form1 form([](int) { return QString(); });
    const std::pair<const char*, const char*> expected[] = {
        {"Command5", "放大"},      {"Command6", "缩少"},
        {"Command2", "开始采集"},  {"Label4", "数据传输率："},
        {"Label2", "0Bit/s"},      {"Label1", "串口还未开启，请单击开始采集按钮"},
        {"Label6", "显示通道："},  {"Combo1", "1"},
        {"Command1", "载入"},      {"Command3", "保存"},
        {"Label11", "串口选择："}, {"Combo2", "1"},
        {"Label10", "关于本程序"}, {"Label7", "第一通道"},
        {"Label8", "第二通道"},    {"Label9", "第三通道"},
        {"Label3", "Label3"},      {"Label12", "0%"},
    };
    for (const auto& [name, text] : expected) {
        auto* w = form.findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(w, nullptr) << name;
        EXPECT_EQ(textOf(w), QString::fromUtf8(text)) << name;
        EXPECT_TRUE(w->isEnabled()) << name;
    }
    EXPECT_EQ(form.Combo1->count(), 3);
    EXPECT_EQ(form.Combo2->count(), 2);
    EXPECT_EQ(form.Combo1->itemText(2), "3");
    EXPECT_TRUE(form.Combo1->isEditable());
}

TEST(Form1Startup, ControlsInsideThePictureBoxes) {
    Form1 form([](int) { return QString(); });
    EXPECT_EQ(form.Label7->parentWidget(), form.Picture1);
    EXPECT_EQ(form.Line1->parentWidget(), form.Picture1);
    EXPECT_EQ(form.Line4->parentWidget(), form.Picture2);
    EXPECT_EQ(form.Label12->parentWidget(), form.Picture2);
    // The cursor line stands at the left edge; its readout sits below the visible area.
    EXPECT_EQ(form.Line1->X1(), 0);
    EXPECT_EQ(form.Line1->Y1(), -240);
    EXPECT_EQ(form.Line1->Y2(), 5160);
    EXPECT_EQ(form.Line2->Y1(), 1320);
    EXPECT_EQ(form.Line3->Y1(), 2640);
    EXPECT_EQ(form.Line2->X2(), 10200);
    const QPoint readout = form.Label3->pos() - form.Picture1->contentsRect().topLeft();
    EXPECT_EQ(readout, QPoint(twipsToPixels(9960), twipsToPixels(5160)));
    EXPECT_GE(readout.y(), form.Picture1->contentsRect().height());
    EXPECT_EQ(form.Line4->BorderColor(), qRgb(199, 240, 254));
    EXPECT_EQ(form.Picture1->BackColor(), qRgb(255, 253, 242));
    EXPECT_EQ(form.Picture1->Width(), 10215.0f);
    EXPECT_EQ(form.Picture1->Height(), 5175.0f);
}

TEST(Form1Startup, StoreHoldsItsLoadValues) {
    Form1 form([](int) { return QString(); });
    for (const ChannelBuffer* b : {&form.ChannelData1, &form.ChannelData2, &form.ChannelData3}) {
        EXPECT_EQ(b->size(), 63489u);
        EXPECT_TRUE(std::all_of(b->begin(), b->end(), [](uint8_t v) { return v == 0; }));
    }
    EXPECT_EQ(form.RecvCount, 0);
    EXPECT_EQ(form.BitWidth, 10);
    EXPECT_EQ(form.SamplePeriod, 40.14739990234375f);
    EXPECT_EQ(form.ElapsedTicks, 0);
    EXPECT_EQ(form.LastCount, 0);
    EXPECT_EQ(form.ViewStart, 0);
    EXPECT_EQ(form.MeasurePending, 0);
    EXPECT_FALSE(form.MeasureStartX.has_value());
    EXPECT_EQ(form.AboutBlink, 0);
    EXPECT_EQ(form.HScroll1->Max(), 31615);
    EXPECT_EQ(form.HScroll1->Value(), 0);
    EXPECT_EQ(form.HScroll1->SmallChange(), 2);
    EXPECT_EQ(form.HScroll1->LargeChange(), 100);
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_EQ(form.Timer1->interval(), 0);
    EXPECT_TRUE(form.Timer2->isActive());
    EXPECT_EQ(form.Timer2->interval(), 2000);
    // Nothing is drawn at start-up.
    const QImage& img = form.Picture1->image();
    EXPECT_EQ(img.pixel(img.width() / 2, img.height() / 2), qRgb(255, 253, 242));
}

TEST(Form1Startup, SerialControlIsConfiguredButClosed) {
    Form1 form([](int) { return QString(); });
    EXPECT_EQ(form.MSComm1->CommPort(), 1);
    EXPECT_FALSE(form.MSComm1->PortOpen());
    EXPECT_EQ(form.MSComm1->Settings(), "57600,n,8,1");
    EXPECT_EQ(form.MSComm1->RThreshold(), 1024);
    EXPECT_EQ(form.MSComm1->SThreshold(), 0);
    EXPECT_EQ(form.MSComm1->InputMode(), 1);
    EXPECT_EQ(form.MSComm1->InputLen(), 1024);
    EXPECT_EQ(form.MSComm1->InBufferSize(), 20000);
    EXPECT_EQ(form.MSComm1->InBufferCount(), 0);
}

struct PortTextCase {
    const char* name;
    const char* text;
    int port;
};

class InitComPort : public ::testing::TestWithParam<PortTextCase> {};

TEST_P(InitComPort, TakesThePortNumberFromCombo2) {
    Form1 form([](int) { return QString(); });
    form.Combo2->setEditText(QString::fromLatin1(GetParam().text));
    form.Init_com();
    EXPECT_EQ(form.MSComm1->CommPort(), GetParam().port);
    EXPECT_FALSE(form.MSComm1->PortOpen());
}

INSTANTIATE_TEST_SUITE_P(Texts, InitComPort,
                         ::testing::Values(PortTextCase{"text_1", "1", 1},
                                           PortTextCase{"text_2", "2", 2},
                                           PortTextCase{"text_COM2_gives_port_0", "COM2", 0},
                                           PortTextCase{"text_3_5_gives_4", "3.5", 4},
                                           PortTextCase{"text_2_5_gives_2", "2.5", 2}),
                         velmoran::test::CaseName());

TEST(InitCom, OverflowKeepsThePreviousSettings) {
    Form1 form([](int) { return QString(); });
    form.Combo2->setEditText("2");
    form.Init_com();
    form.MSComm1->setRThreshold(7);
    form.Combo2->setEditText("99999");
    EXPECT_THROW(form.Init_com(), vb::OverflowError);
    EXPECT_EQ(form.MSComm1->CommPort(), 2);
    EXPECT_EQ(form.MSComm1->RThreshold(), 7);
}

TEST(Form1Startup, TypingInTheCombosDoesNothingAtOnce) {
    Form1 form([](int) { return QString(); });
    form.Combo2->setFocus();
    QTest::keyClicks(form.Combo2, "2");
    QTest::keyClicks(form.Combo1, "3");
    EXPECT_EQ(form.MSComm1->CommPort(), 1);
    EXPECT_EQ(form.Label1->text(), QString::fromUtf8("串口还未开启，请单击开始采集按钮"));
}

TEST(Form1Startup, TabOrderStartsAtThePicture) {
    Form1 form([](int) { return QString(); });
    const char* order[] = {"Picture1", "Command2", "HScroll1", "Command5", "Command6",
                           "Combo1",   "Combo2",   "Command1", "Command3", "Picture2"};
    QWidget* w = form.Picture1;
    for (std::size_t i = 1; i < std::size(order); ++i) {
        w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus || w->focusProxy() != nullptr ||
               w->parentWidget()->inherits("QComboBox")) {
            w = w->nextInFocusChain();
        }
        EXPECT_EQ(w->objectName(), QString::fromLatin1(order[i]));
    }
}

// An auto-sized label takes the size a plain label gives its text, for a text it has shown before
// and after its font changed; setting the caption it already shows changes nothing.
TEST(VbLabelAutoSize, EveryCaptionGetsThePlainLabelsSize) {
    QWidget parent;
    VbLabel label(QStringLiteral("0Bit/s"), true, &parent);
    label.move(30, 40);
    QLabel plain;
    plain.setTextFormat(Qt::PlainText);
    plain.setMargin(0);
    plain.setIndent(0);
    plain.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const auto expectPlainSize = [&](const QString& text) {
        plain.setFont(label.font());
        plain.setText(text);
        EXPECT_EQ(label.size(), plain.sizeHint()) << text.toStdString();
        EXPECT_EQ(label.pos(), QPoint(30, 40));
    };
    for (const char* text : {"24920Bit/s", "100%", "24920Bit/s", "1111111111Bit/s", "100%"}) {
        label.setCaption(QString::fromLatin1(text));
        expectPlainSize(QString::fromLatin1(text));
    }
    QFont larger = label.font();
    larger.setPointSizeF(larger.pointSizeF() * 2);
    label.setFont(larger);
    label.setCaption(QStringLiteral("24920Bit/s"));
    expectPlainSize(QStringLiteral("24920Bit/s"));
    const QSize before = label.size();
    label.resize(5, 5);
    label.setCaption(QStringLiteral("24920Bit/s"));
    EXPECT_EQ(label.size(), QSize(5, 5)) << "the same caption again is no change";
    label.setCaption(QStringLiteral("100%"));
    expectPlainSize(QStringLiteral("100%"));
    EXPECT_NE(label.size(), before);
}

TEST(Form1Startup, WritesAScreenshot) {
    Form1 form([](int) { return QString(); });
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(QApplication::focusWidget(), form.Picture1);
    QDir().mkpath(VELMORAN_SCREENSHOT_DIR);
    EXPECT_TRUE(form.grab().save(QString(VELMORAN_SCREENSHOT_DIR) + "/main-window.png"));
}

} // namespace
