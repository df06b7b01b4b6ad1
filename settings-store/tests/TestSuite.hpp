#pragma once
// A fresh settings suite per test, in a temporary configuration folder.

#include <gtest/gtest.h>

#include <memory>

#include "platform/defaults/UserDefaults.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace Defaults::testing_support {

class SuiteTest : public ::testing::Test {
 protected:
  platform::TemporaryConfigHome home;
  std::shared_ptr<platform::UserDefaults> suite = platform::UserDefaults::suite("test");
};

}  // namespace Defaults::testing_support
