// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/ServiceInterfaces.h"

namespace norvane {

// The desktop clipboard (the Ctrl+V one, not the primary selection), holding plain text only.
class SystemPasteboard final : public PasteboardProviding {
public:
    void copyString(const QString& text) override;
};

} // namespace norvane
