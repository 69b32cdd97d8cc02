// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// A small native Wayland client for the Wayland tests, the counterpart of test_window.cpp: one window
// with a title, an application id and known pixels. It prints "WINDOW <pid>" once the window has been
// shown and painted, then serves its events until killed.
//
//   --title TEXT  --app-id ID  --size WxH
//   --paint RRGGBB      a solid colour
//   --paint typing-pad  every key typed into it drawn as a coloured cell, followed by "KEYS <n>"

#include <QBackingStore>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QRasterWindow>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

class TestWindow : public QRasterWindow {
public:
    TestWindow(QColor colour, bool pad) : m_colour(colour), m_pad(pad) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(QRect(QPoint(), size()), m_pad ? QColor(0xf4f4f0) : m_colour);
        constexpr int kCell = 24, kGap = 4;
        const int perRow = std::max(1, width() / (kCell + kGap));
        for (int i = 0; i < m_keys.size(); ++i) {
            const uint seed = uint(m_keys[i]) * 2654435761u + uint(i) * 40503u;
            painter.fillRect(
                kGap + (i % perRow) * (kCell + kGap), kGap + (i / perRow) * (kCell + kGap), kCell, kCell,
                QColor(64 + (seed >> 8) % 192, 64 + (seed >> 16) % 192, 64 + (seed >> 24) % 192));
        }
    }
    void exposeEvent(QExposeEvent* event) override {
        QRasterWindow::exposeEvent(event);
        if (!m_announced && isExposed()) {
            m_announced = true;
            // Once the compositor has had the painted frame.
            QTimer::singleShot(100, this, [] {
                printf("WINDOW %lld\n", static_cast<long long>(getpid()));
                fflush(stdout);
            });
        }
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (!m_pad)
            return;
        m_keys.append(event->nativeScanCode());
        update();
        QTimer::singleShot(50, this, [this] {
            printf("KEYS %lld\n", static_cast<long long>(m_keys.size()));
            fflush(stdout);
        });
    }

private:
    QColor m_colour;
    bool m_pad;
    bool m_announced = false;
    QList<quint32> m_keys;
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "wayland");
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const auto option = [&](const QString& name, const QString& fallback) {
        const qsizetype at = arguments.indexOf(name);
        return at > 0 && at + 1 < arguments.size() ? arguments[at + 1] : fallback;
    };
    // The application id Wayland compositors report for the window.
    QGuiApplication::setDesktopFileName(option(QStringLiteral("--app-id"), QStringLiteral("norvane-test")));
    const QString paint = option(QStringLiteral("--paint"), QStringLiteral("ff0000"));
    const bool pad = paint == QLatin1String("typing-pad");
    TestWindow window(pad ? QColor() : QColor(u'#' + paint), pad);
    window.setTitle(option(QStringLiteral("--title"), QStringLiteral("Test Window")));
    const QStringList size = option(QStringLiteral("--size"), QStringLiteral("200x150")).split(u'x');
    window.resize(size.value(0).toInt(), size.value(1).toInt());
    window.show();
    return app.exec();
}
