// Signal display widgets for the audio blocks: the waveform of the main window, the audio test
// and the recording player, and the binding of a volume slider to the mixer. GUI thread only;
// blocks from worker threads reach them as queued calls with a copy of the samples.
#pragma once

#include <QColor>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <span>

namespace ostrel::audio {

class WaveformDisplay : public QWidget {
    Q_OBJECT
public:
    static constexpr int kBlockSamples = 1600;
    static constexpr int kTraceCount = 3;
    // Traces 1, 2 and 3: captured voice, played voice, a third signal.
    static inline const QColor kTraceColours[kTraceCount] = {QColor(206, 255, 0),
                                                             QColor(0, 154, 255), Qt::white};

    explicit WaveformDisplay(QWidget* parent = nullptr);

    // One block of 1600 samples into trace 1 (`firstTrace` true) or trace 2, then redraws.
    // A shorter span is padded with silence; extra samples are ignored.
    void showSamples(std::span<const int16_t> samples, bool firstTrace);
    void showThirdTrace(std::span<const int16_t> samples);
    void setStatusText(const QString& text, const QColor& colour = Qt::red);
    // Every point of the three traces to (0, 0), no status text, redraw.
    void clearDisplay();

    // Trace n (1..3) as drawn: min(width, 1600) points.
    std::span<const QPoint> trace(int n) const;
    QString statusText() const { return statusText_; }
    QColor statusColour() const { return statusColour_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void measureIfNeeded();
    void fill(int index, std::span<const int16_t> samples);

    std::array<std::array<QPoint, kBlockSamples>, kTraceCount> traces_{};
    QString statusText_;
    QColor statusColour_ = Qt::red;
    int drawHeight_ = 0;  // widget height - 5
    int drawWidth_ = 0;   // points per trace, at most one per sample
    double step_ = 0;     // samples per pixel column
    bool measure_ = true;
    QSize measuredSize_;
};

}  // namespace ostrel::audio
