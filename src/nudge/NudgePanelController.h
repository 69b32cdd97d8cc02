// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "NudgePanelPlacement.h"
#include "model/AppState.h"
#include "model/Cancellation.h"
#include "model/Clock.h"
#include "model/ServiceInterfaces.h"
#include "monitoring/InputEventSource.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QPropertyAnimation;
class QQuickItem;
class QQuickView;
class QVariantAnimation;
class QWindow;

namespace norvane {

class NudgeCoordinator;

// Shows the nudge card in a small frameless window in the bottom-right corner of the screen under the
// pointer, without taking focus from the application the user is working in. It slides the card in,
// fades it out, dismisses the nudge by itself after a while, and treats a click anywhere outside the
// card as closing it. AppState calls it after every change of the current nudge; it changes the nudge
// only through dismissCurrentNudge(). Main thread only.
class NudgePanelController : public QObject, public NudgePresenting {
    Q_OBJECT

public:
    // Runs on the panel window before every show, for desktop hints Qt has no words for (keeping the
    // panel out of the taskbar and the pager).
    using WindowPreparer = std::function<void(QWindow*)>;

    // `inputEvents` reports clicks anywhere on the desktop; without one, only clicks in this program's own
    // windows close the card. Neither it nor the coordinator is owned.
    NudgePanelController(AppState* appState, NudgeCoordinator* coordinator, Clock* clock,
                         InputEventSource* inputEvents, WindowPreparer prepareWindow = {},
                         QObject* parent = nullptr);
    ~NudgePanelController() override;

    // Draws the card in `window` with rounded, see-through corners, or square and opaque where nothing
    // composites windows.
    static void setTranslucent(QWindow* window, bool translucent);

    // The process-wide instance (defined by the application's composition root).
    static NudgePanelController* shared();

    // The card's QML file, compiled into this library.
    static QUrl viewUrl();

    void presentOrUpdate() override;
    void dismiss() override;

    // The panel window once the first nudge was presented; kept for the life of the controller.
    QQuickView* panel() const { return m_panel.get(); }
    // Shown, or on its way in; false once a fade-out has begun.
    bool isShowing() const;
    bool hasPendingAutoDismiss() const { return m_autoDismissTask && !m_autoDismissTask->isCancelled(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private Q_SLOTS:
    void acceptFocusForTyping();

private:
    void createPanel();
    std::optional<qreal> fittingHeight() const;
    QRect frameForCurrentNudge() const;
    void animateFrame(const QRect& target);
    void refitToCard();
    void scheduleAutoDismiss();
    QCoro::Task<> autoDismissAfter(double seconds, CancellationToken token);
    void installLocalClickMonitor();
    void watchDesktopClicks(bool watch);
    void handleDesktopEvent(const InputEvent& event);
    void handleClick(const QPointF& globalPosition);
    void finishHiding();

    QPointer<AppState> m_appState;
    QPointer<NudgeCoordinator> m_coordinator;
    Clock* m_clock;
    InputEventSource* m_inputEvents;
    WindowPreparer m_prepareWindow;
    std::optional<InputEventSource::ListenerId> m_desktopClickListener;
    std::unique_ptr<QQuickView> m_panel;
    QPointer<QQuickItem> m_card;
    QVariantAnimation* m_frameAnimation = nullptr;
    QPropertyAnimation* m_opacityAnimation = nullptr;
    bool m_hiding = false;
    bool m_localMonitorInstalled = false;
    std::optional<CancellationSource> m_autoDismissTask;
};

} // namespace norvane
