#include "support/LogException.h"

#include <stdexcept>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace Zovazaz;
using testing::StrEq;
using testing::ThrowsMessage;

namespace
{

const Log::SourceLocation Here{"src/Strings.cpp", "void Zovazaz::StringsResource::SetId()", 42};

struct OtherFailure : std::exception
{
    const char* what() const noexcept override { return "other"; }
};

} // namespace

TEST(LogException, ReportsAssertionsAsErrorsAndRuntimeFailuresAsInformation)
{
    EXPECT_EQ(FormatSourceLocation({"a.cpp", nullptr, -3}), "a.cpp(-3): error: ");
    EXPECT_EQ(FormatSourceLocation({nullptr, nullptr, 42}), "");

    std::string out;
    const std::string report =
        LogException(out, Here, std::invalid_argument("text != nullptr"), "text != nullptr");
    EXPECT_EQ(report,
              "src/Strings.cpp(42): error: assert failed: text != nullptr, text != nullptr");
    EXPECT_EQ(out, report);

    LogException(out, Here, std::runtime_error("encoder refused"), "encoder != nullptr");
    EXPECT_EQ(out,
              "src/Strings.cpp(42): information: runtime condition failed: encoder != nullptr, "
              "encoder refused");

    // Without detail only the text follows, and an empty text leaves the detail.
    const std::string failed = "src/Strings.cpp(42): error: assert failed: ";
    EXPECT_EQ(LogException(out, Here, std::logic_error("broken"), nullptr), failed + "broken");
    EXPECT_EQ(LogException(out, Here, std::logic_error("broken"), ""), failed + "broken");
    EXPECT_EQ(LogException(out, Here, std::logic_error(""), "x > 0"), failed + "x > 0");
    EXPECT_EQ(LogException(out, Here, OtherFailure(), "detail"), "detail, other");

    // Assertions throw invalid_argument, runtime conditions runtime_error;
    // the message, when given, is their text rather than the condition.
    EXPECT_THAT([] { ThrowAssertionFailure(Here, "size must be even", "size % 2 == 0"); },
                ThrowsMessage<std::invalid_argument>(StrEq("size must be even")));
    EXPECT_THAT([] { ThrowRuntimeConditionFailure(Here, nullptr, "encoder != nullptr"); },
                ThrowsMessage<std::runtime_error>(StrEq("encoder != nullptr")));
}
