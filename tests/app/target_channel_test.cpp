// The channel a capture goes to: the rule, and the window refusing a capture into a channel
// that does not exist before it touches the port.

#include <QComboBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include <ostream>

#include "app/shown_window.h"
#include "support/case_name.h"

#include "acquisition/block_receiver.h"
#include "app/target_channel.h"
#include "app/vb_label.h"
#include "core/texts.h"

using namespace velmoran;
using namespace velmoran::test;

namespace {

struct NamedCase {
    std::string name;
    friend void PrintTo(const NamedCase& c, std::ostream* os) { *os << c.name; }
    const char* text;
    int channel; // 1, 2, 3, or 0 for none
};

class NamedChannel : public ::testing::TestWithParam<NamedCase> {};

TEST_P(NamedChannel, NamesTheBufferACaptureWouldFill) {
    const NamedCase& c = GetParam();
    const QString text = QString::fromUtf8(c.text);
    const std::optional<int> named = namedChannel(text);
    EXPECT_EQ(named.value_or(0), c.channel);
    // The refusal and the block receiver judge by one rule: a text names a channel exactly
    // when the receiver would store into a buffer.
    CaptureStore store;
    EXPECT_EQ(named.has_value(), store.channel(targetChannel(text)) != nullptr);
    if (named) {
        EXPECT_EQ(store.channel(*named), store.channel(targetChannel(text)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, NamedChannel,
    ::testing::Values(NamedCase{"text_1", "1", 1}, NamedCase{"text_2", "2", 2},
                      NamedCase{"text_3", "3", 3}, NamedCase{"fraction_rounds_down", "2.7", 2},
                      NamedCase{"leading_blank", " 3", 3}, NamedCase{"plus_sign", "+2", 2},
                      NamedCase{"hex_literal", "&h3", 3}, NamedCase{"octal_literal", "&O1", 1},
                      NamedCase{"trailing_letters", "3abc", 3}, NamedCase{"exponent", "0.2e1", 2},
                      NamedCase{"blanks_inside", "1 ", 1}, NamedCase{"letters", "abc", 0},
                      NamedCase{"four", "4", 0}, NamedCase{"zero", "0", 0},
                      NamedCase{"huge", "1e308", 0}, NamedCase{"empty", "", 0},
                      NamedCase{"minus_one", "-1", 0}, NamedCase{"just_below_one", "0.99", 0},
                      NamedCase{"hex_too_big", "&h4", 0}, NamedCase{"hex_minus_one", "&HFFFF", 0},
                      NamedCase{"infinity_overflow", "1e999", 0}),
    test::CaseName());

TEST(NoSuchChannelMessage, NamesTheTextAndEveryValidChannel) {
    const QString message = noSuchChannelMessage(QStringLiteral("abc"));
    EXPECT_TRUE(message.contains(QStringLiteral("“abc”"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("1、2 或 3"))) << message.toStdString();
}

class Refused : public ::testing::TestWithParam<const char*> {};

TEST_P(Refused, ACaptureIntoNoChannelSaysSoAndChangesNothing) {
    ShownWindow w;
    Form1& form = w.form;
    form.ChannelData1.fill(0x11);
    form.ChannelData2.fill(0x22);
    form.ChannelData3.fill(0x33);
    form.Combo1->setEditText(QString::fromUtf8(GetParam()));
    const QString status = form.Label1->Caption();
    const QString rate = form.Label2->Caption();
    const QString percent = form.Label12->Caption();

    ModalReader reader;
    form.Command2->click();

    ASSERT_EQ(reader.seen().size(), 1u);
    const SeenModal& box = reader.seen()[0];
    EXPECT_TRUE(box.text.contains(QStringLiteral("1、2 或 3"))) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains(QString::fromUtf8(GetParam()))) << box.text.toStdString();
    EXPECT_EQ(box.title, form.windowTitle());
    EXPECT_GE(box.width, titleNeeds(box.title));

    EXPECT_EQ(w.mapCalls, 0) << "the port was looked up";
    EXPECT_FALSE(form.MSComm1->PortOpen());
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_EQ(form.Command2->text(), texts::q(texts::kStartCapture));
    EXPECT_TRUE(form.Combo1->isEnabled());
    EXPECT_TRUE(form.Command1->isEnabled());
    EXPECT_TRUE(form.Command3->isEnabled());
    EXPECT_EQ(form.Combo1->currentText(), QString::fromUtf8(GetParam()));
    EXPECT_EQ(form.Label1->Caption(), status);
    EXPECT_EQ(form.Label2->Caption(), rate);
    EXPECT_EQ(form.Label12->Caption(), percent);
    EXPECT_EQ(form.RecvCount, 0);
    EXPECT_EQ(form.ChannelData1[0], 0x11);
    EXPECT_EQ(form.ChannelData2[0], 0x22);
    EXPECT_EQ(form.ChannelData3[0], 0x33);
}

INSTANTIATE_TEST_SUITE_P(Table, Refused, ::testing::Values("abc", "4", "0", "1e308", ""));

// A text that names channel 1, 2 or 3 still starts a capture: here the port lookup is reached
// (and finds no port, which the serial layer reports in its own box).
TEST(Refused, ATextNamingAChannelGoesOnToThePort) {
    for (const char* text : {"2.7", " 3", "+2", "&h3"}) {
        ShownWindow w;
        w.form.Combo1->setEditText(QString::fromUtf8(text));
        ModalReader reader;
        w.form.Command2->click();
        EXPECT_GE(w.mapCalls, 1) << text;
        ASSERT_EQ(reader.seen().size(), 1u) << text;
        EXPECT_FALSE(reader.seen()[0].text.contains(QStringLiteral("1、2 或 3"))) << text;
        EXPECT_GE(reader.seen()[0].width, titleNeeds(reader.seen()[0].title)) << text;
    }
}

} // namespace
