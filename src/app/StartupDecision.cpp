// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "StartupDecision.h"

namespace norvane {

std::optional<SettingsPresentationMode> startupSettingsMode(bool modelReady, const QStringList& arguments) {
    if (!modelReady)
        return SettingsPresentationMode::Setup;
    if (arguments.contains(kOpenSettingsArgument))
        return SettingsPresentationMode::Standard;
    return std::nullopt;
}

} // namespace norvane
