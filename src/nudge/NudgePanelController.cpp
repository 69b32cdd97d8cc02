// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "NudgePanelController.h"

#include "NudgeCoordinator.h"
#include "model/Logging.h"

#include <QCursor>
#include <QEasingCurve>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QSurfaceFormat>
#include <QVariantAnimation>

namespace norvane {

namespace {

constexpr Qt::WindowFlags kPanelFlags =
    Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus;

QList<ScreenArea> currentScreens() {
    QList<ScreenArea> screens;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary)
        screens.append({primary->geometry(), primary->availableGeometry()});
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen != primary)
            screens.append({screen->geometry(), screen->availableGeometry()});
    }
    return screens;
}

} // namespace

NudgePanelController::NudgePanelController(AppState* appState, NudgeCoordinator* coordinator, Clock* clock,
                                           InputEventSource* inputEvents, WindowPreparer prepareWindow,
                                           QObject* parent)
    : QObject(parent), m_appState(appState), m_coordinator(coordinator), m_clock(clock),
      m_inputEvents(inputEvents), m_prepareWindow(std::move(prepareWindow)) {}

NudgePanelController::~NudgePanelController() {
    if (m_autoDismissTask)
        m_autoDismissTask->cancel();
    watchDesktopClicks(false);
    if (m_localMonitorInstalled && qApp)
        qApp->removeEventFilter(this);
    // The animations are children of this object and hold the panel as their target: stop them first.
    if (m_frameAnimation)
        m_frameAnimation->stop();
    if (m_opacityAnimation)
        m_opacityAnimation->stop();
}

QUrl NudgePanelController::viewUrl() {
    return QUrl(QStringLiteral("qrc:/Norvane/Nudge/NudgeView.qml"));
}

bool NudgePanelController::isShowing() const {
    return m_panel && m_panel->isVisible() && !m_hiding;
}

// MARK: - Presentation

void NudgePanelController::presentOrUpdate() {
    if (!m_appState || !m_appState->currentNudge()) {
        dismiss();
        return;
    }
    if (!m_panel)
        createPanel();

    if (m_hiding) {
        // The card still fading out belongs to a closed nudge and may hold the focus its answer field
        // took; the new one appears afresh, without taking focus.
        m_opacityAnimation->stop();
        finishHiding();
    }
    const QRect target = frameForCurrentNudge();
    if (m_panel->isVisible()) {
        // Shown: follow the new face to its frame.
        animateFrame(target);
    } else {
        m_panel->setFlags(kPanelFlags);
        m_panel->setGeometry(target.translated(0, nudgePanel::slideOffset));
        m_panel->setOpacity(0);
        if (m_prepareWindow)
            m_prepareWindow(m_panel.get());
        m_panel->show();
        watchDesktopClicks(true);
        animateFrame(target);
    }
    qCInfo(lcNudgePanelController).noquote()
        << "Showing the nudge card in phase" << m_appState->currentNudge()->phaseName();
    scheduleAutoDismiss();
}

void NudgePanelController::dismiss() {
    if (m_autoDismissTask)
        m_autoDismissTask->cancel();
    if (!m_panel || !m_panel->isVisible() || m_hiding)
        return;
    m_hiding = true;
    m_frameAnimation->stop();
    m_opacityAnimation->stop();
    m_opacityAnimation->setDuration(nudgePanel::hideMilliseconds);
    m_opacityAnimation->setEasingCurve(QEasingCurve::InCubic);
    m_opacityAnimation->setStartValue(m_panel->opacity());
    m_opacityAnimation->setEndValue(0.0);
    m_opacityAnimation->start();
}

void NudgePanelController::finishHiding() {
    if (!m_hiding || !m_panel)
        return;
    m_hiding = false;
    m_panel->hide();
    watchDesktopClicks(false);
    // The next card must again appear without taking focus.
    m_panel->setFlags(kPanelFlags);
    qCInfo(lcNudgePanelController) << "The nudge card is hidden";
}

void NudgePanelController::setTranslucent(QWindow* window, bool translucent) {
    auto* view = qobject_cast<QQuickView*>(window);
    if (!view || !view->rootObject())
        return;
    view->rootObject()->setProperty("translucent", translucent);
}

