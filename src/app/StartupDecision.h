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

// Which settings window, if any, opens at launch: setup whenever no model can be asked yet (no Gemini key,
// or an unusable server; whatever the arguments), standard when one can and "--open-settings" is among the
// arguments, else none.
std::optional<SettingsPresentationMode> startupSettingsMode(bool modelReady, const QStringList& arguments);

} // namespace norvane
