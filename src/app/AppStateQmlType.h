// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/AppState.h"

#include <QObject>
#include <QtQml/qqml.h>

namespace norvane {

// The application state lives in the model library, which knows nothing of QML; naming it here lets the
// settings views declare it and the build's QML checks see its properties.
struct AppStateQmlType {
    Q_GADGET
    QML_FOREIGN(norvane::AppState)
    QML_NAMED_ELEMENT(AppState)
    QML_UNCREATABLE("Provided by the application")
};

} // namespace norvane
