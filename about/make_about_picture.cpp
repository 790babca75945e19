// Draws the picture of the About window (350 x 235 pixels, JPEG): an infrared remote on the
// left whose signal arrives as two square-wave rows, with a calm panel in the middle where the
// window's labels sit. Usage: velmoran_about_picture <output.jpg>

#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <vector>

namespace {

constexpr int kWidth = 350;
constexpr int kHeight = 235;
constexpr int kJpegQuality = 92;

// One row of the chart: levels as (length in pixels, high?) from left to right.
struct Pulse {
    int length;
    bool high;
};

void drawRow(QPainter& p, int left, int right, int highY, int lowY, const std::vector<Pulse>& row,
             const QColor& colour) {
    // Time axis with ticks, as the main window draws it.
    p.setPen(QPen(QColor(200, 200, 255), 1));
    p.drawLine(left, lowY + 8, right, lowY + 8);
    for (int x = left; x <= right; x += 10) {
        p.drawLine(x, lowY + 4, x, lowY + 8);
    }
    QPainterPath wave;
    int x = left;
    bool level = false;
    wave.moveTo(x, lowY);
    for (const Pulse& pulse : row) {
        if (pulse.high != level) {
            wave.lineTo(x, pulse.high ? highY : lowY);
            level = pulse.high;
        }
        x = std::min(right, x + pulse.length);
        wave.lineTo(x, level ? highY : lowY);
        if (x >= right) {
            break;
        }
    }
    p.setPen(QPen(colour, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
}

void drawRemote(QPainter& p) {
    const QRectF body(28, 50, 62, 166);
    QLinearGradient shade(body.topLeft(), body.topRight());
    shade.setColorAt(0, QColor(70, 78, 94));
    shade.setColorAt(0.5, QColor(50, 56, 70));
    shade.setColorAt(1, QColor(36, 40, 52));
    p.setPen(QPen(QColor(28, 30, 38), 1.5));
    p.setBrush(shade);
    p.drawRoundedRect(body, 16, 16);

    // The infrared diode at the front and its light going out towards the rows.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 20, 30));
    p.drawEllipse(QPointF(59, 58), 6, 5);
    p.setBrush(QColor(230, 120, 120));
    p.drawEllipse(QPointF(57, 56), 2, 1.6);
    for (int i = 0; i < 4; ++i) {
        const double r = 12 + i * 9;
        p.setPen(QPen(QColor(230, 70, 70, 200 - i * 40), 2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(59 - r, 58 - r, 2 * r, 2 * r), 20 * 16, 60 * 16);
    }

    // Power key, direction pad and a keypad.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(214, 64, 64));
    p.drawEllipse(QPointF(43, 80), 6, 6);
    p.setBrush(QColor(150, 160, 178));
    p.drawEllipse(QPointF(59, 112), 17, 17);
    p.setBrush(QColor(60, 66, 82));
    p.drawEllipse(QPointF(59, 112), 7, 7);
    p.setBrush(QColor(196, 204, 216));
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) {
            p.drawRoundedRect(QRectF(39 + c * 15, 142 + r * 16, 11, 9), 3, 3);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.jpg>\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient paper(0, 0, 0, kHeight);
    paper.setColorAt(0, QColor(255, 253, 242));
    paper.setColorAt(1, QColor(232, 240, 252));
    p.fillRect(image.rect(), paper);
    p.setPen(QPen(QColor(226, 230, 240), 1));
    for (int x = 0; x < kWidth; x += 25) {
        p.drawLine(x, 0, x, kHeight);
    }
    for (int y = 0; y < kHeight; y += 25) {
        p.drawLine(0, y, kWidth, y);
    }

    // An infrared frame: a long leader burst, a pause, then short and long bits.
    const std::vector<Pulse> leader{
        {8, false}, {36, true}, {18, false}, {5, true},   {5, false},  {5, true},   {14, false},
        {5, true},  {5, false}, {5, true},   {14, false}, {5, true},   {14, false}, {5, true},
        {5, false}, {5, true},  {5, false},  {5, true},   {14, false}, {5, true},   {14, false},
        {5, true},  {5, false}, {5, true},   {30, false}};
    const std::vector<Pulse> answer{{20, false}, {10, true}, {10, false}, {10, true},
                                    {10, false}, {30, true}, {10, false}, {10, true},
                                    {30, false}, {20, true}, {10, false}, {10, true},
                                    {10, false}, {10, true}, {40, false}};
    drawRow(p, 108, 342, 14, 34, leader, QColor(40, 70, 220));
    drawRow(p, 108, 342, 190, 210, answer, QColor(0, 140, 120));

    // Measurement cursor across both rows, in the colour of the chart's texts.
    p.setPen(QPen(QColor(255, 96, 96), 1, Qt::DashLine));
    p.drawLine(QPointF(300.5, 6), QPointF(300.5, 46));
    p.drawLine(QPointF(300.5, 182), QPointF(300.5, 222));

    // The calm panel behind the labels.
    p.setPen(QPen(QColor(196, 202, 224), 1));
    p.setBrush(QColor(255, 255, 255, 170));
    p.drawRoundedRect(QRectF(116.5, 50.5, 226, 124), 8, 8);

    drawRemote(p);
    p.end();

    if (!image.save(QString::fromLocal8Bit(argv[1]), "JPEG", kJpegQuality)) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
