#pragma once
// A fresh settings suite per test, in a temporary configuration folder.

#include <gtest/gtest.h>

#include <memory>

#include "platform/TemporaryDirectory.hpp"
#include "platform/UserDefaults.hpp"

namespace Defaults::testing_support {

class SuiteTest : public ::testing::Test {
 protected:
  platform::TemporaryConfigHome home;
  std::shared_ptr<platform::UserDefaults> suite = platform::UserDefaults::suite("test");
};

}  // namespace Defaults::testing_support
