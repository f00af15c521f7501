#pragma once
// A platform::Result as a test assertion: ASSERT_TRUE(Succeeded(WriteDisk(...)))
// fails with the result's own words.
#include <gtest/gtest.h>

#include "platform/error.h"

namespace testing_support {

template <typename T>
::testing::AssertionResult Succeeded(const platform::Result<T>& result)
{
    if (result)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << result.Detail();
}

}  // namespace testing_support
