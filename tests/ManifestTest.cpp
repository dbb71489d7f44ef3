// What a process gets from each shipped program's application manifest, as a process running under
// it (testing/ManifestProbe.cpp, built with that manifest) reports it.
//
// Wine 8 reports per-monitor awareness (not version 2, which it does not offer) for every process,
// whatever its manifest says or without one, so there only the common controls tell a manifest
// apart; on Windows 10 the awareness comes from the manifest alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/TestSupport.h"

namespace {

struct ProbeReport {
  bool read = false;
  int awareness = -1;
  int version2 = -1;
  int knowsVersion2 = -1;
  int cueBanner = -1;
};

ProbeReport RunProbe(const std::string& probe) {
  const testsupport::RunResult run = testsupport::RunProgram("\"" + testsupport::BuiltProgram(probe) + "\"");
  ProbeReport report;
  report.read = !run.timedOut && run.exitCode == 0 &&
                std::sscanf(run.output.c_str(), "awareness=%d v2=%d knowsV2=%d cueBanner=%d", &report.awareness,
                            &report.version2, &report.knowsVersion2, &report.cueBanner) == 4;
  return report;
}

// Per monitor; version 2 where the system has it, version 1 where it does not (the manifest lists
// both). Systems before Windows 10 have no call to ask.
void ExpectPerMonitorAware(const ProbeReport& report) {
  if (report.awareness == -1) return;
  EXPECT_EQ(report.awareness, 2);
  EXPECT_EQ(report.version2, report.knowsVersion2);
}

}  // namespace

TEST(Manifest, TheLauncherIsAwareOfEachMonitorsScaleWithoutCommonControls6) {
  const ProbeReport report = RunProbe("ManifestProbeLauncher.exe");
  ASSERT_TRUE(report.read);
  ExpectPerMonitorAware(report);
  EXPECT_EQ(report.cueBanner, 0) << "the launcher has no use for common controls 6";
}

TEST(Manifest, CunfigureIsAwareOfEachMonitorsScaleWithCommonControls6) {
  const ProbeReport report = RunProbe("ManifestProbeCunfigure.exe");
  ASSERT_TRUE(report.read);
  ExpectPerMonitorAware(report);
  EXPECT_EQ(report.cueBanner, 1) << "no common controls 6: no visual styles";
}
