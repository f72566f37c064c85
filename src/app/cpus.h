// SPDX-License-Identifier: MIT
// A container's CPU quota: the CPUs a Linux cgroup lets this process keep
// busy. Elsewhere its files are not there, and there is no quota.
#ifndef TRACKMETER_APP_CPUS_H_
#define TRACKMETER_APP_CPUS_H_

#include <string>

namespace trackmeter {

// The CPUs a quota of quota microseconds per period allows, rounded up; 0
// for no quota (a negative quota, as cgroup v1 writes "no limit").
unsigned CpusOfQuota(long long quota, long long period);

// The CPUs the text of a cgroup v2 cpu.max file allows ("150000 100000" is
// 2, "max 100000" and anything unreadable are 0: no quota).
unsigned CpusOfCpuMax(const std::string& text);

// The tightest quota of this process's cgroups and the cgroups above them,
// v2 (cpu.max) or v1 (cpu.cfs_quota_us), as self_cgroup lists them and the
// cgroup file systems below root hold them; 0 for none.
unsigned CgroupCpuQuota(const std::string& self_cgroup = "/proc/self/cgroup",
                        const std::string& root = "/sys/fs/cgroup");

}  // namespace trackmeter

#endif  // TRACKMETER_APP_CPUS_H_
