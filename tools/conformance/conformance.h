// The platform conformance program: one set of sequences over the platform
// interface, printed one result a line, so that the emulated machine and a
// real (or Wine) Windows can be compared line by line.
#pragma once

#include <optional>
#include <string>

#include "core/platform/platform.h"

namespace mdm::conformance {

// What the platform interface cannot do: lay down the fixture tree and read
// file bytes back. Paths are full Windows paths.
class FixtureAccess {
 public:
  virtual ~FixtureAccess() = default;
  virtual void MakeDirectory(const std::string& path) = 0;
  virtual void WriteFile(const std::string& path, const std::string& bytes) = 0;
  virtual void SetReadOnly(const std::string& path) = 0;
  virtual std::optional<std::string> ReadFile(const std::string& path) = 0;
};

// The fixture tree below `root` (see fixture.cpp).
void LayDownFixture(FixtureAccess& fixture, const std::string& root);

// Runs every sequence against `platform`, with `root` (a Windows path without
// trailing backslash, also the working directory) holding the fixture tree.
// Writes the lines to stdout; returns 0.
int RunConformance(Platform& platform, FixtureAccess& fixture, const std::string& root);

}  // namespace mdm::conformance
