#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "host/Text.h"

using namespace EffectHost;

TEST(PanelText, MissingFontNamesThePackageThatProvidesIt)
{
    try
    {
        TextRenderer renderer("/nonexistent/DejaVuSans.ttf");
        FAIL() << "a missing font was accepted";
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_NE(std::string(error.what()).find("fonts-dejavu-core"), std::string::npos);
    }
}
