#include <QApplication>
#include <QDir>
#include <QTest>
#include <gtest/gtest.h>

#include "support/case_name.h"

#include <memory>
#include <random>
#include <sstream>

#include "app/form1.h"
#include "app/vb_label.h"
#include "display/measure.h"
#include "display/picture_box.h"
#include "display/raster_surface.h"
#include "display/square_wave.h"

using namespace velmoran;

namespace {

// Picture1's client area in logical pixels and its outer size in twips.
const QSize kClient(677, 341);
constexpr float kOuterWidth = 10215.0f;
constexpr float kOuterHeight = 5175.0f;

std::unique_ptr<RasterSurface> surfaceAt(double dpr, LineRasteriser rasteriser,
                                         QSize client = kClient) {
    auto s = std::make_unique<RasterSurface>();
    s->setFont(QApplication::font());
    s->resize(client, dpr, kOuterWidth, kOuterHeight);
    s->setBackColor(qRgb(255, 253, 242));
    s->setRasteriser(rasteriser);
    return s;
}

// First differing device pixel, as text; empty when the images are the same.
std::string firstDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) {
        return "sizes differ";
    }
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                std::ostringstream os;
                os << "pixel (" << x << ", " << y << "): runs " << std::hex << a.pixel(x, y)
                   << " painter " << b.pixel(x, y);
                return os.str();
            }
        }
    }
    return {};
}

TEST(RasterSurface, RunsPaintTheSamePixelsAsQPainterForAnySegment) {
    // A small surface and segments that start, end or lie wholly outside it, in every
    // direction, of zero length, slanted, and overwriting one another in two colours.
    for (double dpr : {1.0, 1.25, 1.5, 2.0}) {
        const QSize client(60, 40);
        auto runs = surfaceAt(dpr, LineRasteriser::Runs, client);
        auto painter = surfaceAt(dpr, LineRasteriser::Painter, client);
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> coord(-300.0f, 1200.0f);
        for (int i = 0; i < 4000; ++i) {
            float x1 = coord(rng), y1 = coord(rng), x2 = coord(rng), y2 = coord(rng);
            switch (i % 4) {
            case 0:
                y2 = y1;
                break;
            case 1:
                x2 = x1;
                break;
            case 2:
                x2 = x1;
                y2 = y1;
                break;
            default:
                break;
            }
            const QRgb colour = i % 2 ? kWaveColour : kAxisColour;
            runs->Line(x1, y1, x2, y2, colour);
            painter->Line(x1, y1, x2, y2, colour);
            ASSERT_EQ(firstDifference(runs->image(), painter->image()), "")
                << "dpr " << dpr << ", segment (" << x1 << ", " << y1 << ")-(" << x2 << ", " << y2
                << ")";
        }
    }
}

void fillPattern(ChannelBuffer& b, const std::string& pattern, unsigned seed) {
    std::mt19937 rng(seed);
    for (size_t i = 0; i < b.size(); ++i) {
        if (pattern == "0x55") {
            b[i] = 0x55;
        } else if (pattern == "random") {
            b[i] = static_cast<uint8_t>(rng());
        } else {
            b[i] = (i / 3) % 2 ? 0xFF : 0x0F;
        }
    }
}

void threeRowRedraw(Surface& s, const std::array<ChannelBuffer, 3>& buffers, int32_t start,
                    int16_t bitWidth) {
    s.Cls();
    for (size_t ch = 0; ch < 3; ++ch) {
        Draw_Square_Wave(s, buffers[ch], 40.1474f, start, kRowBaseline[ch], bitWidth);
    }
    // A finished measurement on top: markers, the slanted arrowheads and the interval.
    drawMarker(s, 1005);
    drawMarker(s, 2505);
    drawArrow(s, 1005, 2505, 1500);
    PrintWord(s, 1755, 1500, QStringLiteral(" 6.022ms"));
}

struct RedrawCase {
    std::string name;
    double dpr;
    int16_t bitWidth;
    std::string pattern;
};

class SameRedrawPixels : public ::testing::TestWithParam<RedrawCase> {};

