#pragma once

#include <QString>

namespace norvane::testing {

// The two prompts written out in full, so that any change to them in the code is caught. They live
// apart from the test classes because moc misreads raw string literals.
QString expectedAnalysisPrompt();
// The recommendation prompt for a slow-workflow opportunity observed as "Switching between Mail and
// Numbers to copy order numbers." and the answer "Collecting order numbers\nfrom 40 emails  ".
QString expectedRecommendationPrompt();

} // namespace norvane::testing
