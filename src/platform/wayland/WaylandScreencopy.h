// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QCoroTask>
#include <QImage>
#include <QObject>
#include <QRect>

#include <memory>
#include <optional>

struct wl_output;
struct zwlr_screencopy_manager_v1;

namespace norvane {

class WaylandConnection;

// Copies what an output shows through wlroots' screencopy, which needs no consent dialog. The copy goes
// through one shared-memory buffer, reused while the size stays the same.
class WaylandScreencopy : public QObject {
    Q_OBJECT
public:
    explicit WaylandScreencopy(WaylandConnection* connection, QObject* parent = nullptr);
    ~WaylandScreencopy() override;

    bool isAvailable();

    // `region` is in the output's logical coordinates; empty means the whole output. The picture comes
    // in the output's own pixels (a scaled output gives more pixels than the region's size). Nothing
    // when the compositor refuses or does not answer within two seconds.
    QCoro::Task<std::optional<QImage>> capture(wl_output* output, QRect region = {});

private:
    struct Buffer;
    struct Frame;
    void forget();

    WaylandConnection* m_connection;
    zwlr_screencopy_manager_v1* m_manager = nullptr;
    uint32_t m_version = 0;
    std::unique_ptr<Buffer> m_buffer;
    bool m_busy = false; // one copy at a time: the buffer is shared
};

} // namespace norvane
