// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QImage>
#include <QSize>

namespace norvane {

// Shrinks a window picture to `target` (at most the picture's own size): 2x2 averages halve it while it
// is at least twice the target in both directions, then one bilinear step makes the rest. On a 2880x1800
// window that is a few times faster than an area-averaging scale of the whole picture and just as
// legible. RGB32 and premultiplied ARGB keep their format; other formats are converted to one of them
// first. Thread-safe.
QImage reduceWindowImage(const QImage& image, QSize target);

} // namespace norvane