TEST_P(SameRedrawPixels, RunsMatchOneQPainterPerSegment) {
    const RedrawCase& c = GetParam();
    auto buffers = std::make_unique<std::array<ChannelBuffer, 3>>();
    for (size_t ch = 0; ch < 3; ++ch) {
        fillPattern((*buffers)[ch], c.pattern, static_cast<unsigned>(ch + 1));
    }
    auto runs = surfaceAt(c.dpr, LineRasteriser::Runs);
    auto painter = surfaceAt(c.dpr, LineRasteriser::Painter);
    const int32_t start = 2 * 1234;
    threeRowRedraw(*runs, *buffers, start, c.bitWidth);
    threeRowRedraw(*painter, *buffers, start, c.bitWidth);
    EXPECT_EQ(firstDifference(runs->image(), painter->image()), "");
}

std::vector<RedrawCase> redrawCases() {
    std::vector<RedrawCase> cases;
    for (int16_t w :
         {2,   4,   5,   8,    10,   16,   20,   32,   40,   64,   80,    128,   160,  256,
          320, 512, 640, 1024, 1280, 2048, 2560, 4096, 5120, 8192, 10240, 16384, 20480}) {
        cases.push_back({"dpr1_w" + std::to_string(w) + "_random", 1.0, w, "random"});
    }
    for (const auto& [dpr, tag] : {std::pair{1.0, "1"}, {1.5, "1_5"}, {2.0, "2"}}) {
        for (int16_t w : {2, 5, 10, 80, 20480}) {
            for (const char* pattern : {"0x55", "bursts"}) {
                cases.push_back(
                    {std::string("dpr") + tag + "_w" + std::to_string(w) + "_" + pattern, dpr, w,
                     pattern});
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Zooms, SameRedrawPixels, ::testing::ValuesIn(redrawCases()),
                         velmoran::test::CaseName());

TEST(Picture1, BothRasterisersDrawTheSameWindow) {
    Form1 form([](int) { return QString(); });
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    fillPattern(form.ChannelData1, "0x55", 1);
    fillPattern(form.ChannelData2, "random", 2);
    fillPattern(form.ChannelData3, "bursts", 3);
    for (int press = 0; press < 2; ++press) {
        form.Command6_Click(); // to BitWidth 2, the densest drawing
    }
    form.Picture1->setRasteriser(LineRasteriser::Painter);
    form.redrawRows(2 * form.ViewStart);
    const QImage painted = form.Picture1->image().copy();
    form.Picture1->setRasteriser(LineRasteriser::Runs);
    form.redrawRows(2 * form.ViewStart);
    EXPECT_EQ(firstDifference(form.Picture1->image(), painted), "");
    EXPECT_EQ(form.Picture1->image().size(),
              form.Picture1->contentsRect().size() * form.Picture1->devicePixelRatioF());
}

TEST(Picture1, ChildControlsSurviveAClear) {
    Form1 form([](int) { return QString(); });
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.redrawRows(0);
    form.Picture1->Cls();
    EXPECT_TRUE(form.Label7->isVisible());
    EXPECT_EQ(form.Label7->parentWidget(), form.Picture1);
    EXPECT_EQ(form.Picture1->CurrentX(), 0.0f);
    EXPECT_EQ(form.Picture1->CurrentY(), 0.0f);
    const QImage& img = form.Picture1->image();
    EXPECT_EQ(img.pixel(img.width() / 2, img.height() / 2), qRgb(255, 253, 242));
}

TEST(Picture1, ScreenshotOfThreePatterns) {
    Form1 form([](int) { return QString(); });
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    std::mt19937 rng(3);
    for (size_t i = 0; i < form.ChannelData1.size(); ++i) {
        form.ChannelData1[i] = (i / 2) % 2 ? 0x00 : 0xFF;                         // 32-sample clock
        form.ChannelData2[i] = (i % 12 < 5) ? static_cast<uint8_t>(rng()) : 0xFF; // serial bursts
        form.ChannelData3[i] = (i % 40 < 3) ? 0x0F : 0x00;                        // short pulses
    }
    form.redrawRows(0);
    QApplication::processEvents();
    const QString dir = QStringLiteral(VELMORAN_SCREENSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString suffix = form.devicePixelRatioF() > 1 ? QStringLiteral("_hidpi") : QString();
    ASSERT_TRUE(form.grab().toImage().save(dir + "/display_three_patterns" + suffix + ".png"));
}

} // namespace
