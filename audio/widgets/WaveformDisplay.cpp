#include "audio/widgets/WaveformDisplay.h"

#include <QPainter>

#include <algorithm>

namespace ostrel::audio {

WaveformDisplay::WaveformDisplay(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void WaveformDisplay::resizeEvent(QResizeEvent* event) {
    measure_ = true;
    QWidget::resizeEvent(event);
}

void WaveformDisplay::measureIfNeeded() {
    // A hidden widget gets its resize event only when shown, so the size is compared too.
    if (!measure_ && measuredSize_ == size()) {
        return;
    }
    measure_ = false;
    measuredSize_ = size();
    drawHeight_ = height() - 5;
    // A trace holds one point per sample, so a display wider than a block draws 1600 columns.
    drawWidth_ = std::clamp(width(), 0, kBlockSamples);
    step_ = width() > 0 ? static_cast<double>(kBlockSamples) / width() : 0;
}

void WaveformDisplay::fill(int index, std::span<const int16_t> samples) {
    measureIfNeeded();
    auto& points = traces_[index];
    for (int x = 0; x < drawWidth_; ++x) {
        const int i = std::min(static_cast<int>(x * step_), kBlockSamples - 1);
        const int sample = i < static_cast<int>(samples.size()) ? samples[i] : 0;
        const double y = static_cast<double>(sample) * drawHeight_ / 65535.0 + drawHeight_ / 2.0;
        points[x] = QPoint(x, static_cast<int>(y));
    }
    repaint();
}

void WaveformDisplay::showSamples(std::span<const int16_t> samples, bool firstTrace) {
    fill(firstTrace ? 0 : 1, samples);
}

void WaveformDisplay::showThirdTrace(std::span<const int16_t> samples) {
    fill(2, samples);
}

void WaveformDisplay::setStatusText(const QString& text, const QColor& colour) {
    statusText_ = text;
    statusColour_ = colour;
    repaint();
}

void WaveformDisplay::clearDisplay() {
    for (auto& points : traces_) {
        points.fill(QPoint(0, 0));
    }
    statusText_.clear();
    repaint();
}

std::span<const QPoint> WaveformDisplay::trace(int n) const {
    if (n < 1 || n > kTraceCount) {
        return {};
    }
    return std::span<const QPoint>(traces_[n - 1].data(), static_cast<size_t>(drawWidth_));
}

void WaveformDisplay::paintEvent(QPaintEvent*) {
    measureIfNeeded();
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!statusText_.isEmpty()) {
        painter.setPen(statusColour_);
        painter.drawText(rect().adjusted(4, 2, -4, -2), Qt::AlignLeft | Qt::AlignTop, statusText_);
    }
    const int count = std::min(width(), kBlockSamples);
    for (int t = 0; t < kTraceCount; ++t) {
        painter.setPen(kTraceColours[t]);
        painter.drawPolyline(traces_[t].data(), count);
    }
}

}  // namespace ostrel::audio
