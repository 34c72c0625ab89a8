#pragma once
// A settings file of the test's own in a temporary folder, made the one in use for the
// test, with the process-wide settings state put back afterwards.

#include <gtest/gtest.h>

#include <string>

#include "settings/Settings.h"
#include "support/TempDir.h"

namespace quorvel::testing {

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() : savedPath_(SettingsPath()), savedNoIni_(NoIniMode()) {}
  ~SettingsTest() override {
    SetSettingsPath(savedPath_);
    SetNoIniMode(savedNoIni_);
  }

  // Writes the settings file with content and makes it the one in use.
  std::string useSettings(std::string_view content, std::string_view name = "settings.ini") {
    std::string path = dir_.write(name, content);
    SetSettingsPath(path);
    SetNoIniMode(false);
    return path;
  }

  TempDir dir_;

 private:
  std::string savedPath_;
  bool savedNoIni_;
};

}  // namespace quorvel::testing
