#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "host/Text.h"

using testing::HasSubstr;
using testing::ThrowsMessage;

TEST(PanelText, MissingFontNamesThePackageThatProvidesIt)
{
    EXPECT_THAT([] { EffectHost::TextRenderer renderer("/nonexistent/DejaVuSans.ttf"); },
                ThrowsMessage<std::runtime_error>(HasSubstr("fonts-dejavu-core")));
}