void NudgePanelController::createPanel() {
    m_panel = std::make_unique<QQuickView>();
    m_panel->setTitle(QStringLiteral("Norvane"));
    m_panel->setFlags(kPanelFlags);
    // Qt's xcb backend reads this before mapping: the window is shown without being activated.
    m_panel->setProperty("_q_showWithoutActivating", true);
    QSurfaceFormat format = m_panel->format();
    format.setAlphaBufferSize(8);
    m_panel->setFormat(format);
    m_panel->setColor(Qt::transparent);
    m_panel->setResizeMode(QQuickView::SizeRootObjectToView);

    if (m_appState)
        QQmlEngine::setObjectOwnership(m_appState.data(), QQmlEngine::CppOwnership);
    if (m_coordinator)
        QQmlEngine::setObjectOwnership(m_coordinator.data(), QQmlEngine::CppOwnership);
    m_panel->setInitialProperties(
        {{QStringLiteral("appState"), QVariant::fromValue<QObject*>(m_appState.data())},
         {QStringLiteral("coordinator"), QVariant::fromValue<QObject*>(m_coordinator.data())}});
    m_panel->setSource(viewUrl());
    if (m_panel->status() != QQuickView::Ready) {
        for (const QQmlError& error : m_panel->errors())
            qCCritical(lcNudgePanelController).noquote()
                << "The nudge card failed to load:" << error.toString();
    }
    m_card = m_panel->rootObject();
    if (m_card) {
        connect(m_card, SIGNAL(answerFieldPressed()), this, SLOT(acceptFocusForTyping()));
        connect(m_card, &QQuickItem::implicitHeightChanged, this, &NudgePanelController::refitToCard);
    }

    m_frameAnimation = new QVariantAnimation(this);
    m_frameAnimation->setDuration(nudgePanel::showMilliseconds);
    m_frameAnimation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_frameAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        if (m_panel)
            m_panel->setGeometry(value.toRect());
    });
    m_opacityAnimation = new QPropertyAnimation(m_panel.get(), "opacity", this);
    connect(m_opacityAnimation, &QPropertyAnimation::finished, this, &NudgePanelController::finishHiding);

    installLocalClickMonitor();
}

std::optional<qreal> NudgePanelController::fittingHeight() const {
    if (!m_card)
        return std::nullopt;
    // Layouts compute their implicit size lazily; asking the content for it brings the card up to date
    // with the nudge that just changed.
    if (auto* content = m_card->findChild<QQuickItem*>(QStringLiteral("cardContent")))
        content->implicitHeight();
    return m_card->implicitHeight();
}

QRect NudgePanelController::frameForCurrentNudge() const {
    return nudgePanel::frame(currentScreens(), QCursor::pos(), nudgePanel::height(fittingHeight()));
}

void NudgePanelController::animateFrame(const QRect& target) {
    m_frameAnimation->stop();
    m_frameAnimation->setStartValue(m_panel->geometry());
    m_frameAnimation->setEndValue(target);
    m_frameAnimation->start();

    m_opacityAnimation->stop();
    m_opacityAnimation->setDuration(nudgePanel::showMilliseconds);
    m_opacityAnimation->setEasingCurve(QEasingCurve::OutCubic);
    m_opacityAnimation->setStartValue(m_panel->opacity());
    m_opacityAnimation->setEndValue(1.0);
    m_opacityAnimation->start();
}

void NudgePanelController::refitToCard() {
    if (!isShowing())
        return;
    // The card grew or shrank (a longer text, an error line): keep the bottom edge where it is.
    const QRect current = m_frameAnimation->state() == QAbstractAnimation::Running
                              ? m_frameAnimation->endValue().toRect()
                              : m_panel->geometry();
    const int height = nudgePanel::height(fittingHeight());
    if (height == current.height())
        return;
    QRect target = current;
    target.setTop(current.bottom() + 1 - height);
    target.setHeight(height);
    if (m_frameAnimation->state() == QAbstractAnimation::Running) {
        m_frameAnimation->setEndValue(target);
    } else {
        m_panel->setGeometry(target);
    }
}

