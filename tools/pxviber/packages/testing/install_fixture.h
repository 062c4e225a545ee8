// The fixture of the package tests: a scratch device nested a few folders
// deep in a scratch folder, so that a path that escapes the root by a few
// levels lands where the fixture's snapshots see it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tools/pxviber/packages/testing/deb_builder.h"

namespace pxviber::packages::testing {

class InstallFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the package of `recipe` beside the device and answers its path.
  std::filesystem::path deb(const PackageSpec& recipe, const std::string& file = "p.deb");
  // What installing throws (after "<package>.deb: "), or "installed N".
  std::string install(const PackageSpec& recipe);
  // What removing throws (after "<root>: "), or "removed N".
  std::string remove(const std::string& name);

  // Every path of the device, with checksums (scratch_device.h).
  std::string device() const;
  // Every path of the scratch folder outside the device (packages left out).
  std::string outside() const;
  // A device file's bytes, "MISSING" when there is none.
  std::string read(const std::string& path) const;
  // The device paths that the package database lists for `name`, a line each.
  std::string listOf(const std::string& name) const;
  // The packages that the database has as installed, in order, a line each.
  std::string installed() const;

  std::filesystem::path tmp_, root_;
};

}  // namespace pxviber::packages::testing
