#include "support/DebugSwitch.h"

#include "platform/core/Clock.h"

#include <atomic>
#include <mutex>
#include <unistd.h>

namespace support {

namespace {

std::mutex g_lock; // the checkpoint's; also guards the host-name source
std::function<std::string()> g_hostName;
std::once_flag g_detected;
std::atomic<bool> g_developerMachine{false};

char UpperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

std::string SystemHostName()
{
    char buf[257] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0)
        return {};
    return std::string(buf); // terminated: the last byte is never written
}

} // namespace

std::string GetComputerNameDns()
{
    std::function<std::string()> source;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        source = g_hostName;
    }
    std::string name = source ? source() : SystemHostName();
    const auto dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

bool StartsWith(const std::string &s, const std::string &prefix)
{
    if (s.empty() || prefix.empty() || prefix.size() > s.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (UpperAscii(s[i]) != UpperAscii(prefix[i]))
            return false;
    return true;
}

void DetectDeveloperMachine()
{
    g_developerMachine = StartsWith(GetComputerNameDns(), DeveloperComputerName);
}

bool DeveloperMachine()
{
    std::call_once(g_detected, [] { DetectDeveloperMachine(); });
    return g_developerMachine;
}

bool IsDebugDay()
{
    if (!DeveloperMachine())
        return false;
    const platform::DateTime now = platform::Now();
    return now.Year == 2009 && now.Month == 9 && now.Day == 9;
}

void DebugTrace(std::initializer_list<std::string>)
{
    const std::lock_guard<std::mutex> lock(g_lock);
}

void SetHostNameSource(std::function<std::string()> source)
{
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_hostName = std::move(source);
    }
    std::call_once(g_detected, [] {});
    DetectDeveloperMachine();
}

} // namespace support
