#pragma once

// Form1: the main window, where the controls and their handlers meet. The state of a run lives
// in the capture store it derives from; the rules with numbers live in the subsystem folders.

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>

#include "about/form2.h"
#include "acquisition/mscomm.h"
#include "app/capture_store.h"

class QComboBox;
class QFrame;
class QPushButton;

namespace velmoran {

class CaptureSession;
class CommonDialog;

class LineControl;
class PictureBox;
class Surface;
class VbScrollBar;
class VbLabel;

class Form1 : public QWidget, public CaptureStore {
    Q_OBJECT
public:
    // `portMap` turns a port number into a device path (default: the platform's mapping).
    explicit Form1(PortMap portMap = platformPortMap(), QWidget* parent = nullptr);
    ~Form1() override;

    // Controls, by their design names.
    PictureBox* Picture1 = nullptr;
    VbScrollBar* HScroll1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command6 = nullptr;
    QFrame* Picture2 = nullptr;
    VbLabel* Label1 = nullptr;
    VbLabel* Label2 = nullptr;
    VbLabel* Label3 = nullptr;
    VbLabel* Label4 = nullptr;
    VbLabel* Label6 = nullptr;
    VbLabel* Label7 = nullptr;
    VbLabel* Label8 = nullptr;
    VbLabel* Label9 = nullptr;
    VbLabel* Label10 = nullptr;
    VbLabel* Label11 = nullptr;
    VbLabel* Label12 = nullptr;
    QComboBox* Combo1 = nullptr;
    QComboBox* Combo2 = nullptr;
    LineControl* Line1 = nullptr;
    LineControl* Line2 = nullptr;
    LineControl* Line3 = nullptr;
    LineControl* Line4 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    MSComm* MSComm1 = nullptr;
    CommonDialog* CommonDialog1 = nullptr;
    // The capture: whether one runs, its channel, its blocks (the buttons only show it).
    CaptureSession* Session = nullptr;

    // The About window, once created.
    Form2* aboutWindow() const { return form2_; }

    // Inner width of Picture2 in pixels (its scale is the pixel).
    int Picture2ScaleWidth() const;

    // Methods of the window.
    void Init_com();
    void Draw_Square_Wave(int32_t Start, int16_t Y, int16_t Width_per_20us, int16_t Channel);
    void PrintWord(float x, int16_t Y, const QString& toprint);
    // The three rows from start byte `start`, over what the surface shows.
    void drawRows(int32_t start);
    // Cls, then the three rows from start byte `start`.
    void redrawRows(int32_t start);
    // Drawn after the three rows at every drawing of them, when set: the frames marked on the
    // chart. Unset, the rows are all there is.
    using RowsOverlay = std::function<void(Surface& surface, int64_t firstSample)>;
    void setRowsOverlay(RowsOverlay overlay) { rowsOverlay_ = std::move(overlay); }
    // Cls, then the rows from where they were last drawn (and the overlay, if set).
    void redrawLastRows();

    // What the window's neighbours use instead of its controls.
    // The chart's left edge and its width, in samples.
    int64_t visibleFirstSample() const;
    int64_t visibleSampleCount() const;
    // The chart's width, in twips.
    double chartWidthTwips() const;
    // Scrolls the chart to scroll value `value` (kept within the scroll bar's range), as a move
    // of HScroll1 does; and the largest value.
    void scrollTo(int value);
    int scrollValue() const;
    int lastScrollValue() const;
    // Sets the zoom (twips per sample) and draws the rows once, as 放大 / 缩少 do.
    void setZoom(int16_t bitWidth);
    // Whether a file may be loaded or saved now (not during a capture).
    bool canLoad() const;

    // Loads `path` as 载入 does once a file is chosen (the same message on failure); the file
    // dialogs then start from it. Returns whether it was read.
    bool loadFile(const QString& path);

    // Asked before a save replaces an existing file (true: replace). Unset, a save replaces
    // without asking; the program's main window sets it.
    using OverwriteQuestion = std::function<bool(const QString& path)>;
    void setOverwriteQuestion(OverwriteQuestion question) {
        overwriteQuestion_ = std::move(question);
    }

public Q_SLOTS:
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command5_Click();
    void Command6_Click();
    void HScroll1_Change();
    void MSComm1_OnComm();
    void MSComm1_PortLost(const QString& reason);
    void Picture1_MouseDown(int Button, int Shift, float X, float Y);
    void Picture1_MouseMove(int Button, int Shift, float X, float Y);
    void Timer1_Timer();
    void Timer2_Timer();
    void Label10_Click();

Q_SIGNALS:
    // Raised at the end of a capture, normal or not (tests and the demo wait for it).
    void captureEnded();
    // Raised after a file has been loaded into, or saved from, the three buffers.
    void fileLoaded(const QString& path);
    void fileSaved(const QString& path);
    // Raised when 开始采集 has opened the port and a capture runs.
    void captureStarted();
    // Raised after the chart was scrolled.
    void scrolled();
    // Raised after 放大 or 缩少 has changed the zoom.
    void zoomChanged();
    // Raised after a block of a capture has been stored (RecvCount counts it).
    void blockStored();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void Form_Load();
    void Form_Unload();
    // Back to Idle after a force-stop or a lost line, with `status` in the status line.
    void endCapture(const QString& status);
    // The texts and timers of the capture session's steps.
    void captureStartedHere();
    void blockStoredHere(int32_t storedBytes);
    void captureCompletedHere();
    // The cursor's time again, after the chart moved under it (by keys, a load, a zoom).
    void refreshCursorTime();
    // Sets a timer's interval the way the old timer did: 0 stops it.
    static void setInterval(QTimer* timer, int ms);

    QPointer<Form2> form2_;
    OverwriteQuestion overwriteQuestion_;
    RowsOverlay rowsOverlay_;
    int32_t lastRowsStart_ = 0;
    bool cursorPlaced_ = false; // the pointer has placed the cursor on the chart
};

} // namespace velmoran
