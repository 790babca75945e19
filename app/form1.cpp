#include "app/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QMouseEvent>
#include <QPushButton>

#include "about/form2.h"
#include "acquisition/capture_session.h"
#include "acquisition/mscomm.h"
#include "app/application.h"
#include "app/vb_label.h"
#include "core/number_rules.h"
#include "core/texts.h"
#include "core/twips.h"
#include "display/line_control.h"
#include "display/picture_box.h"
#include "display/scroll_math.h"
#include "display/vb_scroll_bar.h"
#include "files/common_dialog.h"

namespace velmoran {

namespace {

// Window design, in twips.
constexpr int kClientWidth = 10680;
constexpr int kClientHeight = 7185;
constexpr QRgb kWindowBack = qRgb(212, 208, 200); // the classic active-border grey
constexpr QRgb kWindowText = qRgb(0, 0, 0);
constexpr QRgb kPicture1Back = qRgb(255, 253, 242);
constexpr QRgb kPicture2Back = qRgb(255, 255, 242);
constexpr QRgb kProgressColour = qRgb(199, 240, 254);
constexpr int kSeparatorRight = 10200;
constexpr int kRow12Separator = 1320;
constexpr int kRow23Separator = 2640;
constexpr int kCursorTop = -240;
constexpr int kCursorBottom = 5160;
constexpr int kProgressLineBottom = 240;

void place(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(twipsRect(left, top, width, height));
}

} // namespace

Form1::Form1(PortMap portMap, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    MSComm1 = new MSComm(std::move(portMap), this);
    MSComm1->setObjectName(QStringLiteral("MSComm1"));
    MSComm1->setInBufferSize(kInBufferSize);
    Session = new CaptureSession(MSComm1, this);
    buildControls();
    Form_Load();
}

Form1::~Form1() {
    if (form2_) {
        delete form2_;
    }
}

void Form1::buildControls() {
    setWindowTitle(texts::q(texts::kTitle));
    setWindowIcon(applicationIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(twipsToPixels(kClientWidth), twipsToPixels(kClientHeight));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(kWindowBack));
    setPalette(pal);
    setAutoFillBackground(true);

    auto label = [this](QWidget* parent, const char* name, const QString& text, bool autoSize,
                        int left, int top, int width, int height) {
        auto* l = new VbLabel(text, autoSize, parent);
        l->setObjectName(QString::fromLatin1(name));
        place(l, left, top, width, height);
        if (autoSize) {
            l->adjustSize();
        }
        return l;
    };
    auto button = [this](const char* name, const char* caption, int left, int top, int width,
                         int height) {
        auto* b = new QPushButton(texts::q(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        place(b, left, top, width, height);
        return b;
    };
    auto combo = [this](const char* name, const QStringList& items, int left, int top, int width,
                        int height) {
        auto* c = new QComboBox(this);
        c->setObjectName(QString::fromLatin1(name));
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        c->addItems(items);
        c->setCurrentIndex(0);
        c->setEditText(items.front());
        place(c, left, top, width, height);
        return c;
    };

    Picture1 = new PictureBox(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    place(Picture1, 240, 120, 10215, 5175);
    Picture1->setBackColor(kPicture1Back);

    HScroll1 = new VbScrollBar(this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    place(HScroll1, 240, 5400, 10215, 255);
    HScroll1->setRange(0, 31740);
    HScroll1->setValue(0);
    HScroll1->setFocusPolicy(Qt::StrongFocus);

    Command5 = button("Command5", texts::kZoomIn, 840, 5880, 975, 375);
    Command6 = button("Command6", texts::kZoomOut, 1920, 5880, 855, 375);
    Command2 = button("Command2", texts::kStartCapture, 3000, 5880, 1455, 375);

    Picture2 = new QFrame(this);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Picture2->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    place(Picture2, 4800, 5880, 3495, 255);
    QPalette p2 = Picture2->palette();
    p2.setColor(QPalette::Window, QColor(kPicture2Back));
    Picture2->setPalette(p2);
    Picture2->setAutoFillBackground(true);
    Picture2->setFocusPolicy(Qt::TabFocus);

    Label4 = label(this, "Label4", texts::q(texts::kRateCaption), true, 8400, 5880, 1080, 180);
    Label2 = label(this, "Label2", texts::q(texts::kRateInitial), true, 9480, 5880, 540, 180);
    Label1 = label(this, "Label1", texts::q(texts::kPortNotOpen), true, 4800, 6240, 2880, 180);
    Label6 = label(this, "Label6", texts::q(texts::kChannelCaption), false, 840, 6360, 1335, 255);
    Combo1 = combo("Combo1", {"1", "2", "3"}, 2280, 6360, 2055, 300);
    Command1 = button("Command1", texts::kLoad, 4920, 6600, 1215, 375);
    Command3 = button("Command3", texts::kSave, 6480, 6600, 1215, 375);
    Label11 = label(this, "Label11", texts::q(texts::kPortCaption), false, 840, 6720, 1095, 375);
    Combo2 = combo("Combo2", {"1", "2"}, 2280, 6720, 2055, 300);
    Label10 = label(this, "Label10", texts::q(texts::kAbout), false, 9240, 6720, 975, 255);
    Label10->setCursor(Qt::PointingHandCursor);
    Label10->installEventFilter(this);

    // Inside Picture1: row names, separators, the cursor line and its readout.
    Label7 = label(Picture1, "Label7", texts::q(texts::kChannelOne), false, 120, 240, 855, 255);
    Label8 = label(Picture1, "Label8", texts::q(texts::kChannelTwo), false, 120, 1560, 855, 255);
    Label9 = label(Picture1, "Label9", texts::q(texts::kChannelThree), false, 120, 2880, 855, 255);
    for (VbLabel* l : {Label7, Label8, Label9}) {
        QPalette lp = l->palette();
        lp.setColor(QPalette::WindowText, QColor(kWindowText));
        l->setPalette(lp);
        l->move(l->pos() + Picture1->contentsRect().topLeft());
    }
    Line2 = new LineControl(Picture1, kTwipsPerPixel);
    Line2->setObjectName(QStringLiteral("Line2"));
    Line2->setPoints(0, kRow12Separator, kSeparatorRight, kRow12Separator);
    Line2->setBorderColor(kWindowText);
    Line3 = new LineControl(Picture1, kTwipsPerPixel);
    Line3->setObjectName(QStringLiteral("Line3"));
    Line3->setPoints(0, kRow23Separator, kSeparatorRight, kRow23Separator);
    Line3->setBorderColor(kWindowText);
    Line1 = new LineControl(Picture1, kTwipsPerPixel);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setPoints(0, kCursorTop, 0, kCursorBottom);
    Line1->setBorderColor(kWindowText);
    Label3 = label(Picture1, "Label3", QStringLiteral("Label3"), true, 9960, 5160, 540, 180);
    Label3->move(Label3->pos() + Picture1->contentsRect().topLeft());

    // Inside Picture2 (whose scale is the pixel): the progress line and the percentage.
    Line4 = new LineControl(Picture2, 1.0);
    Line4->setObjectName(QStringLiteral("Line4"));
    Line4->setPoints(0, 0, 0, kProgressLineBottom);
    Line4->setBorderColor(kProgressColour);
    Label12 =
        label(Picture2, "Label12", texts::q(texts::kPercentInitial), false, 1680, 0, 495, 255);
    Label12->move(Label12->pos() + Picture2->contentsRect().topLeft());
    Label12->raise();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->start(kBlinkIntervalMs);

    CommonDialog1 = new CommonDialog(this);

    setTabOrder(Picture1, Command2);
    setTabOrder(Command2, HScroll1);
    setTabOrder(HScroll1, Command5);
    setTabOrder(Command5, Command6);
    setTabOrder(Command6, Combo1);
    setTabOrder(Combo1, Combo2);
    setTabOrder(Combo2, Command1);
    setTabOrder(Command1, Command3);
    setTabOrder(Command3, Picture2);
    Picture1->setFocus();

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(HScroll1, &VbScrollBar::Change, this, &Form1::HScroll1_Change);
    connect(MSComm1, &MSComm::OnComm, this, &Form1::MSComm1_OnComm);
    connect(Session, &CaptureSession::started, this, &Form1::captureStartedHere);
    connect(Session, &CaptureSession::blockStored, this,
            [this](int, int32_t stored) { blockStoredHere(stored); });
    connect(Session, &CaptureSession::completed, this, &Form1::captureCompletedHere);
    connect(Session, &CaptureSession::stopped, this,
            [this] { endCapture(texts::q(texts::kForceStopped)); });
    connect(Session, &CaptureSession::lineLost, this,
            [this] { endCapture(texts::q(texts::kLineLost)); });
    connect(MSComm1, &MSComm::PortLost, this, &Form1::MSComm1_PortLost);
    connect(Picture1, &PictureBox::MouseDown, this, &Form1::Picture1_MouseDown);
    connect(Picture1, &PictureBox::MouseMove, this, &Form1::Picture1_MouseMove);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    // The monitor's tick wakes the window five times a second while a capture runs: the
    // serial control's timed reads ride on it.
    MSComm1->setCompanionTimer(Timer1);
    connect(Timer2, &QTimer::timeout, this, &Form1::Timer2_Timer);
}

void Form1::Form_Load() {
    RecvCount = 0;
    BitWidth = kDefaultBitWidth;
    Init_com();
    SamplePeriod = kSamplePeriodUs;
    HScroll1->setMax(scrollMaximum(Picture1->Width(), BitWidth));
}

void Form1::Init_com() {
    // CInt fails before anything is set when the number does not fit 16 bits.
    const int16_t port = vb::CInt(vb::Val(Combo2->currentText().toStdString()));
    MSComm1->setCommPort(port);
    MSComm1->setRThreshold(kBlockBytes);
    MSComm1->setSThreshold(0);
    MSComm1->setSettings(QStringLiteral("57600,n,8,1"));
    MSComm1->setInBufferCount(0);
    MSComm1->setOutBufferCount(0);
    MSComm1->setInputMode(MSComm::comInputModeBinary);
    MSComm1->setInputLen(kBlockBytes);
}

int Form1::Picture2ScaleWidth() const {
    return Picture2->contentsRect().width();
}

void Form1::setInterval(QTimer* timer, int ms) {
    if (ms == 0) {
        timer->stop();
        timer->setInterval(0);
    } else {
        timer->start(ms);
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label10 && event->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton && Label10->rect().contains(me->position().toPoint())) {
            Label10_Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void Form1::Form_Unload() {
    // Ends the whole program: a running capture is abandoned and nothing is saved.
    setInterval(Timer1, 0);
    Session->abandon();
    if (form2_) {
        form2_->close();
    }
    QCoreApplication::quit();
}

} // namespace velmoran
