#pragma once
// A settings file of the test's own in a temporary folder.

#include <gtest/gtest.h>

#include <string>

#include "settings/Settings.h"
#include "support/TempDir.h"

namespace quorvel::testing {

class SettingsTest : public ::testing::Test {
 protected:
  // Writes the settings file with content and makes it settings_.
  std::string useSettings(std::string_view content, std::string_view name = "settings.ini") {
    std::string path = dir_.write(name, content);
    settings_ = SettingsFileAt(path);
    return path;
  }

  TempDir dir_;
  SettingsFile settings_;
};

}  // namespace quorvel::testing
