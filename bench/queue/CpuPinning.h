#pragma once

#include <vector>

// CPUs this process may run on, in ascending order (empty if unknown).
std::vector<int> allowedCpus();

// Keeps the calling thread on `cpu`; false if the system refused.
bool pinCurrentThread(int cpu);

// A short pause for a thread that spins on memory another CPU writes.
void cpuRelax();
