#pragma once

// FakeMonitoringControl lives with the other fakes.
#include "Fakes.h"
