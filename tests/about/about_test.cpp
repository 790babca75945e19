// The blinking About label and the About window with its fade-in.

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "support/case_name.h"

#include <vector>

#include "about/fade.h"
#include "about/form2.h"
#include "app/form1.h"
#include "app/vb_label.h"
#include "core/twips.h"

using namespace velmoran;

namespace {

const QString kAbout = QString::fromUtf8("关于本程序");
const QString kClickMe = QStringLiteral("Click Me!!");

// Lets a closed About window finish its deletion.
void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::vector<Form2*> openAboutWindows() {
    std::vector<Form2*> open;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* f = qobject_cast<Form2*>(w); f && f->isVisible()) {
            open.push_back(f);
        }
    }
    return open;
}

// The fade-support answer for one test, put back afterwards.
class FadeOverride {
public:
    explicit FadeOverride(bool supported) { Form2::setFadeSupportOverride(supported); }
    ~FadeOverride() { Form2::setFadeSupportOverride(std::nullopt); }
};

class AboutWindow : public ::testing::Test {
protected:
    void click() { QTest::mouseClick(form.Label10, Qt::LeftButton); }
    void TearDown() override {
        if (Form2* w = form.aboutWindow()) {
            w->close();
        }
        flushDeletes();
    }

    Form1 form{[](int) { return QString(); }};
};

TEST(AboutBlink, AlternatesEveryTickAndFirstShowsClickMeAtTheSecond) {
    Form1 form([](int) { return QString(); });
    const QSize size = form.Label10->size();
    EXPECT_TRUE(form.Timer2->isActive());
    EXPECT_EQ(form.Timer2->interval(), 2000);
    EXPECT_EQ(form.Label10->Caption(), kAbout);
    const std::vector<std::pair<int16_t, QString>> ticks{
        {-1, kAbout}, {0, kClickMe}, {-1, kAbout}, {0, kClickMe}, {-1, kAbout}};
    for (const auto& [blink, caption] : ticks) {
        form.Timer2_Timer(); // 2 s, 4 s, 6 s, ...
        EXPECT_EQ(form.AboutBlink, blink);
        EXPECT_EQ(form.Label10->Caption(), caption);
        EXPECT_EQ(form.Label10->size(), size);
    }
}

struct PlatformCase {
    const char* name;
    const char* platform;
    bool translucent;
};

class FadePlatform : public ::testing::TestWithParam<PlatformCase> {};

TEST_P(FadePlatform, DecidesWhetherTheWindowCanFade) {
    EXPECT_EQ(fadeSupportedOn(QString::fromLatin1(GetParam().platform)), GetParam().translucent);
}

INSTANTIATE_TEST_SUITE_P(Names, FadePlatform,
                         ::testing::Values(PlatformCase{"x11", "xcb", true},
                                           PlatformCase{"windows", "windows", true},
                                           PlatformCase{"macos", "cocoa", true},
                                           PlatformCase{"offscreen", "offscreen", false},
                                           PlatformCase{"minimal", "minimal", false},
                                           PlatformCase{"wayland", "wayland", false},
                                           PlatformCase{"framebuffer", "linuxfb", false},
                                           PlatformCase{"vnc", "vnc", false}),
                         velmoran::test::CaseName());

TEST_F(AboutWindow, LooksAsDesigned) {
    click();
    Form2* w = form.aboutWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), kAbout);
    EXPECT_EQ(w->size(), QSize(350, 235)); // the picture; the title bar comes on top
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(w->parentWidget(), nullptr); // its own top-level window
    EXPECT_FALSE(w->isModal());
    EXPECT_EQ(w->frameGeometry().center(), w->screen()->availableGeometry().center());
    EXPECT_EQ(w->windowIcon().pixmap(32).toImage(), form.windowIcon().pixmap(32).toImage());

    EXPECT_EQ(w->Image1->geometry(), QRect(0, 0, 350, 235));
    EXPECT_EQ(w->Image1->pixmap().size(), QSize(350, 235));

    struct Expect {
        QLabel* label;
        int left, top, width, height;
        QColor colour;
    };
    const QColor text = w->palette().color(QPalette::WindowText);
    for (const Expect& e : {Expect{w->Label2, 2400, 1200, 2535, 255, QColor(128, 128, 128)},
                            Expect{w->Label3, 2400, 1560, 2175, 255, text},
                            Expect{w->Label4, 2400, 1920, 2055, 255, text},
                            Expect{w->Label5, 2400, 2280, 1815, 255, text}}) {
        EXPECT_EQ(e.label->geometry(), twipsRect(e.left, e.top, e.width, e.height));
        EXPECT_EQ(e.label->palette().color(QPalette::WindowText), e.colour);
        EXPECT_FALSE(e.label->autoFillBackground());
        EXPECT_FALSE(e.label->text().isEmpty());
        EXPECT_LE(e.label->sizeHint().width(), e.label->width()) << e.label->text().toStdString();
    }
    EXPECT_EQ(w->Label5->text(), QString::fromUtf8("欢迎交流指导"));
    EXPECT_EQ(w->Label1->text(), QStringLiteral("Velmoran Ver1.0"));
    EXPECT_EQ(w->Label1->pos(), twipsRect(1920, 840, 0, 0).topLeft());
    EXPECT_EQ(w->Label1->size(), w->Label1->sizeHint()); // sized to its text
    EXPECT_EQ(w->Label1->font().weight(), QFont::Bold);
    EXPECT_EQ(w->Label1->palette().color(QPalette::WindowText), QColor(128, 128, 255));
}

