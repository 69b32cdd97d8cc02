// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once
// What the capture benchmarks share: realistic window content, a window that shows it, and medians.

#include "capture/ScreenshotService.h"
#include "platform/x11/WindowImageReduction.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>
#include <QRasterWindow>
#include <QThread>

#include <algorithm>
#include <functional>
#include <vector>

namespace norvane::bench {

// Something like a busy desktop window: text lines, panels, a gradient and a photo-like noisy area,
// so the encoder has realistic work.
inline QImage makeContent(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(250, 250, 248));
    QPainter painter(&image);
    QRandomGenerator random(42);
    const int w = size.width(), h = size.height();
    painter.fillRect(0, 0, w, h / 20, QColor(40, 44, 52));
    painter.fillRect(0, h / 20, w / 6, h, QColor(230, 232, 236));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(10, h / 70));
    painter.setFont(font);
    const QStringList words = {"capture", "window", "frame",  "encode", "monitor",  "pipeline", "report",
                               "summary", "budget", "median", "scroll", "keyboard", "activity", "nudge"};
    const int line = font.pixelSize() * 3 / 2;
    for (int y = h / 20 + line; y < h * 2 / 3; y += line) {
        QString text;
        const int count = 6 + int(random.bounded(10));
        for (int i = 0; i < count; ++i)
            text += words[random.bounded(int(words.size()))] + QLatin1Char(' ');
        painter.setPen(QColor(int(random.bounded(80)), int(random.bounded(80)), int(random.bounded(120))));
        painter.drawText(w / 6 + 20, y, text);
    }
    QLinearGradient gradient(0, h * 2 / 3, w, h);
    gradient.setColorAt(0, QColor(30, 90, 200));
    gradient.setColorAt(1, QColor(240, 120, 40));
    painter.fillRect(w / 6, h * 2 / 3, w / 2, h / 3, gradient);
    painter.end();
    for (int y = h * 2 / 3; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = w * 2 / 3; x < w; ++x) {
            const int base = 90 + (x * 60 / w) + (y * 40 / h);
            row[x] = qRgb(std::clamp(base + int(random.bounded(30)), 0, 255),
                          std::clamp(base + 20 + int(random.bounded(30)), 0, 255),
                          std::clamp(base - 30 + int(random.bounded(30)), 0, 255));
        }
    }
    return image;
}

class ContentWindow : public QRasterWindow {
public:
    explicit ContentWindow(QImage content) : m_content(std::move(content)) {}
    void setContent(QImage content) { m_content = std::move(content); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(0, 0, m_content);
    }

private:
    QImage m_content;
};

inline double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

inline double measure(int iterations, const std::function<void()>& work) {
    work(); // warm-up
    std::vector<double> samples;
    for (int i = 0; i < iterations; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        samples.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return median(samples);
}

inline void settle(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

// The per-frame work after the pixels are in hand, as ScreenshotService does it.
inline void finishFrame(const QImage& image) {
    const auto jpeg = ScreenshotService::makeJPEGData(image, ScreenshotService::kMaxLongestEdge,
                                                      ScreenshotService::kJpegQuality);
    if (!jpeg)
        qFatal("encoding failed");
    const QString fingerprint = ScreenshotService::makeFingerprint(*jpeg);
    const QByteArray base64 = jpeg->toBase64();
    Q_UNUSED(fingerprint);
    Q_UNUSED(base64);
}

} // namespace norvane::bench
