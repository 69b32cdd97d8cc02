#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Norvane developers
# SPDX-License-Identifier: MIT
# Plants deliberate faults in the product code, one at a time, and runs the tests of the area that
# should catch each. A fault the tests miss ("survived") marks a rule no test protects.
#
# usage: scripts/mutate.sh [-r REVISION] [-o RESULTS] [NAME-REGEX]
#
# Without -r the copy is the working tree as it stands (tracked and untracked files, not ignored ones);
# with -r it is that commit.
#
# Works on a private copy of the working tree under $NORVANE_MUTATE_DIR (default build-mutate/ in the
# checkout) built with the default preset, so the checkout and its build stay untouched. The copy is
# refreshed on each run and builds incrementally; with ccache installed (base_dir set to a common parent)
# it reuses the objects of the checkout's own build. Each line of the results reads
# "killed|survived|not-applied|no-build NAME"; the last line is the tally.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=${NORVANE_MUTATE_DIR:-$ROOT/build-mutate}
BUILD=$WORK/tree/build
RESULTS=$WORK/results.txt
REVISION=
while getopts "r:o:" opt; do
    case $opt in
    r) REVISION=$OPTARG ;;
    o) RESULTS=$OPTARG ;;
    *) echo "usage: $0 [-r REVISION] [-o RESULTS] [NAME-REGEX]" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
FILTER=${1:-}

