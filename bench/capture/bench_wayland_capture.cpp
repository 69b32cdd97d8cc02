// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// One capture frame on Wayland the way the program makes it: the active window from the compositor's
// list, its place from Sway's layout tree, its part of the output through screencopy, then the same
// reduction, encoding and hashing as on X11. Run it in a headless Sway whose output the window fills:
//   NORVANE_SWAY_OUTPUT=2880x1800 tests/run-with-sway.sh build/bench/capture/bench_wayland_capture
// Prints medians in milliseconds, beside the X11 figures of bench_capture.

#include "BenchSupport.h"
#include "platform/wayland/SwayIpc.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/WaylandScreencopy.h"
#include "platform/wayland/WaylandToplevels.h"
#include "platform/wayland/WaylandWindowCapture.h"

#include <QCoroTask>
#include <QGuiApplication>

#include <cstdio>

using namespace norvane;
using namespace norvane::bench;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "wayland");
    QGuiApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("bench-content"));
    const int iterations = argc > 1 ? std::max(3, atoi(argv[1])) : 30;

    WaylandConnection connection;
    WaylandToplevels toplevels(&connection, QStringLiteral("norvane"));
    WaylandScreencopy screencopy(&connection);
    if (!connection.ensureConnected() || !toplevels.isAvailable() || !screencopy.isAvailable()) {
        fprintf(stderr,
                "bench_wayland_capture: needs a wlroots compositor with foreign-toplevel management "
                "and screencopy (%s)\n",
                qPrintable(connection.unavailableReason()));
        return 1;
    }
    // The content window fills the output; it is another program's window as far as the capture knows.
    ContentWindow window(QImage(1, 1, QImage::Format_RGB32));
    window.show();
    settle(800);
    const QSize size = window.size();
    window.setContent(makeContent(size));
    window.update();
    settle(500);

    const auto info = toplevels.frontmostWindowInfo();
    if (!info) {
        fprintf(stderr, "bench_wayland_capture: no active window\n");
        return 1;
    }
    // The benchmark's own window must not count as Norvane's for the capture to go ahead, so the rule
    // that refuses pictures under Norvane's windows is measured by the tree read alone.
    const QString socket = qEnvironmentVariable("SWAYSOCK");
    const auto tree = readSwayTree(socket);
    const auto place =
        tree ? findSwayWindow(*tree, QStringLiteral("bench-content"), info->windowTitle) : std::nullopt;
    if (!place) {
        fprintf(stderr, "bench_wayland_capture: Sway does not list the window\n");
        return 1;
    }
    wl_output* output = connection.outputNamed(place->outputName);
    const QRect region = place->contentRect.translated(-place->outputRect.topLeft());
    const auto probe = QCoro::waitFor(screencopy.capture(output, region));
    if (!probe || probe->size() != size) {
        fprintf(stderr, "bench_wayland_capture: the %dx%d window could not be copied\n", size.width(),
                size.height());
        return 1;
    }
    const QSize target = ScreenshotService::scaledSize(size, ScreenshotService::kMaxLongestEdge);

    const double frontmost = measure(iterations * 10, [&] { (void)toplevels.frontmostWindowInfo(); });
    const double treeRead = measure(iterations, [&] { (void)readSwayTree(socket); });
    const double copy =
        measure(iterations, [&] { (void)QCoro::waitFor(screencopy.capture(output, region)); });
    const double scale = measure(iterations, [&] { (void)reduceWindowImage(*probe, target); });
    const double frame = measure(iterations, [&] {
        const auto image = QCoro::waitFor(screencopy.capture(output, region));
        finishFrame(reduceWindowImage(*image, target));
    });
    printf("bench_wayland_capture: %d iterations per step, Sway %s\n", iterations,
           qPrintable(qEnvironmentVariable("WLR_RENDERER", "default renderer")));
    printf("\n%dx%d window -> %dx%d JPEG (medians, ms)\n", size.width(), size.height(), target.width(),
           target.height());
    printf("  active window from the compositor's list  %8.3f\n", frontmost);
    printf("  Sway layout tree over IPC                 %8.2f\n", treeRead);
    printf("  screencopy of the window's region         %8.2f\n", copy);
    printf("  scaling (halving + bilinear)              %8.2f\n", scale);
    printf("  whole frame (tree read not included)      %8.2f\n", frame);
    return 0;
}
