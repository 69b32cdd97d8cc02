// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "Records.h"

#include <QStringList>
#include <QVariant>

#include <optional>

namespace norvane {

// What is never captured: windows of the listed applications (matched case-insensitively against the
// application name and the window's class names) and windows whose title contains one of the patterns
// (plain case-insensitive substrings). Decided before any pixel is read.
struct CaptureExclusions {
    QStringList applications;
    QStringList titlePatterns;

    // Password managers, keyring prompts and private browsing windows.
    static CaptureExclusions defaults();

    bool excludes(const FrontmostWindowInfo& window) const;
    bool operator==(const CaptureExclusions&) const = default;

    // Entries trimmed, blanks and case-insensitive repeats dropped, first spelling kept.
    static QStringList normalized(const QStringList& entries);
    // A stored list, normalized. Nothing when the value is missing or not a list (the caller then falls
    // back to the defaults, so a damaged file never turns exclusions off).
    static std::optional<QStringList> fromStoredValue(const QVariant& value);
    // The value that stores `entries` so that fromStoredValue() gives them back, an empty list included.
    static QVariant storedValue(const QStringList& entries);
};

} // namespace norvane
