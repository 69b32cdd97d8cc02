// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QLocale>
#include <QString>

class QCoreApplication;

namespace norvane {

// Installs Norvane's translation for `locale` and Qt's own (qtbase) where one is present. English is the
// source, so an English or unknown locale installs nothing of Norvane's. Call it before any window is made:
// texts already shown are not retranslated. Returns whether Norvane's own translation was installed.
bool installTranslations(QCoreApplication* app, const QLocale& locale = QLocale::system());

// The diagnostics detail in the user's language. The detail is also logged, so it is made in English
// and only translated here, when the settings window shows it; an unknown text comes back as it is.
QString translatedDiagnosticsDetail(const QString& english);

} // namespace norvane
