// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "StartupDecision.h"

#include "model/Records.h"

namespace norvane {

std::optional<SettingsPresentationMode> startupSettingsMode(const QString& storedApiKey,
                                                            const QStringList& arguments) {
    if (!nilIfBlank(storedApiKey))
        return SettingsPresentationMode::Setup;
    if (arguments.contains(kOpenSettingsArgument))
        return SettingsPresentationMode::Standard;
    return std::nullopt;
}

} // namespace norvane