TEST_F(AboutWindow, FadesIn_1_5_10_Up_To_255_ThenStopsItsTimer) {
    FadeOverride fade(true);
    std::vector<int> alphas;
    // Record from the first value on: connect as soon as the window exists, before its first tick.
    click();
    Form2* w = form.aboutWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->FadeSupported, 1);
    EXPECT_NEAR(w->windowOpacity(), 1.0 / 255, 1.0 / 255);
    alphas.push_back(qRound(w->windowOpacity() * 255));
    QObject::connect(w, &Form2::opacitySet, w, [&alphas](int a) { alphas.push_back(a); });
    EXPECT_TRUE(w->Timer1->isActive());
    EXPECT_EQ(w->Timer1->interval(), 10);
    ASSERT_TRUE(QTest::qWaitFor([w] { return !w->Timer1->isActive(); }, 5000));

    std::vector<int> expected{1};
    for (int a = 5; a <= 255; a += 5) {
        expected.push_back(a);
    }
    EXPECT_EQ(alphas, expected); // 51 steps after the first value
    EXPECT_DOUBLE_EQ(w->windowOpacity(), 1.0);
    EXPECT_EQ(w->FadeLevel, 255);
}

TEST_F(AboutWindow, UnsupportedIsOpaqueAtOnceAndTheTimerTicksWithoutEffect) {
    FadeOverride fade(false);
    click();
    Form2* w = form.aboutWindow();
    ASSERT_NE(w, nullptr);
    QSignalSpy opacity(w, &Form2::opacitySet);
    QSignalSpy ticks(w->Timer1, &QTimer::timeout);
    EXPECT_EQ(w->FadeSupported, 0);
    EXPECT_DOUBLE_EQ(w->windowOpacity(), 1.0);
    ASSERT_TRUE(QTest::qWaitFor([&ticks] { return ticks.count() >= 60; }, 5000));
    EXPECT_TRUE(w->Timer1->isActive());
    EXPECT_EQ(opacity.count(), 0);
    EXPECT_DOUBLE_EQ(w->windowOpacity(), 1.0);
    EXPECT_EQ(w->FadeLevel, 0);
}

TEST_F(AboutWindow, OffscreenPlatformCannotFade) {
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    click();
    EXPECT_EQ(form.aboutWindow()->FadeSupported, 0);
    EXPECT_DOUBLE_EQ(form.aboutWindow()->windowOpacity(), 1.0);
}

TEST_F(AboutWindow, ClickWhileOpenOnlyRaisesTheSameWindow) {
    FadeOverride fade(true);
    click();
    Form2* first = form.aboutWindow();
    ASSERT_TRUE(QTest::qWaitFor([first] { return first->FadeLevel >= 50; }, 5000));
    QSignalSpy opacity(first, &Form2::opacitySet);
    form.Timer2_Timer();
    form.Timer2_Timer(); // "Click Me!!": the click does not depend on the phase
    for (int i = 0; i < 5; ++i) {
        click();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(form.aboutWindow(), first);
    EXPECT_EQ(openAboutWindows(), std::vector<Form2*>{first});
    for (const QVariantList& args : opacity) {
        EXPECT_GT(args.at(0).toInt(), 50); // no new fade from 1
    }
}

TEST_F(AboutWindow, CloseAndReopenLoadsAgainAndFadesFromOne) {
    FadeOverride fade(true);
    click();
    Form2* first = form.aboutWindow();
    ASSERT_TRUE(QTest::qWaitFor([first] { return !first->Timer1->isActive(); }, 5000));
    first->close();
    flushDeletes();
    EXPECT_EQ(form.aboutWindow(), nullptr); // closing destroyed it
    EXPECT_TRUE(openAboutWindows().empty());
    EXPECT_TRUE(form.isEnabled());

    click();
    Form2* again = form.aboutWindow();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->FadeLevel, 0);
    EXPECT_NEAR(again->windowOpacity(), 1.0 / 255, 1.0 / 255);
    EXPECT_TRUE(again->Timer1->isActive());
    EXPECT_EQ(openAboutWindows(), std::vector<Form2*>{again});
}

TEST_F(AboutWindow, ClickRightAfterCloseOpensANewWindow) {
    click();
    Form2* first = form.aboutWindow();
    first->close(); // its deletion is still pending
    click();
    EXPECT_EQ(openAboutWindows().size(), 1u);
    flushDeletes();
    ASSERT_NE(form.aboutWindow(), nullptr);
    EXPECT_TRUE(form.aboutWindow()->isVisible());
}

TEST_F(AboutWindow, MainWindowTimersKeepRunningWhileItIsOpen) {
    FadeOverride fade(true);
    form.Timer2->setInterval(20); // the blink timer, sped up for the test
    click();
    ASSERT_NE(form.aboutWindow(), nullptr);
    QSignalSpy blink(form.Timer2, &QTimer::timeout);
    ASSERT_TRUE(QTest::qWaitFor([&blink] { return blink.count() >= 3; }, 5000));
    EXPECT_TRUE(form.aboutWindow()->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(AboutWindow, ClosingTheMainWindowClosesIt) {
    click();
    QPointer<Form2> about = form.aboutWindow();
    form.close();
    flushDeletes();
    EXPECT_TRUE(about.isNull() || !about->isVisible());
}

TEST_F(AboutWindow, WritesAScreenshot) {
    click();
    Form2* w = form.aboutWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    QDir().mkpath(QStringLiteral(VELMORAN_SCREENSHOT_DIR));
    const QString file = QStringLiteral(VELMORAN_SCREENSHOT_DIR "/about-window.png");
    const QImage shot = w->grab().toImage();
    EXPECT_EQ(shot.size() / shot.devicePixelRatio(), QSize(350, 235));
    EXPECT_TRUE(shot.save(file));
}

} // namespace
