#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <vector>

using Clock = std::chrono::steady_clock;

inline double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// One fault case of the private cupsd in `folder`; `renames` gives the times at which print
// files were renamed into place so far.
int faultCase(const QString& name, const QString& folder, const QString& small,
              const QString& large, const std::function<std::vector<Clock::time_point>()>& renames);

// The monitor's destruction while cupsd is stopped (SIGSTOP) in the middle of a request.
int shutdownWithHungCupsd(const QString& folder);
