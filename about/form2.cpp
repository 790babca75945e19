#include "about/form2.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include "about/fade.h"
#include "core/texts.h"
#include "core/twips.h"

// The picture is compiled into this static library; its resources must be registered by hand.
static void initAboutResources() {
    Q_INIT_RESOURCE(about);
}

namespace velmoran {

namespace {

constexpr char kPicture[] = ":/about/about.jpg";
constexpr char kVersionLine[] = "Velmoran Ver1.0";
constexpr char kCreditLine[] = "作者：Velmoran 项目组";
constexpr char kWebLine[] = "velmoran.example.org";
constexpr char kFeedbackLine[] = "反馈请至项目主页留言";
constexpr char kWelcomeLine[] = "欢迎交流指导";
constexpr QRgb kVersionColour = qRgb(128, 128, 255);
constexpr QRgb kCreditColour = qRgb(128, 128, 128);

std::optional<bool> fadeSupportOverride;

QLabel* label(QWidget* parent, const char* name, const char* text, int left, int top, int width,
              int height) {
    auto* l = new QLabel(QString::fromUtf8(text), parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextFormat(Qt::PlainText);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setMargin(0);
    l->setIndent(0);
    l->setAutoFillBackground(false); // the picture shows around the text
    l->setGeometry(twipsRect(left, top, width, height));
    return l;
}

void setTextColour(QLabel* l, QRgb colour) {
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, QColor(colour));
    l->setPalette(p);
}

} // namespace

void Form2::setFadeSupportOverride(std::optional<bool> supported) {
    fadeSupportOverride = supported;
}

Form2::Form2(QWidget* parent) : QWidget(parent) {
    initAboutResources();
    buildControls();
    Form_Load();
}

void Form2::buildControls() {
    setObjectName(QStringLiteral("Form2"));
    setAttribute(Qt::WA_DeleteOnClose); // closing destroys the window; a click loads a new one
    setWindowTitle(QString::fromUtf8(texts::kAbout));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    const QPixmap picture(QString::fromLatin1(kPicture));
    Image1->setPixmap(picture);
    Image1->setScaledContents(false);
    Image1->setFixedSize(picture.size());

    // Above the picture, in the order of the design.
    Label1 = label(this, "Label1", kVersionLine, 1920, 840, 2490, 180);
    QFont bold = font();
    bold.setBold(true);
    Label1->setFont(bold);
    setTextColour(Label1, kVersionColour);
    Label1->adjustSize(); // auto-size: fits its text, keeping Left and Top
    Label2 = label(this, "Label2", kCreditLine, 2400, 1200, 2535, 255);
    setTextColour(Label2, kCreditColour);
    Label3 = label(this, "Label3", kWebLine, 2400, 1560, 2175, 255);
    Label4 = label(this, "Label4", kFeedbackLine, 2400, 1920, 2055, 255);
    Label5 = label(this, "Label5", kWelcomeLine, 2400, 2280, 1815, 255);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &Form2::Timer1_Timer);
}

void Form2::Form_Load() {
    Image1->move(0, 0);
    // The client area is the picture; the window system adds its title bar around it.
    setFixedSize(Image1->size());
    centreOnScreen();
    FadeLevel = 0;
    FadeSupported =
        fadeSupportOverride.value_or(fadeSupportedOn(QGuiApplication::platformName())) ? 1 : 0;
    if (FadeSupported == 1) {
        setOpacity(kFadeStartAlpha); // almost invisible
    }
    Timer1->start(kFadeInterval);
}

void Form2::centreOnScreen() {
    if (const QScreen* s = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
}

void Form2::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!centred_) {
        // Only now does the window system know the frame it puts around the window.
        centreOnScreen();
        centred_ = true;
    }
}

void Form2::Timer1_Timer() {
    if (FadeSupported != 1) {
        return; // opaque from the start; the timer ticks on without effect
    }
    FadeLevel = nextFadeLevel(FadeLevel);
    setOpacity(FadeLevel);
    if (fadeComplete(FadeLevel)) {
        Timer1->stop();
    }
}

void Form2::setOpacity(int16_t alpha) {
    setWindowOpacity(alpha / static_cast<double>(kFadeOpaque));
    Q_EMIT opacitySet(alpha);
}

} // namespace velmoran