// MARK: - Auto-dismiss

void NudgePanelController::scheduleAutoDismiss() {
    if (m_autoDismissTask)
        m_autoDismissTask->cancel();
    m_autoDismissTask.reset();
    if (!m_appState || !m_appState->currentNudge())
        return;
    const double seconds = m_appState->currentNudge()->phase == NudgePhase::Recommendation
                               ? nudgePanel::recommendationSeconds
                               : nudgePanel::questionSeconds;
    m_autoDismissTask.emplace();
    autoDismissAfter(seconds, m_autoDismissTask->token());
}

QCoro::Task<> NudgePanelController::autoDismissAfter(double seconds, CancellationToken token) {
    QPointer<NudgePanelController> self(this);
    co_await m_clock->sleep(seconds, token);
    if (token.isCancelled() || !self)
        co_return;
    qCInfo(lcNudgePanelController) << "The nudge was left alone; dismissing it";
    if (self->m_appState)
        self->m_appState->dismissCurrentNudge(NudgeOutcome::AutoDismissed);
    if (self)
        self->dismiss();
}

// MARK: - Clicks and focus

void NudgePanelController::installLocalClickMonitor() {
    // Clicks delivered to this program's own windows (the card itself, the settings window, menus).
    if (!m_localMonitorInstalled && qApp) {
        qApp->installEventFilter(this);
        m_localMonitorInstalled = true;
    }
}

void NudgePanelController::watchDesktopClicks(bool watch) {
    // Only while the card is on screen: the desktop-wide source wakes this process for every input
    // event while anyone listens, and a hidden card has nothing to close.
    if (!m_inputEvents || watch == m_desktopClickListener.has_value())
        return;
    if (!watch) {
        m_inputEvents->stop(*m_desktopClickListener);
        m_desktopClickListener.reset();
        return;
    }
    if (!m_inputEvents->isAvailable()) {
        qCInfo(lcNudgePanelController).noquote()
            << "Only clicks in Norvane's own windows close the card:" << m_inputEvents->unavailableReason();
        return;
    }
    QPointer<NudgePanelController> self(this);
    m_desktopClickListener = m_inputEvents->start([self](const InputEvent& event) {
        if (self)
            self->handleDesktopEvent(event);
    });
}

void NudgePanelController::handleDesktopEvent(const InputEvent& event) {
    if (event.type != InputEventType::LeftMouseDown && event.type != InputEventType::RightMouseDown)
        return;
    if (!m_panel || !m_panel->isVisible() || !m_inputEvents)
        return;
    const std::optional<QPoint> native = m_inputEvents->pointerPosition();
    if (!native)
        return;
    // The source reports device pixels; the panel's frame is in Qt's scaled coordinates.
    handleClick(QPointF(*native) / m_panel->devicePixelRatio());
}

bool NudgePanelController::eventFilter(QObject* watched, QEvent* event) {
    // Each click reaches its top-level QWindow first; widgets see it again afterwards, so only the
    // window's copy counts.
    if (event->type() == QEvent::MouseButtonPress && watched->isWindowType()) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton || mouse->button() == Qt::RightButton)
            handleClick(mouse->globalPosition());
    }
    return QObject::eventFilter(watched, event);
}

void NudgePanelController::handleClick(const QPointF& globalPosition) {
    if (!m_panel || !m_panel->isVisible() || !m_appState)
        return;
    if (QRectF(m_panel->geometry()).contains(globalPosition))
        return;
    if (!m_appState->currentNudge())
        return;
    qCInfo(lcNudgePanelController) << "A click outside the card closes the nudge";
    m_appState->dismissCurrentNudge(NudgeOutcome::CloseButton);
}

void NudgePanelController::acceptFocusForTyping() {
    if (!m_panel || !m_panel->isVisible())
        return;
    // Shown without focus so the user's application keeps it; once the user clicks into the answer
    // field, the panel takes keystrokes.
    if (m_panel->flags().testFlag(Qt::WindowDoesNotAcceptFocus))
        m_panel->setFlags(m_panel->flags() & ~Qt::WindowDoesNotAcceptFocus);
    m_panel->requestActivate();
}

} // namespace norvane
