// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "NudgePanelPlacement.h"

#include <algorithm>
#include <cmath>

namespace norvane::nudgePanel {

int height(std::optional<qreal> fittingHeight) {
    if (!fittingHeight)
        return heightWithoutCard;
    return std::max(minimumHeight, int(std::ceil(*fittingHeight)));
}

QRect frame(const QList<ScreenArea>& screens, const QPoint& pointer, int height) {
    QRect area(0, 0, 1440, 900);
    if (!screens.isEmpty()) {
        const auto under = std::find_if(screens.begin(), screens.end(), [&](const ScreenArea& screen) {
            return screen.geometry.contains(pointer);
        });
        area = (under != screens.end() ? *under : screens.first()).availableGeometry;
    }
    // Edges as positions past the last pixel, so the gap to the edge is exactly the margin.
    const int rightEdge = area.x() + area.width();
    const int bottomEdge = area.y() + area.height();
    return QRect(rightEdge - width - margin, bottomEdge - margin - height, width, height);
}

} // namespace norvane::nudgePanel
