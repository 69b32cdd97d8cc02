// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QMetaType>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>
#include <utility>

namespace norvane {

// String-valued enumerations. The raw value is their only external form: logs, files and JSON.

enum class MonitoringActivityState { Idle, Wake, Active, Cooldown };
enum class ScreenshotCaptureReason {
    ResumedAfterIdle,
    ActiveInterval,
    AppSwitch,
    WindowSwitch,
    CooldownInterval
};
enum class MeaningfulInputKind { Keyboard, MouseDown, MouseDrag, Scroll, Activity };
enum class OpportunityCategory { ManualWork, Stuck, InefficientPrompting, SlowWorkflow, MissedAutomation };
enum class NudgeOutcome { Shown, CloseButton, AutoDismissed, NotNow, RecommendationShown, NotUseful };
enum class NudgePipelineState {
    MonitoringOff,
    Paused,
    WaitingForActivity,
    CollectingContext,
    Analyzing,
    NoOpportunity,
    NudgeVisible,
    Failed
};
enum class NudgePhase { Question, LoadingRecommendation, Recommendation };
enum class SettingsPresentationMode { Standard, Setup };

template <typename E> struct RawValues;

#define NORVANE_RAW_VALUES(Enum, ...)                                                                        \
    template <> struct RawValues<Enum> {                                                                     \
        static constexpr auto table = std::to_array<std::pair<Enum, const char*>>({__VA_ARGS__});            \
    };

NORVANE_RAW_VALUES(MonitoringActivityState, {MonitoringActivityState::Idle, "idle"},
                   {MonitoringActivityState::Wake, "wake"}, {MonitoringActivityState::Active, "active"},
                   {MonitoringActivityState::Cooldown, "cool-down"})
NORVANE_RAW_VALUES(ScreenshotCaptureReason, {ScreenshotCaptureReason::ResumedAfterIdle, "resumed-after-idle"},
                   {ScreenshotCaptureReason::ActiveInterval, "active-interval"},
                   {ScreenshotCaptureReason::AppSwitch, "app-switch"},
                   {ScreenshotCaptureReason::WindowSwitch, "window-switch"},
                   {ScreenshotCaptureReason::CooldownInterval, "cooldown-interval"})
NORVANE_RAW_VALUES(MeaningfulInputKind, {MeaningfulInputKind::Keyboard, "keyboard"},
                   {MeaningfulInputKind::MouseDown, "mouse-down"},
                   {MeaningfulInputKind::MouseDrag, "mouse-drag"}, {MeaningfulInputKind::Scroll, "scroll"},
                   {MeaningfulInputKind::Activity, "activity"})
NORVANE_RAW_VALUES(OpportunityCategory, {OpportunityCategory::ManualWork, "manual-work"},
                   {OpportunityCategory::Stuck, "stuck"},
                   {OpportunityCategory::InefficientPrompting, "inefficient-prompting"},
                   {OpportunityCategory::SlowWorkflow, "slow-workflow"},
                   {OpportunityCategory::MissedAutomation, "missed-automation"})
NORVANE_RAW_VALUES(NudgeOutcome, {NudgeOutcome::Shown, "shown"}, {NudgeOutcome::CloseButton, "close-button"},
                   {NudgeOutcome::AutoDismissed, "auto-dismissed"}, {NudgeOutcome::NotNow, "not-now"},
                   {NudgeOutcome::RecommendationShown, "recommendation-shown"},
                   {NudgeOutcome::NotUseful, "not-useful"})
NORVANE_RAW_VALUES(NudgePipelineState, {NudgePipelineState::MonitoringOff, "monitoring-off"},
                   {NudgePipelineState::Paused, "paused"},
                   {NudgePipelineState::WaitingForActivity, "waiting-for-activity"},
                   {NudgePipelineState::CollectingContext, "collecting-context"},
                   {NudgePipelineState::Analyzing, "analyzing"},
                   {NudgePipelineState::NoOpportunity, "no-opportunity"},
                   {NudgePipelineState::NudgeVisible, "nudge-visible"},
                   {NudgePipelineState::Failed, "failed"})
NORVANE_RAW_VALUES(NudgePhase, {NudgePhase::Question, "question"},
                   {NudgePhase::LoadingRecommendation, "loadingRecommendation"},
                   {NudgePhase::Recommendation, "recommendation"})
NORVANE_RAW_VALUES(SettingsPresentationMode, {SettingsPresentationMode::Standard, "standard"},
                   {SettingsPresentationMode::Setup, "setup"})

#undef NORVANE_RAW_VALUES

template <typename E> QString rawValue(E value) {
    for (const auto& [candidate, text] : RawValues<E>::table) {
        if (candidate == value)
            return QString::fromLatin1(text);
    }
    return {};
}

// Accepts exactly the raw strings, case-sensitively, and nothing else.
template <typename E> std::optional<E> fromRawValue(QStringView text) {
    for (const auto& [candidate, raw] : RawValues<E>::table) {
        if (text == QLatin1StringView(raw))
            return candidate;
    }
    return std::nullopt;
}

} // namespace norvane

Q_DECLARE_METATYPE(norvane::NudgePhase)
