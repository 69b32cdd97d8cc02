#pragma once

// FakeRecommendationEngine lives with the other fakes.
#include "Fakes.h"
