// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "ApplicationMain.h"

int main(int argc, char* argv[]) {
    // The product always talks to the real model service with the wall clock.
    return norvane::runApplication(argc, argv, {});
}
