// Records built one by one: limits, object slots and states that the real files do not reach.
#include <gtest/gtest.h>

#include "MetaTestSupport.h"
#include "gfx/meta/GfxMeta.h"
#include "support/TestSupport.h"

namespace {} // namespace
