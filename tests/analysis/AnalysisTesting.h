// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QCoroTask>

#include <memory>
#include <optional>

namespace norvane::testing {

// Runs a task to completion in the background of the test's event loop; the result appears in the
// returned slot, which the test polls with QTRY_* so that a hang fails instead of stalling.
template <typename T> std::shared_ptr<std::optional<T>> startTask(QCoro::Task<T> task) {
    auto slot = std::make_shared<std::optional<T>>();
    [](QCoro::Task<T> running, std::shared_ptr<std::optional<T>> out) -> QCoro::Task<> {
        out->emplace(co_await std::move(running));
    }(std::move(task), slot);
    return slot;
}

} // namespace norvane::testing
