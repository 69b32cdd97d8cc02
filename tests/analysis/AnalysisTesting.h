#pragma once

#include <QCoroTask>
#include <QString>

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

// Why a result holds no value, for failure messages; empty when it holds one.
template <typename Result> QString failureText(const Result& result) {
    return result ? QString() : result.error().description();
}

// In their own source file, as moc misreads raw string literals: the analysis prompt written out in
// full, and the end of the recommendation prompt (the reply's schema and the last word).
QString expectedAnalysisPrompt();
QString expectedRecommendationSchema();

} // namespace norvane::testing
