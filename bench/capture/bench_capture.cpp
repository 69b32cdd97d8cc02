// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// Measures one capture frame the way the program makes it, for a 2880x1800 and a 1440x900 window, and
// compares it with per-frame alternatives in the same run. Prints medians in milliseconds.

#include "BenchSupport.h"
#include "capture/ScreenshotService.h"
#include "platform/x11/SystemFrontmostWindowProvider.h"
#include "platform/x11/SystemWindowImageCapture.h"
#include "platform/x11/WindowImageReduction.h"
#include "platform/x11/X11Connection.h"

#include <xcb/xcb.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QRasterWindow>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace norvane;
using namespace norvane::bench;

namespace {

// Ordinary top-level windows from another connection, so the frontmost read has a list to walk. Half
// carry _NET_WM_PID; the rest need the XRes look-up.
std::vector<xcb_window_t> openOtherWindows(xcb_connection_t* c, int count) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    auto intern = [&](const char* name) {
        auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
        return atom;
    };
    const xcb_atom_t pidAtom = intern("_NET_WM_PID");
    const xcb_atom_t nameAtom = intern("_NET_WM_NAME");
    const xcb_atom_t utf8 = intern("UTF8_STRING");
    std::vector<xcb_window_t> windows;
    for (int i = 0; i < count; ++i) {
        const xcb_window_t window = xcb_generate_id(c);
        const uint32_t values[] = {screen->white_pixel};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, int16_t(20 * i), int16_t(20 * i),
                          300, 200, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL,
                          values);
        const std::string title = "Document " + std::to_string(i) + " - Editor";
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, nameAtom, utf8, 8, uint32_t(title.size()),
                            title.data());
        const std::string wmClass = std::string("editor") + '\0' + "Editor" + '\0';
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            uint32_t(wmClass.size()), wmClass.data());
        if (i % 2 == 0) {
            const uint32_t pid = uint32_t(QCoreApplication::applicationPid());
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, pidAtom, XCB_ATOM_CARDINAL, 32, 1, &pid);
        }
        xcb_map_window(c, window);
        windows.push_back(window);
    }
    xcb_flush(c);
    return windows;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const int iterations = argc > 1 ? std::max(3, atoi(argv[1])) : 30;
    const int toolIterations = std::max(3, iterations / 3);
    const bool haveMaim = !QStandardPaths::findExecutable(QStringLiteral("maim")).isEmpty();

    X11Connection x;
    if (!x.ensureConnected()) {
        fprintf(stderr, "bench_capture: %s\n", qPrintable(x.unavailableReason()));
        return 1;
    }
    printf("bench_capture: %d iterations per step (%d for spawned tools); composite %s, shared memory %s\n",
           iterations, toolIterations, x.hasComposite() ? "yes" : "no", x.hasShm() ? "yes" : "no");

    for (const QSize size : {QSize(2880, 1800), QSize(1440, 900)}) {
        const QRect available = QGuiApplication::primaryScreen()->geometry();
        if (available.width() < size.width() || available.height() < size.height() + 40) {
            printf("\n%dx%d: screen %dx%d is too small (NORVANE_XVFB_SCREEN=3000x2000x24)\n", size.width(),
                   size.height(), available.width(), available.height());
            continue;
        }
        const QImage content = makeContent(size);
        ContentWindow window(content);
        window.setFlags(Qt::Window | Qt::FramelessWindowHint);
        window.setGeometry(QRect(QPoint(0, 0), size));
        window.show();
        settle(500);
        const quint32 id = quint32(window.winId());

        // The program's capture delivers the picture already reduced; `raw` reads the same window at full
        // size, to show the read and the reduction apart.
        SystemWindowImageCapture capture(&x);
        SystemWindowImageCapture raw(&x, 0);
        const auto probe = raw.readWindowImage(id);
        if (!probe || probe->size() != size) {
            fprintf(stderr, "bench_capture: the %dx%d window could not be read\n", size.width(),
                    size.height());
            return 1;
        }
        const QImage pixels = probe->copy();
        const QSize target = ScreenshotService::scaledSize(size, ScreenshotService::kMaxLongestEdge);
        const QImage reduced = reduceWindowImage(pixels, target);
        const auto jpeg = ScreenshotService::makeJPEGData(reduced, ScreenshotService::kMaxLongestEdge,
                                                          ScreenshotService::kJpegQuality);

        const double read = measure(iterations, [&] { (void)raw.readWindowImage(id); });
        const double scale = measure(iterations, [&] { (void)reduceWindowImage(pixels, target); });
        const double qtScale = measure(iterations, [&] {
            (void)pixels.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        });
        const double encode = measure(iterations, [&] {
            (void)ScreenshotService::makeJPEGData(reduced, ScreenshotService::kMaxLongestEdge,
                                                  ScreenshotService::kJpegQuality);
        });
        const double hash = measure(iterations, [&] {
            (void)ScreenshotService::makeFingerprint(*jpeg);
            (void)jpeg->toBase64();
        });
        const double frame = measure(iterations, [&] {
            const auto image = capture.readWindowImage(id);
            finishFrame(*image);
        });
        // The same frame with the full-size picture left to the encoder's own scaling.
        const double encoderScaled = measure(iterations, [&] {
            const auto image = raw.readWindowImage(id);
            finishFrame(*image);
        });
        const double grab = measure(toolIterations, [&] {
            const QImage image = QGuiApplication::primaryScreen()->grabWindow(id).toImage();
            finishFrame(image);
        });
        // maim as a user would run it (PNG on stdout), then the same finishing: decode, scale, JPEG, hash.
        double maim = 0;
        double maimJpegOnly = 0;
        if (haveMaim) {
            auto runMaim = [&](const QStringList& extra) {
                QProcess process;
                process.start(QStringLiteral("maim"),
                              QStringList{QStringLiteral("-i"), QString::number(id)} + extra);
                process.waitForFinished(30000);
                return process.readAllStandardOutput();
            };
            maim = measure(toolIterations, [&] {
                const QImage image = QImage::fromData(runMaim({}), "PNG");
                if (image.isNull())
                    qFatal("maim gave no picture");
                finishFrame(image);
            });
            maimJpegOnly = measure(toolIterations, [&] {
                (void)runMaim(
                    {QStringLiteral("-f"), QStringLiteral("jpg"), QStringLiteral("-m"), QStringLiteral("7")});
            });
        }

        printf("\n%dx%d window -> %dx%d JPEG of %lld bytes (medians, ms)\n", size.width(), size.height(),
               target.width(), target.height(), qlonglong(jpeg->size()));
        printf("  window read (%s%s)        %8.2f\n", raw.lastReadPath().composite ? "composite" : "direct",
               raw.lastReadPath().sharedMemory ? ", shm" : "", read);
        printf("  scaling (halving + bilinear)     %8.2f   (QImage smooth scaling: %.2f)\n", scale, qtScale);
        printf("  encoding (composite + JPEG q70)  %8.2f\n", encode);
        printf("  hashing (SHA-256) + Base64       %8.2f\n", hash);
        printf("  whole frame                      %8.2f   (scaled by the encoder instead: %.2f)\n", frame,
               encoderScaled);
        printf("  QScreen::grabWindow + same work  %8.2f   %6.1fx slower\n", grab, grab / frame);
        if (haveMaim) {
            printf("  maim -i WINDOW + same finishing  %8.2f   %6.1fx slower\n", maim, maim / frame);
            printf("  (maim -f jpg alone, full size    %8.2f   %6.1fx slower)\n", maimJpegOnly,
                   maimJpegOnly / frame);
        } else
            printf("  maim not installed (bash scripts/install-deps.sh --bench)\n");
        window.close();
        settle(100);
    }

    // The per-second frontmost-window read with a realistic number of windows.
    xcb_connection_t* others = xcb_connect(nullptr, nullptr);
    const auto windows = openOtherWindows(others, 24);
    settle(500);
    SystemFrontmostWindowProvider provider(&x);
    const auto snapshot = provider.readSnapshot();
    const double frontmost = measure(iterations * 10, [&] { (void)provider.frontmostWindowInfo(); });
    printf("\nfrontmost window read, %lld managed windows: %.3f ms median\n",
           qlonglong(snapshot.windows.size()), frontmost);
    xcb_disconnect(others);
    return 0;
}
