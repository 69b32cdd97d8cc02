// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// Arbitrary model replies through the JSON extraction and both envelope decoders. Any crash, hang,
// sanitizer report or broken promise of the result (below) is a finding.

#include "analysis/JSONExtractor.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace norvane;

namespace {

// A failure is always one of the two kinds the extraction promises, and always says something.
template <typename Result> void checkFailure(const Result& result) {
    if (result)
        return;
    const auto kind = result.error().kind();
    if (kind != GeminiClientError::Kind::InvalidResponse && kind != GeminiClientError::Kind::Decoding)
        std::abort();
    if (result.error().description().isEmpty())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));

    const auto opportunity =
        JSONExtractor::decode<std::optional<Opportunity>>(text, decodeOpportunityEnvelope);
    checkFailure(opportunity);
    if (opportunity && opportunity->has_value() && rawValue((*opportunity)->category).isEmpty())
        std::abort();

    checkFailure(JSONExtractor::decode<Recommendation>(text, decodeRecommendationEnvelope));

    // An object needs both braces, so text without them can only be unreadable.
    if (!JSONExtractor::braceSpan(JSONExtractor::cleanedText(text))) {
        if (opportunity || opportunity.error().kind() != GeminiClientError::Kind::InvalidResponse)
            std::abort();
    }
    return 0;
}
