// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "WindowChoice.h"

namespace norvane {

namespace {

const QString kOwnApplicationName = QStringLiteral("Norvane");

QString applicationName(const FrontmostApplication& application) {
    if (application.localizedName)
        return *application.localizedName;
    if (application.bundleIdentifier)
        return *application.bundleIdentifier;
    return QStringLiteral("Unknown App");
}

bool isOwnApplication(const FrontmostApplication& application, qint64 ownProcessIdentifier) {
    if (application.processIdentifier == ownProcessIdentifier)
        return true;
    // Another process that presents itself under our name (a second copy, a helper) counts as us too.
    return application.localizedName && *application.localizedName == kOwnApplicationName;
}

// The first normal, visible window owned by the application's process.
const WindowListEntry* firstWindowOfProcess(const QList<WindowListEntry>& windows, qint64 processIdentifier) {
    for (const auto& entry : windows) {
        if (!entry.ownerProcessIdentifier || *entry.ownerProcessIdentifier != processIdentifier)
            continue;
        if (entry.layer.value_or(0) != 0)
            continue;
        if (entry.alpha && !(*entry.alpha > 0.0))
            continue;
        return &entry;
    }
    return nullptr;
}

const WindowListEntry* windowWithNumber(const QList<WindowListEntry>& windows, quint32 windowNumber) {
    for (const auto& entry : windows) {
        if (entry.windowNumber && *entry.windowNumber == windowNumber)
            return &entry;
    }
    return nullptr;
}

} // namespace

std::optional<FrontmostWindowInfo> chooseFrontmostWindow(const WindowSnapshot& snapshot,
                                                         qint64 ownProcessIdentifier) {
    if (!snapshot.application)
        return std::nullopt;
    const FrontmostApplication& application = *snapshot.application;

    const std::optional<FocusedWindowInfo>& focused = snapshot.focused;
    // A known focused window is taken by its number only: when the list does not carry it (another
    // workspace, already gone), guessing another window of the process would describe the wrong one.
    const WindowListEntry* chosen =
        (focused && focused->windowNumber)
            ? windowWithNumber(snapshot.windows, *focused->windowNumber)
            : firstWindowOfProcess(snapshot.windows, application.processIdentifier);
    if (!chosen || !chosen->windowNumber)
        return std::nullopt;

    QString title = QStringLiteral("Untitled Window");
    if (auto fromFocus = focused && focused->title ? nilIfBlank(*focused->title) : std::nullopt)
        title = *fromFocus;
    else if (auto fromList = chosen->name ? nilIfBlank(*chosen->name) : std::nullopt)
        title = *fromList;

    FrontmostWindowInfo info;
    info.windowID = *chosen->windowNumber;
    info.appName = applicationName(application);
    info.windowTitle = title;
    info.isOwnApp = isOwnApplication(application, ownProcessIdentifier);
    info.classNames = application.classNames;
    if (application.bundleIdentifier)
        info.classNames.append(*application.bundleIdentifier);
    info.isFullScreen = focused && focused->isFullScreen && focused->windowNumber == info.windowID;
    return info;
}

} // namespace norvane
