#include <gtest/gtest.h>
#include "qvx/SimpleQvxDecoder.h"
TEST(Smoke, Constructs) { Vantrel::QVX::SimpleQvxDecoder d; EXPECT_STREQ(d.lastError(), ""); }
