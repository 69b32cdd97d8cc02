// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// Arbitrary HTTP status codes and bodies through the client's reading of a finished exchange. The
// first two bytes choose the status; the rest is the body.

#include "analysis/GeminiClient.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace norvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const int status = 100 + (data[0] << 8 | data[1]) % 500;
    const QByteArray body(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));

    const auto result = GeminiClient::interpretResponse(status, body);
    if (result) {
        // A reply is trimmed and never empty, and only a success status gives one.
        if (result->isEmpty() || *result != result->trimmed() || status < 200 || status > 299)
            std::abort();
        return 0;
    }
    // Every failure says something the user can read.
    if (result.error().description().trimmed().isEmpty())
        std::abort();
    if (status >= 200 && status <= 299 && result.error().kind() == GeminiClientError::Kind::ApiError)
        std::abort();
    if ((status < 200 || status > 299) && result.error().kind() != GeminiClientError::Kind::ApiError)
        std::abort();
    return 0;
}
