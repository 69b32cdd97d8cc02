// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QCoroTask>
#include <QImage>
#include <QObject>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

struct spa_pod;

namespace norvane {

// A picture from a PipeWire video buffer in one of the layouts the stream offers (SPA_VIDEO_FORMAT_BGRx,
// RGBx, BGRA, RGBA), copied out as an opaque QImage::Format_RGB32. Nothing for any other layout or for a
// buffer too small for its size.
std::optional<QImage> imageFromVideoBuffer(const void* data, std::size_t size, int width, int height,
                                           int stride, uint32_t spaVideoFormat);

// One connection to a PipeWire remote (as the screen-cast portal hands it out), driven from Qt's event
// loop. It pulls single frames: each grab connects a stream to the node, keeps the first whole frame and
// disconnects again, so between grabs nothing is captured or decoded.
class PipeWireFrameGrab : public QObject {
    Q_OBJECT
public:
    // Takes `remoteFd` over, also on failure. Null when PipeWire cannot use it.
    static std::unique_ptr<PipeWireFrameGrab> connectToRemote(int remoteFd);
    ~PipeWireFrameGrab() override;

    // False after the remote hung up or failed; the owner then opens a new one.
    bool isUsable() const { return !m_broken; }

    QCoro::Task<std::optional<QImage>> grab(uint32_t nodeId, std::chrono::milliseconds timeout);

Q_SIGNALS:
    void grabEnded();

private:
    struct Pw;
    PipeWireFrameGrab();
    void dispatch();
    void endStream();
    void endGrabSoon();
    void onParamChanged(uint32_t id, const ::spa_pod* param);
    void onProcess();

    std::unique_ptr<Pw> m_pw;
    bool m_broken = false;
    uint32_t m_format = 0;
    int m_width = 0, m_height = 0;
    std::optional<QImage> m_frame;
    bool m_grabbing = false;
    quint64 m_grabs = 0;
};

} // namespace norvane
