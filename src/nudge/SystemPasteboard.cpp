// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "SystemPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace norvane {

void SystemPasteboard::copyString(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    // A fresh mime object replaces whatever was offered before, so only plain text remains.
    auto* data = new QMimeData;
    data->setText(text);
    clipboard->setMimeData(data, QClipboard::Clipboard);
}

} // namespace norvane
