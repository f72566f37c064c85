// SPDX-License-Identifier: MIT
#include "app/cpus.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace trackmeter {

namespace {

// The first line of path, or "" if it cannot be read.
std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// The tightest quota of the cgroup at path and those above it, below root.
unsigned TightestQuota(const std::string& root, std::string path, bool v2) {
  unsigned tightest = 0;
  for (;;) {
    const std::string dir = root + path;
    unsigned cpus;
    if (v2) {
      cpus = CpusOfCpuMax(FirstLine(dir + "/cpu.max"));
    } else {
      const std::string quota = FirstLine(dir + "/cpu.cfs_quota_us");
      const std::string period = FirstLine(dir + "/cpu.cfs_period_us");
      cpus = quota.empty() || period.empty()
                 ? 0
                 : CpusOfQuota(std::atoll(quota.c_str()), std::atoll(period.c_str()));
    }
    if (cpus > 0 && (tightest == 0 || cpus < tightest)) tightest = cpus;
    const std::size_t slash = path.find_last_of('/');
    if (path.empty() || slash == std::string::npos) break;
    path.erase(slash);
  }
  return tightest;
}

}  // namespace

unsigned CpusOfQuota(long long quota, long long period) {
  if (quota <= 0 || period <= 0) return 0;
  const long long cpus = (quota + period - 1) / period;
  return static_cast<unsigned>(std::min<long long>(cpus, 1 << 20));
}

unsigned CpusOfCpuMax(const std::string& text) {
  std::istringstream in(text);
  std::string quota;
  long long period = 0;
  if (!(in >> quota >> period) || quota == "max") return 0;
  char* end = nullptr;
  const long long q = std::strtoll(quota.c_str(), &end, 10);
  return *end == '\0' ? CpusOfQuota(q, period) : 0;
}

unsigned CgroupCpuQuota(const std::string& self_cgroup, const std::string& root) {
  std::ifstream in(self_cgroup);
  unsigned tightest = 0;
  auto take = [&](unsigned cpus) {
    if (cpus > 0 && (tightest == 0 || cpus < tightest)) tightest = cpus;
  };
  // Lines are "ID:CONTROLLERS:PATH"; cgroup v2's is "0::PATH".
  for (std::string line; std::getline(in, line);) {
    const std::size_t a = line.find(':');
    const std::size_t b = a == std::string::npos ? a : line.find(':', a + 1);
    if (b == std::string::npos) continue;
    const std::string controllers = line.substr(a + 1, b - a - 1);
    std::string path = line.substr(b + 1);
    if (path == "/") path.clear();
    if (controllers.empty()) {
      for (const char* mount : {"", "/unified"}) take(TightestQuota(root + mount, path, true));
    } else if (("," + controllers + ",").find(",cpu,") != std::string::npos) {
      for (const char* mount : {"/cpu", "/cpu,cpuacct"}) take(TightestQuota(root + mount, path, false));
    }
  }
  return tightest;
}

}  // namespace trackmeter
