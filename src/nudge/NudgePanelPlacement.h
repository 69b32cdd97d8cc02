// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

#include <optional>

namespace norvane {

// One screen as the placement sees it: its whole rectangle and the part that panels and docks leave
// free, both in global desktop coordinates (y grows downwards).
struct ScreenArea {
    QRect geometry;
    QRect availableGeometry;
};

namespace nudgePanel {

constexpr int width = 420;
constexpr int minimumHeight = 200;
constexpr int heightWithoutCard = 300;
constexpr int margin = 20;
constexpr int slideOffset = 12;
constexpr int showMilliseconds = 180;
constexpr int hideMilliseconds = 160;
constexpr double questionSeconds = 60;
constexpr double recommendationSeconds = 120;

// The panel's height for a card that needs `fittingHeight` (nothing when there is no card yet).
int height(std::optional<qreal> fittingHeight);

// The panel's frame: `width` x `height`, 20 from the right and bottom edges of the free area of the
// screen holding `pointer` (the first screen, which is the primary one, when no screen holds it; a fixed
// 1440x900 area when there is no screen at all).
QRect frame(const QList<ScreenArea>& screens, const QPoint& pointer, int height);

} // namespace nudgePanel
} // namespace norvane