# name @@ ctest label @@ file under src/ @@ text @@ replacement ("\n" stands for a line break)
MUTATIONS=$(cat <<'EOF'
settings-file-not-0600 @@ model @@ model/AppState.cpp @@ QFile::setPermissions(fileName, ownerOnlyFile);\n        return tightened; @@ return tightened;
pause-not-clamped @@ model @@ model/AppState.cpp @@ seconds = std::clamp(seconds, -kMaxSleepSeconds, kMaxSleepSeconds); @@ ;
second-card-allowed @@ model @@ model/AppState.cpp @@     if (m_currentNudge)\n        return;\n    if (m_suppressedPatterns @@     if (m_suppressedPatterns
dismissed-pattern-shown-again @@ model @@ model/AppState.cpp @@ if (m_suppressedPatterns.contains(opportunity.patternId)) { @@ if (false && m_suppressedPatterns.contains(opportunity.patternId)) {
not-useful-not-suppressed @@ model @@ model/AppState.cpp @@ reason == NudgeOutcome::NotNow || reason == NudgeOutcome::NotUseful @@ reason == NudgeOutcome::NotNow
raw-value-misspelt @@ model @@ model/Enums.h @@ "cooldown-interval" @@ "cool-down-interval"
cancel-skips-callbacks @@ model @@ model/Cancellation.cpp @@ for (auto& [id, callback] : callbacks)\n        callback(); @@ (void)callbacks;
idle-threshold-wrong @@ monitoring @@ monitoring/MonitoringRules.h @@ idleThreshold = 20.0 @@ idleThreshold = 21.0
active-window-boundary @@ monitoring @@ monitoring/MonitoringRules.cpp @@ *inputAge <= activeStateWindow @@ *inputAge < activeStateWindow
active-cadence-wrong @@ monitoring @@ monitoring/MonitoringRules.h @@ activeCaptureInterval = 4.0 @@ activeCaptureInterval = 5.0
buffer-limit-off-by-one @@ monitoring @@ monitoring/MonitoringRules.h @@ screenshotBufferLimit = 10 @@ screenshotBufferLimit = 11
eviction-ignores-cooldown @@ monitoring @@ monitoring/MonitoringRules.cpp @@ if (buffer[i].activityState == MonitoringActivityState::Cooldown || @@ if (
selection-score-wrong @@ monitoring @@ monitoring/MonitoringRules.cpp @@ score += 25; @@ score += 5;
app-switch-as-window @@ monitoring @@ monitoring/MonitoringRules.cpp @@ if (!previous || previous->appName != current->appName) @@ if (!previous)
paused-loop-captures @@ monitoring @@ monitoring/MonitoringService.cpp @@ if (m_appState->isPaused()) { @@ if (false) {
stop-check-dropped @@ monitoring @@ monitoring/MonitoringService.cpp @@ if (!self || loop.isCancelled() || session.isCancelled())\n        co_return;\n    if (!screenshot) @@ if (!self || (false && (loop.isCancelled() || session.isCancelled())))\n        co_return;\n    if (!screenshot)
two-analyses-at-once @@ monitoring @@ monitoring/MonitoringService.cpp @@ if (m_analysisTask) {\n        qCDebug @@ if (false) {\n        qCDebug
analyzed-burst-not-remembered @@ monitoring @@ monitoring/MonitoringService.cpp @@ m_lastAnalyzedActivityBurstID = burstID; @@ (void)burstID;
own-window-observed @@ monitoring @@ monitoring/MonitoringService.cpp @@ if (rawWindow && !rawWindow->isOwnApp) @@ if (rawWindow)
scroll-not-meaningful @@ platform @@ monitoring/InputActivityMonitor.cpp @@ return MeaningfulInputKind::Scroll; @@ break;
jpeg-size-wrong @@ capture @@ capture/ScreenshotService.h @@ kMaxLongestEdge = 1024.0 @@ kMaxLongestEdge = 1000.0
jpeg-quality-wrong @@ capture @@ capture/ScreenshotService.h @@ kJpegQuality = 70 @@ kJpegQuality = 90
forced-capture-deduplicated @@ capture @@ capture/ScreenshotService.cpp @@ if (!force && m_lastCaptureSignature @@ if ((force || !force) && m_lastCaptureSignature
store-file-not-0600 @@ capture @@ capture/ScreenshotDiskStore.cpp @@ if (!file.setPermissions(kPrivateFile)) @@ if (false)
store-folder-not-0700 @@ capture @@ capture/ScreenshotDiskStore.cpp @@ fs::permissions(*it, fs::perms::owner_all, fs::perm_options::replace, error); @@ ;
buffer-index-off-by-one @@ capture @@ capture/ScreenshotDiskStore.cpp @@ QString::asprintf("%02d", index + 1) @@ QString::asprintf("%02d", index)
file-name-too-long @@ capture @@ capture/ScreenshotDiskStore.cpp @@ kMaxFileNameCharacters = 48 @@ kMaxFileNameCharacters = 49
untitled-window-text @@ capture @@ capture/WindowChoice.cpp @@ QString title = QStringLiteral("Untitled Window"); @@ QString title = QStringLiteral("Untitled");
key-not-masked @@ analysis @@ analysis/GeminiClient.cpp @@ if (const qsizetype length = keyLengthAt(text, at, key)) { @@ if (const qsizetype length = 0 * keyLengthAt(text, at, key)) {
blank-error-body-empty @@ analysis @@ analysis/GeminiClient.cpp @@ if (text.trimmed().isEmpty())\n        return GeminiClientError::apiError(statusText); @@ ;
redirects-followed @@ analysis @@ analysis/ModelHttpExchange.cpp @@ QNetworkRequest::ManualRedirectPolicy @@ QNetworkRequest::NoLessSafeRedirectPolicy
reply-cap-ignored @@ analysis @@ analysis/ModelHttpExchange.cpp @@ if (length.isValid() && length.toLongLong() > cap) { @@ if (length.isValid() && false) {
analysis-prompt-wrong @@ analysis @@ analysis/OpportunityAnalyzer.cpp @@ u"Return only JSON." @@ u"Return JSON only."
analysis-temperature-wrong @@ analysis @@ analysis/OpportunityAnalyzer.cpp @@ connection, 0.2, @@ connection, 0.3,
confidence-equality-fails @@ analysis @@ analysis/OpportunityAnalyzer.cpp @@ opportunity.confidence >= confidenceThreshold @@ opportunity.confidence > confidenceThreshold
caption-wrong @@ analysis @@ analysis/OpportunityAnalyzer.cpp @@ QStringLiteral(", reason: ") @@ QStringLiteral(", why: ")
recommendation-screenshot-caption @@ analysis @@ analysis/RecommendationEngine.cpp @@ QStringLiteral("Current screenshot: ") @@ QStringLiteral("Screenshot: ")
fence-kept @@ analysis @@ analysis/JSONExtractor.cpp @@ cleaned.remove(QStringLiteral("```json"), Qt::CaseSensitive); @@ ;
answer-frame-not-forced @@ nudge @@ nudge/NudgeCoordinator.cpp @@ captureFrontmostWindow(true) @@ captureFrontmostWindow(false)
stale-answer-lands @@ nudge @@ nudge/NudgeCoordinator.cpp @@ m_appState->currentNudge()->id == nudgeId @@ (nudgeId.isNull() || true)
question-auto-dismiss-wrong @@ nudge @@ nudge/NudgePanelPlacement.h @@ questionSeconds = 60 @@ questionSeconds = 90
card-margin-wrong @@ nudge @@ nudge/NudgePanelPlacement.h @@ margin = 20 @@ margin = 16
not-useful-label @@ nudge @@ nudge/NudgeView.qml @@ text: "Not useful" @@ text: "Not Useful"
no-key-not-setup @@ app @@ app/StartupDecision.cpp @@ return SettingsPresentationMode::Setup; @@ return SettingsPresentationMode::Standard;
oversized-handover-kept @@ app @@ app/SingleInstance.cpp @@ if (end > maxMessageBytes || (end < 0 && pending->buffer.size() > maxMessageBytes)) { @@ if (false) {
interval-label-wrong @@ app @@ app/SettingsController.cpp @@ QStringLiteral(" seconds") @@ QStringLiteral(" s")
menu-title-wrong @@ app @@ app/ShellCommands.cpp @@ QStringLiteral("Pause for 30 min") @@ QStringLiteral("Pause 30 min")
key-caption-wrong @@ app @@ app/SettingsView.qml @@ text: "Stored locally on this computer. @@ text: "Stored on this computer.
right-button-as-left @@ platform @@ platform/x11/RawInputClassifier.cpp @@ return InputEvent{InputEventType::RightMouseDown, 3}; @@ return InputEvent{InputEventType::LeftMouseDown, 3};
drag-not-detected @@ platform @@ platform/x11/RawInputClassifier.cpp @@ if (m_heldButtons.contains(1)) @@ if (m_heldButtons.contains(2))
hidden-window-visible @@ platform @@ platform/x11/SystemFrontmostWindowProvider.cpp @@ facts.alpha = viewable && !hidden ? 1.0 : 0.0; @@ facts.alpha = viewable && !(hidden && false) ? 1.0 : 0.0;
reduction-rounding @@ platform @@ platform/x11/WindowImageReduction.cpp @@ mean |= ((sum + 2) / 4) << shift; @@ mean |= (sum / 4) << shift;
compositor-assumed @@ platform @@ platform/x11/X11WindowHints.cpp @@ const bool owned = reply->owner != XCB_WINDOW_NONE; @@ const bool owned = true;
bidi-override-unescaped @@ model @@ model/Logging.cpp @@ (u >= 0x202A && u <= 0x202E) @@ (u >= 0x202A && u <= 0x202D)
existing-settings-left-open @@ model @@ model/AppState.cpp @@ if (fileInfo.isFile() && !fileInfo.isSymLink() && fileInfo.ownerId() == user && @@ if (fileInfo.isFile() && !fileInfo.isSymLink() && fileInfo.ownerId() == user + 1 &&
stop-leaves-card @@ monitoring @@ monitoring/MonitoringService.cpp @@ m_appState->dismissCurrentNudge(NudgeOutcome::CloseButton); @@ (void)0;
newer-burst-count-reset @@ monitoring @@ monitoring/MonitoringService.cpp @@ if (m_currentActivityBurstID == burstID)\n            m_analysisEligibleCaptureCountSinceLastAnalysis = 0; @@ m_analysisEligibleCaptureCountSinceLastAnalysis = 0;
buffer-rewrites-moved-frames @@ capture @@ capture/ScreenshotDiskStore.cpp @@ source != placedFrames.end()) { @@ false && source != placedFrames.end()) {
default-user-agent @@ analysis @@ analysis/ModelHttpExchange.cpp @@ QByteArrayLiteral("Norvane/" NORVANE_VERSION) @@ QByteArrayLiteral("Mozilla/5.0")
long-tags-overflow @@ nudge @@ nudge/CardTag.qml @@ width: Math.min(implicitWidth, maximumWidth) @@ width: implicitWidth
second-launch-standard @@ app @@ app/AppDelegate.cpp @@ hasKey ? SettingsPresentationMode::Standard : SettingsPresentationMode::Setup @@ hasKey ? SettingsPresentationMode::Standard : SettingsPresentationMode::Standard
badge-label-unreadable @@ app @@ app/StatusBadge.qml @@ badge.theme ? badge.theme.readable(badge.tint, badge.theme.pageColor) : @@ badge.theme ? badge.tint :
button-fill-undarkened @@ app @@ app/TintedButton.qml @@ fill: theme.readable(tint, Qt.rgba(1, 1, 1, 1)) @@ fill: tint
permission-text-as-markup @@ app @@ app/PermissionCard.qml @@ textFormat: Text.PlainText @@ textFormat: Text.AutoText
fading-card-keeps-focus @@ nudge @@ nudge/NudgePanelController.cpp @@     if (m_hiding) {\n        // The card still fading @@     if (false) {\n        // The card still fading
history-cap-off-by-one @@ capture @@ capture/SentRequestLog.h @@ maxEntries = 1000 @@ maxEntries = 999
history-file-not-0600 @@ capture @@ capture/SentRequestLog.cpp @@ if (!file.setPermissions(kPrivateFile)) @@ if (false)
history-kind-wrong @@ analysis @@ analysis/OpportunityAnalyzer.cpp @@ recordSentRequest(SentRequestKind::analysis @@ recordSentRequest(SentRequestKind::recommendation
history-oldest-first @@ capture @@ capture/SentRequestLog.cpp @@ for (auto it = lines.crbegin(); it != lines.crend(); ++it) { @@ for (auto it = lines.cbegin(); it != lines.cend(); ++it) {
retention-age-at-limit-removed @@ capture @@ capture/ScreenshotDiskStore.cpp @@ file.modified.msecsTo(now) > maxAgeSeconds * 1000 @@ file.modified.msecsTo(now) >= maxAgeSeconds * 1000
retention-size-off-by-one @@ capture @@ capture/ScreenshotDiskStore.cpp @@ summary.bytes > maxBytes @@ summary.bytes >= maxBytes
retention-follows-links @@ capture @@ capture/ScreenshotDiskStore.cpp @@ if (entry.isSymLink() || !entry.isFile() @@ if (!entry.isFile()
retention-not-rescheduled @@ app @@ app/CaptureRetention.cpp @@ m_lastPrune = m_clock->now();\n    schedule(); @@ m_lastPrune = m_clock->now();
exclusion-title-case-sensitive @@ capture @@ model/CaptureExclusions.cpp @@ window.windowTitle.contains(pattern, Qt::CaseInsensitive) @@ window.windowTitle.contains(pattern)
exclusion-class-names-ignored @@ capture @@ model/CaptureExclusions.cpp @@ window.classNames.end(), named) @@ window.classNames.begin(), named)
exclusion-emptied-list-comes-back @@ model @@ model/CaptureExclusions.cpp @@ entries.isEmpty() ? QVariant(QString()) : QVariant(entries) @@ QVariant(entries)
exclusion-not-checked @@ capture @@ capture/ScreenshotService.cpp @@ if (m_exclusionSource && m_exclusionSource->captureExclusions().excludes(*window)) { @@ if (false) {
exclusion-corrupt-list-empties @@ model @@ model/CaptureExclusions.cpp @@     return std::nullopt;\n} @@     return QStringList();\n}
budget-gap-ignored @@ model @@ model/AppState.cpp @@ lastHour.last().addSecs(60 * m_nudgeGapMinutes) @@ lastHour.last()
budget-cap-off-by-one @@ model @@ model/AppState.cpp @@ if (lastHour.size() >= m_nudgesPerHour) @@ if (lastHour.size() > m_nudgesPerHour)
budget-uploads-anyway @@ monitoring @@ monitoring/MonitoringService.cpp @@ allows no card now";\n        co_return true; @@ allows no card now";
full-screen-ignored @@ monitoring @@ monitoring/MonitoringService.cpp @@ if (window && window->isFullScreen && !window->isOwnApp) { @@ if (false) {
full-screen-not-read @@ platform @@ platform/x11/SystemFrontmostWindowProvider.cpp @@ facts.fullScreen || states[i] == atoms[Atom::NetWmStateFullScreen] @@ facts.fullScreen
snooze-holds-nothing @@ nudge @@ model/AppState.cpp @@ m_snoozedUntil = m_clock->now().addSecs(qint64(snoozeMinutes * 60)); @@ m_snoozedUntil = m_clock->now();
reshown-before-withdrawn @@ nudge @@ platform/x11/X11WindowHints.cpp @@ waitUntilWithdrawn(connection, window); @@ (void)&waitUntilWithdrawn;
i18n-text-left-in-english @@ app @@ ../translations/norvane_de.ts @@ <translation>Vorschlag anzeigen</translation> @@ <translation type="unfinished"></translation>
i18n-translator-not-installed @@ app @@ app/Translations.cpp @@ if (translator->load(locale, name, QStringLiteral("_"), folder) &&\n            QCoreApplication::installTranslator(translator)) @@ if (translator->load(locale, name, QStringLiteral("_"), folder))
i18n-diagnostics-shown-in-english @@ app @@ app/SettingsController.cpp @@ translatedDiagnosticsDetail(m_appState->nudgeDiagnostics().detail) @@ m_appState->nudgeDiagnostics().detail
i18n-detail-template-cut-short @@ app @@ app/Translations.cpp @@ pattern += QRegularExpression::escape(source.mid(from)); @@ ;
cli-pause-limit-off-by-one @@ app @@ app/CommandLine.cpp @@ minutes <= RemoteCommand::maxPauseMinutes @@ minutes <= RemoteCommand::maxPauseMinutes + 1
cli-two-commands-taken @@ app @@ app/CommandLine.cpp @@ if (given > 1) @@ if (given > 2)
cli-silence-taken-for-not-running @@ app @@ app/SingleInstance.cpp @@ if (end < 0)\n        return {Answer::Outcome::NoAnswer, {}}; @@ if (end < 0)\n        return {Answer::Outcome::NotRunning, {}};
cli-malformed-dropped @@ app @@ app/SingleInstance.cpp @@ answer(reply(1, tr("Norvane could not read the request."))); @@ socket->abort();
desk-bus-unchanged-properties-announced @@ desktop @@ app/SessionBusService.cpp @@ if (m_announced.value(it.key()) != it.value()) @@ if (true)
desk-failure-notices-not-rationed @@ desktop @@ app/FailureNotifier.cpp @@ Clock::secondsBetween(*m_lastNotice, now) < noticeIntervalSeconds @@ Clock::secondsBetween(*m_lastNotice, now) < 0
desk-success-keeps-failure-count @@ desktop @@ app/FailureNotifier.cpp @@ m_failuresInARow = 0;\n        return; @@ return;
desk-autostart-exec-unquoted @@ desktop @@ app/LoginStartup.cpp @@ text = u'"' + quoted + u'"'; @@ (void)quoted;
chat-json-mode-forgotten @@ analysis @@ analysis/OpenAICompatibleClient.cpp @@ m_refusesJsonObject.insert(server); @@ (void)server;
chat-bearer-without-key @@ analysis @@ analysis/OpenAICompatibleClient.cpp @@ if (!connection.apiKey.isEmpty())\n        headers.append @@ headers.append
chat-string-error-ignored @@ analysis @@ analysis/OpenAICompatibleClient.cpp @@ .arg(statusCode), true); @@ .arg(statusCode), false);
provider-not-routed @@ analysis @@ analysis/ModelClients.cpp @@ connection.provider == ModelProvider::OpenAICompatible @@ connection.provider == ModelProvider::Gemini
provider-key-crosses @@ app @@ model/AppState.cpp @@ m_openAIModel.trimmed(), m_openAIApiKey.trimmed()} @@ m_openAIModel.trimmed(), m_apiKey.trimmed()}
plain-http-anywhere @@ model @@ model/ModelConnection.cpp @@ if (scheme == QLatin1String("http") && !isLoopbackHost(baseURL.host())) @@ if (false)
gemini-model-ignored @@ analysis @@ analysis/GeminiClient.cpp @@ QStringLiteral("/v1beta/models/") + model + @@ QStringLiteral("/v1beta/models/") + modelIdentifier +
local-destination-unsaid @@ model @@ model/ModelConnection.cpp @@ return QStringLiteral("a model on this computer"); @@ return baseURL.host();
keyless-server-not-ready @@ monitoring @@ model/AppState.cpp @@ return connection.needsApiKey() ? !connection.apiKey.isEmpty() : connection.problem().isEmpty(); @@ return !connection.apiKey.isEmpty();
portal-persist-mode-not-2 @@ wayland @@ platform/wayland/PortalScreenCast.cpp @@ kPersistUntilRevoked = 2; @@ kPersistUntilRevoked = 0;
portal-token-not-saved @@ wayland @@ platform/wayland/PortalScreenCast.cpp @@ m_saveToken(token); @@ (void)token;
portal-stream-kept-after-frame @@ wayland @@ platform/wayland/PipeWireFrameGrab.cpp @@ m_grabbing = false;\n    endStream(); @@ m_grabbing = false;
portal-rgbx-read-as-bgrx @@ wayland @@ platform/wayland/PipeWireFrameGrab.cpp @@ layout = QImage::Format_RGBX8888; @@ layout = QImage::Format_RGB32;
portal-monitor-place-dropped @@ wayland @@ platform/wayland/PortalScreenCast.cpp @@ first->monitorArea = QRect(*position, QSize(size->x(), size->y())); @@ first->monitorArea.reset();
wayland-backend-override-ignored @@ wayland @@ platform/DesktopBackendChoice.cpp @@ if (requested == QLatin1String("x11")) @@ if (false)
wayland-activity-never-idles @@ wayland @@ platform/wayland/WaylandActivitySource.cpp @@ void WaylandActivitySource::idled() {\n    m_activeTick.stop(); @@ void WaylandActivitySource::idled() {
wayland-own-window-overlap-ignored @@ wayland @@ platform/wayland/WaylandWindowCapture.cpp @@ if (ownRect.intersects(*place)) { @@ if (ownRect.intersects(*place) && false) {
wayland-whole-screen-with-own-window @@ wayland @@ platform/wayland/WaylandWindowCapture.cpp @@ if (!placesKnown && ownWindowShowing()) { @@ if (!placesKnown && ownWindowShowing() && false) {
wayland-unplaced-window-whole-output @@ wayland @@ platform/wayland/WaylandWindowCapture.cpp @@ if (placesKnown && !place) @@ if (false)
wayland-cut-out-unscaled @@ wayland @@ platform/wayland/WaylandWindowCapture.cpp @@ sx = double(frame.width()) / area.width(), sy = double(frame.height()) / area.height(); @@ sx = 1.0, sy = 1.0;
consent-not-awaited @@ monitoring @@ monitoring/MonitoringService.cpp @@ if (m_permissions->canAskForCaptureConsent()) { @@ if (false) {
consent-cards-stale @@ app @@ app/SettingsController.cpp @@ self->m_askingForCaptureConsent = false;\n        self->refreshPermissions(); @@ self->m_askingForCaptureConsent = false;
EOF
)

log() { printf '%s\n' "$*" >&2; }

mkdir -p "$WORK/tree" "$WORK/logs"
# Refresh the copy. A copy of the same source as last time keeps its files' times, so the build only redoes
# what changed; a copy of another source gets fresh times throughout, because older times than those of
# the objects built from the previous copy would leave those objects (and generated files) in place.
source_id=$(if [ -n "$REVISION" ]; then git -C "$ROOT" rev-parse "$REVISION"; else
    (cd "$ROOT" && git rev-parse HEAD && git diff HEAD | sha1sum); fi | sha1sum)
keep_times=
[ "$(cat "$WORK/source-id" 2>/dev/null)" = "$source_id" ] && keep_times=yes
find "$WORK/tree" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +
extract() { if [ -n "$keep_times" ]; then tar -xf - -C "$WORK/tree"; else tar -xmf - -C "$WORK/tree"; fi; }
if [ -n "$REVISION" ]; then
    git -C "$ROOT" archive "$REVISION" | extract
else
    (cd "$ROOT" && git ls-files -co --exclude-standard -z | tar --null -T - -cf -) | extract
fi
echo "$source_id" >"$WORK/source-id"

if command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
fi
(cd "$WORK/tree" && cmake --preset default) >"$WORK/logs/configure.log"
log "building the unchanged copy"
cmake --build "$BUILD" >"$WORK/logs/build.log" 2>&1 || { log "the unchanged copy does not build"; exit 1; }

labels=$(printf '%s\n' "$MUTATIONS" | awk -F' @@ ' -v filter="$FILTER" '$1 ~ filter {print $2}' |
    sort -u | paste -sd'|')
log "running the unchanged tests ($labels)"
# A test that fails once under load and passes when run again is not taken for a fault.
run_tests() {
    ctest --test-dir "$BUILD" -j2 "$@" || ctest --test-dir "$BUILD" --rerun-failed
}
if ! run_tests -L "^($labels)\$" >"$WORK/logs/baseline.log" 2>&1; then
    log "the unchanged tests fail; see $WORK/logs/baseline.log"
    exit 1
fi

# An interrupted run puts the planted file back too, with a fresh time stamp so the next build redoes it.
target=
restore() { if [ -n "$target" ] && [ -f "$WORK/original" ]; then cp "$WORK/original" "$target"; fi; }
trap restore EXIT
trap 'exit 130' INT TERM

killed=0 survived=0 skipped=0
: >"$RESULTS"
while IFS= read -r line; do
    [ -n "$line" ] || continue
    name=${line%% @@ *}; rest=${line#* @@ }
    label=${rest%% @@ *}; rest=${rest#* @@ }
    file=${rest%% @@ *}; rest=${rest#* @@ }
    from=${rest%% @@ *}; to=${rest#* @@ }
    [ "$to" != "$rest" ] || to=""
    if [ -n "$FILTER" ] && ! [[ $name =~ $FILTER ]]; then continue; fi
    target=$WORK/tree/src/$file
    cp "$target" "$WORK/original"
    if ! FROM=$from TO=$to perl -0777 -i -pe '
            BEGIN { ($f, $t) = map { s/\\n/\n/gr } @ENV{qw(FROM TO)} }
            $n += s/\Q$f\E/$t/; END { exit($n ? 0 : 3) }' "$target"; then
        result=not-applied
        skipped=$((skipped + 1))
    elif ! cmake --build "$BUILD" >"$WORK/logs/$name.build.log" 2>&1; then
        result=no-build
        skipped=$((skipped + 1))
    elif run_tests -L "^$label\$" --stop-on-failure >"$WORK/logs/$name.test.log" 2>&1; then
        result=survived
        survived=$((survived + 1))
    else
        result=killed
        killed=$((killed + 1))
    fi
    # A fresh time stamp, so the next build puts the original back.
    cp "$WORK/original" "$target"
    target=
    printf '%-11s %s (%s)\n' "$result" "$name" "$label" | tee -a "$RESULTS"
done <<<"$MUTATIONS"
cmake --build "$BUILD" >/dev/null 2>&1 || true
printf 'mutations: %d killed, %d survived, %d not applied or not built\n' "$killed" "$survived" "$skipped" |
    tee -a "$RESULTS"
