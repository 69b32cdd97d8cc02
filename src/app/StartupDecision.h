// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/Enums.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace norvane {

// The launch switch that asks for the settings window when a key is already stored.
inline const QString kOpenSettingsArgument = QStringLiteral("--open-settings");

// Which settings window, if any, opens at launch: setup whenever the stored key is blank (whatever the
// arguments), standard when the key is present and "--open-settings" is among the arguments, else none.
std::optional<SettingsPresentationMode> startupSettingsMode(const QString& storedApiKey,
                                                            const QStringList& arguments);

} // namespace norvane
