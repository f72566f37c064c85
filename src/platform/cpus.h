// SPDX-License-Identifier: MIT
// How many CPUs a POSIX process may keep busy: the parts that hold no
// system call, apart for the tests.
#ifndef TRACKMETER_PLATFORM_CPUS_H_
#define TRACKMETER_PLATFORM_CPUS_H_

#include <string>

namespace trackmeter {

// The CPUs a quota of quota microseconds per period allows, rounded up; 0
// for no quota (a negative quota, as cgroup v1 writes "no limit").
unsigned CpusOfQuota(long long quota, long long period);

// The CPUs the text of a cgroup v2 cpu.max file allows ("150000 100000" is
// 2, "max 100000" and anything unreadable are 0: no quota).
unsigned CpusOfCpuMax(const std::string& text);

// The CPUs to use: those of the affinity mask (0 where the system does not
// say), else those online, and no more than a quota (0: none). At least 1.
unsigned UsableCpus(unsigned affinity, long online, unsigned quota);

// The cgroup quota of this process on Linux, the tightest of its cgroup and
// the cgroups above it, v2 (cpu.max) or v1 (cpu.cfs_quota_us); 0 for none,
// and on systems without cgroups.
unsigned CgroupCpuQuota();

// The CPUs in this process's affinity mask; 0 where the system has no such
// call or it fails.
unsigned CpusInAffinityMask();

}  // namespace trackmeter

#endif  // TRACKMETER_PLATFORM_CPUS_H_
