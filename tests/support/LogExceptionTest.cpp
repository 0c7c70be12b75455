#include "support/LogException.h"

#include <stdexcept>

#include <gtest/gtest.h>

using namespace Zovazaz;

namespace
{

const Log::SourceLocation Here{"src/Strings.cpp", "void Zovazaz::StringsResource::SetId()", 42};

struct OtherFailure : std::exception
{
    const char* what() const noexcept override { return "other"; }
};

} // namespace

TEST(FormatSourceLocation, GivesFileLineAndKindOrNothingWithoutFileAndFunction)
{
    EXPECT_EQ(FormatSourceLocation(Here), "src/Strings.cpp(42): error: ");
    EXPECT_EQ(FormatSourceLocation(Here, "information"), "src/Strings.cpp(42): information: ");
    EXPECT_EQ(FormatSourceLocation({"a.cpp", nullptr, -3}), "a.cpp(-3): error: ");
    EXPECT_EQ(FormatSourceLocation({nullptr, nullptr, 42}), "");
}

TEST(LogException, ReportsAssertionsAsErrorsAndRuntimeFailuresAsInformation)
{
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
    LogException(out, Here, std::logic_error("broken"), nullptr);
    EXPECT_EQ(out, "src/Strings.cpp(42): error: assert failed: broken");
    LogException(out, Here, std::logic_error("broken"), "");
    EXPECT_EQ(out, "src/Strings.cpp(42): error: assert failed: broken");
    LogException(out, Here, std::logic_error(""), "x > 0");
    EXPECT_EQ(out, "src/Strings.cpp(42): error: assert failed: x > 0");

    LogException(out, Here, OtherFailure(), "detail");
    EXPECT_EQ(out, "detail, other");
}

TEST(ThrowFailure, AssertionsThrowInvalidArgumentAndRuntimeConditionsRuntimeError)
{
    try
    {
        ThrowAssertionFailure(Here, "size must be even", "size % 2 == 0");
        FAIL() << "nothing thrown";
    }
    catch (const std::invalid_argument& failure)
    {
        EXPECT_STREQ(failure.what(), "size must be even");
    }
    try
    {
        ZOVAZAZ_ASSERT(1 + 1 == 3);
        FAIL() << "nothing thrown";
    }
    catch (const std::invalid_argument& failure)
    {
        EXPECT_STREQ(failure.what(), "1 + 1 == 3");
    }
    EXPECT_THROW(ThrowAssertionFailure(Here, nullptr, nullptr), std::invalid_argument);

    try
    {
        ThrowRuntimeConditionFailure(Here, "no encoder", "encoder != nullptr");
        FAIL() << "nothing thrown";
    }
    catch (const std::logic_error&)
    {
        FAIL() << "a runtime condition is not a precondition";
    }
    catch (const std::runtime_error& failure)
    {
        EXPECT_STREQ(failure.what(), "no encoder");
    }
}

TEST(DebuggerOutput, StaysSilentWithoutADebugger)
{
    if (IsDebuggerAttached())
    {
        GTEST_SKIP() << "running under a debugger";
    }
    testing::internal::CaptureStderr();
    WriteDebuggerOutput("should not appear");
    EXPECT_THROW(ThrowAssertionFailure(Here, nullptr, "x"), std::invalid_argument);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(DebugBreakIfAttachedDeathTest, DoesNotStopAProcessWithoutADebugger)
{
    // SIGTRAP without a tracer would end the process.
    EXPECT_EXIT(
        {
            DebugBreakIfAttached();
            std::exit(7);
        },
        testing::ExitedWithCode(7), "");
}
