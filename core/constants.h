#pragma once

// Numbers shared by the sampler board, the channel buffers, the chart and the capture file.

#include <array>
#include <cstdint>

namespace velmoran {

// The sampler sends 62 blocks of 1,024 bytes, eight samples per byte, earliest sample in bit 7.
inline constexpr int kBlockBytes = 1024;
inline constexpr int kBlocksPerCapture = 62;
inline constexpr int kCaptureBytes = kBlockBytes * kBlocksPerCapture; // 63488
inline constexpr int kSamplesPerByte = 8;
// A capture is complete once the write position passes this (first true at 63,488).
inline constexpr int kCompletionThreshold = 63486;

// Each channel buffer holds one byte more than a capture fills; that byte travels only in files.
inline constexpr int kChannelBytes = kCaptureBytes + 1; // 63489
inline constexpr int kChannelCount = 3;
inline constexpr int kCaptureFileBytes = kChannelBytes * kChannelCount; // 190467

// Time between two samples, in microseconds: the board's true period (11.0592 MHz crystal), and
// the single-precision value the chart and the monitor compute with (40.14739990234375).
inline constexpr double kSamplePeriodUsExact = 40.1474;
inline constexpr float kSamplePeriodUs = static_cast<float>(kSamplePeriodUsExact);
// The same period in units of 100 ps, so that every sample time is a whole number of them.
inline constexpr int64_t kSamplePeriod100ps = 401474;
// Samples in one capture: only the 63,488 captured bytes of a buffer hold samples.
inline constexpr int64_t kCaptureSamples = int64_t{kCaptureBytes} * kSamplesPerByte; // 507904
// The sample rate a viewer is told, rounded to whole hertz (1 / 40.1474 µs = 24,908.2 Hz).
inline constexpr int64_t kSampleRateHz = 24908;

// Zoom: twips per sample.
inline constexpr int16_t kDefaultBitWidth = 10;
inline constexpr int16_t kMinBitWidth = 2;
inline constexpr int16_t kZoomInCeiling = 10240; // doubled once more gives the largest zoom
inline constexpr int16_t kMaxBitWidth = 20480;

// Chart rows: baseline (low level) of channels 1, 2 and 3, in twips.
inline constexpr std::array<int16_t, kChannelCount> kRowBaseline{900, 2200, 3500};
inline constexpr int kHighLevelRise = 200; // high level sits this far above the baseline
inline constexpr int kLabelDrop = 20;      // left-edge time label top, below the baseline
inline constexpr int kTickTop = 100;       // ticks run from baseline + 100 ...
inline constexpr int kAxisDrop = 200;      // ... to the axis at baseline + 200
inline constexpr int kSamplesPerTick = 50;

// Scroll bar: positions count units of two bytes (16 samples).
inline constexpr int kBytesPerScrollUnit = 2;
inline constexpr double kScrollRangeUnits = kCompletionThreshold / 2.0; // 31743
inline constexpr int kScrollSmallChange = 2;
inline constexpr int kScrollLargeChange = 100;

// Serial line and monitor.
inline constexpr int kBaudRate = 57600;
inline constexpr int kInBufferSize = 20000;
inline constexpr int kMonitorIntervalMs = 200;
inline constexpr int kTicksPerSecond = 5;
inline constexpr int kRateFactor = kSamplesPerByte * kTicksPerSecond; // bytes per tick -> bit/s
inline constexpr int kBlinkIntervalMs = 2000;

// Screen geometry: 15 twips per pixel at 96 dpi.
inline constexpr int kTwipsPerPixel = 15;

// The program's organisation and application names: its settings and its data folder
// (QStandardPaths::AppDataLocation, where the remote library lives) are found under them.
inline constexpr char kOrganizationName[] = "Velmoran";
inline constexpr char kApplicationName[] = "Velmoran";

} // namespace velmoran
